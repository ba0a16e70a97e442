// Any bytes, read as UTF-8 and as Latin-1, through the leading-number rule,
// against a second reading of the rule written here from its description:
// one filtered pass, the digits handed to strtod_l in the C locale, and the
// rounding done by hand. The two must agree on every input.

#include <locale.h>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include <QString>

#include "LeadingNumber.h"

namespace {

constexpr std::size_t kMaxInput = 200 * 1024;

locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return c;
}

bool ignored(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool decimalDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int digitIn(char16_t c, int base) {
    int v = 99;
    if (c >= u'0' && c <= u'9') {
        v = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
        v = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
        v = c - u'A' + 10;
    }
    return v < base ? v : -1;
}

struct Reference {
    double value = 0;
    // Radix numbers: the digits exactly, so the fit is decided without any
    // rounding of our own.
    bool radix = false;
};

// Octal digits regrouped as hexadecimal so strtod can round them once.
std::string octalAsHex(const std::string& octal) {
    std::string bits;
    for (char c : octal) {
        const int d = c - '0';
        bits += (d & 4) ? '1' : '0';
        bits += (d & 2) ? '1' : '0';
        bits += (d & 1) ? '1' : '0';
    }
    while (bits.size() % 4 != 0) {
        bits.insert(bits.begin(), '0');
    }
    std::string hex;
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        const int nibble = (bits[i] - '0') * 8 + (bits[i + 1] - '0') * 4 + (bits[i + 2] - '0') * 2 +
                           (bits[i + 3] - '0');
        hex += "0123456789abcdef"[nibble];
    }
    return hex;
}

Reference reference(const QString& text) {
    std::u16string s;
    for (QChar c : text) {
        if (!ignored(c.unicode())) {
            s.push_back(c.unicode());
        }
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    Reference r;
    if (i + 1 < s.size() && s[i] == u'&') {
        const char16_t kind = s[i + 1];
        int base = 0;
        if (kind == u'H' || kind == u'h') {
            base = 16;
        } else if (kind == u'O' || kind == u'o') {
            base = 8;
        } else {
            return r;
        }
        std::string digits;
        for (i += 2; i < s.size() && digitIn(s[i], base) >= 0; ++i) {
            digits += static_cast<char>(s[i]);
        }
        r.radix = true;
        const std::string hex = base == 16 ? digits : octalAsHex(digits);
        if (!hex.empty()) {
            r.value = strtod_l(("0x" + hex).c_str(), nullptr, cLocale());
        }
        r.value = negative ? -r.value : r.value;
        return r;
    }
    std::string token = negative ? "-" : "";
    bool anyDigit = false;
    for (; i < s.size() && decimalDigit(s[i]); ++i) {
        token += static_cast<char>(s[i]);
        anyDigit = true;
    }
    if (i < s.size() && s[i] == u'.') {
        token += '.';
        for (++i; i < s.size() && decimalDigit(s[i]); ++i) {
            token += static_cast<char>(s[i]);
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return r;
    }
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        std::size_t e = i + 1;
        std::string exponent = "e";
        if (e < s.size() && (s[e] == u'+' || s[e] == u'-')) {
            exponent += static_cast<char>(s[e]);
            ++e;
        }
        if (e < s.size() && decimalDigit(s[e])) {
            for (; e < s.size() && decimalDigit(s[e]); ++e) {
                exponent += static_cast<char>(s[e]);
            }
            token += exponent;
        }
    }
    r.value = strtod_l(token.c_str(), nullptr, cLocale());
    return r;
}

// Half to even, by comparing with the floor rather than trusting the FPU's mode.
std::optional<std::int32_t> referenceRound(double v) {
    if (!std::isfinite(v)) {
        return std::nullopt;
    }
    const long double f = std::floor(static_cast<long double>(v));
    const long double diff = static_cast<long double>(v) - f;
    long double rounded = f;
    if (diff > 0.5L) {
        rounded = f + 1;
    } else if (diff == 0.5L) {
        rounded = std::fmod(f, 2.0L) == 0 ? f : f + 1;
    }
    if (rounded < -2147483648.0L || rounded > 2147483647.0L) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}

[[noreturn]] void mismatch(const char* what, const QString& text, double got, double want) {
    std::fprintf(stderr, "%s: got %.17g, want %.17g for \"%s\"\n", what, got, want,
                 text.left(200).toUtf8().constData());
    std::abort();
}

bool sameNumber(double got, double want, bool radix) {
    if (got == want) {
        return true;
    }
    // Below the normal range the rule may settle for 0: nothing there can
    // reach an integer.
    if (got == 0 && std::fabs(want) < std::numeric_limits<double>::min()) {
        return true;
    }
    // Long radix numbers are built digit by digit, each step rounded, so past
    // 53 bits they may land an ulp or so off the once-rounded value; that far
    // out nothing fits 32 bits anyway.
    if (radix && std::fabs(want) > 0x1p53) {
        if (std::isinf(got) || std::isinf(want)) {
            const double finite = std::isinf(got) ? want : got;
            return std::signbit(got) == std::signbit(want) &&
                   std::fabs(finite) > std::numeric_limits<double>::max() * (1 - 0x1p-48);
        }
        return std::fabs(got - want) <= std::fabs(want) * 0x1p-48;
    }
    return false;
}

void check(const QString& text) {
    const Reference want = reference(text);
    const double got = leadingNumber(text);
    if (!sameNumber(got, want.value, want.radix)) {
        mismatch("leadingNumber", text, got, want.value);
    }
    const auto gotInt = roundToInt32(got);
    const auto wantInt = referenceRound(want.value);
    if (gotInt.has_value() != wantInt.has_value() || (gotInt && *gotInt != *wantInt)) {
        mismatch("roundToInt32", text, gotInt ? *gotInt : NAN, wantInt ? *wantInt : NAN);
    }
    const auto combined = leadingInt32(text);
    if (combined != gotInt) {
        mismatch("leadingInt32", text, combined ? *combined : NAN, gotInt ? *gotInt : NAN);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) {
        return -1;
    }
    const char* bytes = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    check(QString::fromUtf8(bytes, length));
    check(QString::fromLatin1(bytes, length));
    return 0;
}
