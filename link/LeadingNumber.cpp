#include "LeadingNumber.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isIgnored(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

// The text without its ignored characters, cut at the first non-ASCII
// character: nothing beyond it can belong to a number.
std::string significantAscii(QStringView text) {
    std::string out;
    for (QChar c : text) {
        if (isIgnored(c)) {
            continue;
        }
        if (c.unicode() > 0x7f) {
            break;
        }
        out.push_back(static_cast<char>(c.unicode()));
    }
    return out;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int digitValue(char c, int base) {
    int v = -1;
    if (isDigit(c)) {
        v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10;
    }
    return v < base ? v : -1;
}

double radixMagnitude(const std::string& s, std::size_t pos, int base) {
    double value = 0;
    for (; pos < s.size(); ++pos) {
        const int d = digitValue(s[pos], base);
        if (d < 0) {
            break;
        }
        value = value * base + d;
    }
    return value;
}

// Reads a decimal number at pos; 0 when there is none.
double decimalMagnitude(const std::string& s, std::size_t pos) {
    const std::size_t start = pos;
    long long intDigits = 0;
    bool sawDigit = false;
    bool leadingZeros = true;
    for (; pos < s.size() && isDigit(s[pos]); ++pos) {
        sawDigit = true;
        if (s[pos] != '0') {
            leadingZeros = false;
        }
        if (!leadingZeros) {
            ++intDigits;
        }
    }
    // Zeros between the point and the first significant digit count against
    // the exponent in the magnitude estimate below.
    long long fractionZeros = 0;
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        for (; pos < s.size() && isDigit(s[pos]); ++pos) {
            sawDigit = true;
            if (leadingZeros && s[pos] == '0') {
                ++fractionZeros;
            } else {
                leadingZeros = false;
            }
        }
    }
    if (!sawDigit) {
        return 0;
    }
    std::size_t end = pos;
    long long exponent = 0;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        std::size_t e = pos + 1;
        bool negative = false;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) {
            negative = s[e] == '-';
            ++e;
        }
        if (e < s.size() && isDigit(s[e])) {
            for (; e < s.size() && isDigit(s[e]); ++e) {
                exponent = std::min(exponent * 10 + (s[e] - '0'), 1'000'000'000LL);
            }
            if (negative) {
                exponent = -exponent;
            }
            end = e;
        }
    }
    double value = 0;
    const auto [ptr, ec] =
        std::from_chars(s.data() + start, s.data() + end, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Out of range either way; the rough decimal magnitude tells which way.
        return intDigits - fractionZeros + exponent > 0 ? std::numeric_limits<double>::infinity()
                                                        : 0.0;
    }
    (void)ptr;
    return value;
}

}  // namespace

double leadingNumber(QStringView text) {
    const std::string s = significantAscii(text);
    std::size_t pos = 0;
    double sign = 1;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        sign = s[pos] == '-' ? -1 : 1;
        ++pos;
    }
    if (pos + 1 < s.size() && s[pos] == '&') {
        const char radix = s[pos + 1];
        if (radix == 'H' || radix == 'h') {
            return sign * radixMagnitude(s, pos + 2, 16);
        }
        if (radix == 'O' || radix == 'o') {
            return sign * radixMagnitude(s, pos + 2, 8);
        }
        return 0;
    }
    return sign * decimalMagnitude(s, pos);
}

bool hasLeadingNumber(QStringView text) {
    const std::string s = significantAscii(text);
    std::size_t pos = !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0;
    if (pos < s.size() && s[pos] == '&') {
        const char radix = pos + 1 < s.size() ? s[pos + 1] : '\0';
        const int base = radix == 'H' || radix == 'h' ? 16 : radix == 'O' || radix == 'o' ? 8 : 0;
        return base != 0 && pos + 2 < s.size() && digitValue(s[pos + 2], base) >= 0;
    }
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
    }
    return pos < s.size() && isDigit(s[pos]);
}

std::optional<std::int32_t> roundToInt32(double value) {
    // nearbyint rounds in the default mode, to nearest with ties to even.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}
