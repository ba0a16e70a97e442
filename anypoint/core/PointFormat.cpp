#include "PointFormat.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

namespace anypoint {

namespace {

enum class Kind { Unsigned16, Signed16, Hex, Binary, Unsigned, Signed, Float, Text };

// How the bytes of a wide value lie in its registers, by the order its
// bytes are named in (A the most significant).
enum class Order { ABCD, CDAB, BADC, DCBA };

struct Shape {
    Kind kind;
    int registers;  // 0: the whole row
    Order order = Order::ABCD;
};

constexpr Kind kWideKinds[] = {Kind::Unsigned, Kind::Signed, Kind::Float};

Shape shapeOf(Format format) {
    const int code = static_cast<int>(format);
    const int u = static_cast<int>(Format::Unsigned32);
    const int u32badc = static_cast<int>(Format::Unsigned32BADC);
    const int u64 = static_cast<int>(Format::Unsigned64);
    if (code < u) {
        return {static_cast<Kind>(code), 1};
    }
    if (code < u32badc) {  // the two orders files had before the others
        return {kWideKinds[(code - u) % 3], 2, code - u < 3 ? Order::ABCD : Order::CDAB};
    }
    if (code < u64) {
        return {kWideKinds[(code - u32badc) % 3], 2,
                code - u32badc < 3 ? Order::BADC : Order::DCBA};
    }
    if (format == Format::Text || format == Format::TextSwapped) {
        return {Kind::Text, 0, format == Format::Text ? Order::ABCD : Order::BADC};
    }
    return {kWideKinds[(code - u64) % 3], 4, static_cast<Order>((code - u64) / 3)};
}

bool wordsReversed(Order order) {
    return order == Order::CDAB || order == Order::DCBA;
}

bool bytesSwapped(Order order) {
    return order == Order::BADC || order == Order::DCBA;
}

std::uint16_t swapBytes(std::uint16_t word) {
    return static_cast<std::uint16_t>(word << 8 | word >> 8);
}

// The value's bits, its most significant word first, from its registers.
std::uint64_t joined(const Shape& shape, const std::uint16_t* registers) {
    std::uint64_t bits = 0;
    const int n = shape.registers;
    for (int i = 0; i < n; ++i) {
        std::uint16_t word = registers[wordsReversed(shape.order) ? n - 1 - i : i];
        bits = bits << 16 | (bytesSwapped(shape.order) ? swapBytes(word) : word);
    }
    return bits;
}

std::vector<std::uint16_t> split(const Shape& shape, std::uint64_t bits) {
    const int n = shape.registers;
    std::vector<std::uint16_t> registers(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto word = static_cast<std::uint16_t>(bits >> (16 * (n - 1 - i)));
        registers[static_cast<std::size_t>(wordsReversed(shape.order) ? n - 1 - i : i)] =
            bytesSwapped(shape.order) ? swapBytes(word) : word;
    }
    return registers;
}

std::int64_t signExtended(std::uint64_t bits, int registers) {
    const int unused = 64 - 16 * registers;
    return static_cast<std::int64_t>(bits << unused) >> unused;
}

// The shortest text that reads back as the same number.
template <typename Number>
QString shortest(Number number) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, number).ptr;
    return QString::fromLatin1(text, static_cast<int>(end - text));
}

double floatOf(std::uint64_t bits, int registers) {
    return registers == 2
               ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)))
               : std::bit_cast<double>(bits);
}

QString numberText(const Shape& shape, std::uint64_t bits) {
    switch (shape.kind) {
        case Kind::Signed16:
        case Kind::Signed:
            return QString::number(signExtended(bits, shape.registers));
        case Kind::Hex:
            return QStringLiteral("0x") +
                   QStringLiteral("%1").arg(bits, 4, 16, QLatin1Char('0')).toUpper();
        case Kind::Binary:
            return QStringLiteral("%1").arg(bits, 16, 2, QLatin1Char('0'));
        case Kind::Float:
            return shape.registers == 2
                       ? shortest(std::bit_cast<float>(static_cast<std::uint32_t>(bits)))
                       : shortest(std::bit_cast<double>(bits));
        default:
            return QString::number(bits);
    }
}

std::vector<std::uint8_t> textBytes(const Shape& shape, const std::vector<std::uint16_t>& regs) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t r : regs) {
        const std::uint16_t word = bytesSwapped(shape.order) ? swapBytes(r) : r;
        bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    while (!bytes.empty() && bytes.back() == 0) {
        bytes.pop_back();
    }
    return bytes;
}

QString shownText(const std::vector<std::uint8_t>& bytes) {
    QString text;
    for (std::uint8_t b : bytes) {
        if (b == '\\') {
            text += QStringLiteral("\\\\");
        } else if (b >= 0x20 && b < 0x7F) {
            text += QLatin1Char(static_cast<char>(b));
        } else {
            text += QStringLiteral("\\x") +
                    QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        }
    }
    return text;
}

// The bytes `text` stands for, \xNN and \\ read as one byte each, or
// nothing when it holds what is not ASCII or a broken escape.
std::optional<std::vector<std::uint8_t>> typedBytes(const QString& text) {
    std::vector<std::uint8_t> bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\\' && text.mid(i + 1, 1) == QLatin1String("\\")) {
            bytes.push_back('\\');
            ++i;
        } else if (c == u'\\') {
            bool ok = false;
            const int value = text.mid(i + 2, 2).toInt(&ok, 16);
            if (text.mid(i + 1, 1) != QLatin1String("x") || text.mid(i + 2, 2).size() != 2 || !ok) {
                return std::nullopt;
            }
            bytes.push_back(static_cast<std::uint8_t>(value));
            i += 3;
        } else if (c < 0x80) {
            bytes.push_back(static_cast<std::uint8_t>(c));
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<std::vector<std::uint16_t>> textRegistersOf(const Shape& shape, const QString& text,
                                                          int registers) {
    const auto bytes = typedBytes(text);
    if (!bytes || bytes->size() > 2 * static_cast<std::size_t>(registers)) {
        return std::nullopt;
    }
    std::vector<std::uint16_t> out(static_cast<std::size_t>(registers));
    for (std::size_t i = 0; i < bytes->size(); ++i) {
        out[i / 2] |= static_cast<std::uint16_t>((*bytes)[i] << (i % 2 == 0 ? 8 : 0));
    }
    for (std::uint16_t& r : out) {
        r = bytesSwapped(shape.order) ? swapBytes(r) : r;
    }
    return out;
}

// The bits of a whole number typed in `base` that fits `registers`
// registers, signed or not.
std::optional<std::uint64_t> wholeBits(const QString& t, int base, bool isSigned, int registers) {
    bool ok = false;
    if (isSigned) {
        const qlonglong value = t.toLongLong(&ok, base);
        const std::int64_t limit = registers == 4 ? std::numeric_limits<std::int64_t>::max()
                                                  : (std::int64_t{1} << (16 * registers - 1)) - 1;
        if (!ok || value > limit || value < -limit - 1) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(value) &
               (registers == 4 ? ~std::uint64_t{0} : (std::uint64_t{1} << 16 * registers) - 1);
    }
    const qulonglong value = t.toULongLong(&ok, base);
    if (!ok || t.startsWith(QLatin1Char('-')) ||
        (registers < 4 && value >> (16 * registers) != 0)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> floatBits(const QString& t, int registers) {
    bool ok = false;
    if (registers == 2) {
        const float number = t.toFloat(&ok);
        return ok && std::isfinite(number)
                   ? std::optional<std::uint64_t>(std::bit_cast<std::uint32_t>(number))
                   : std::nullopt;
    }
    const double number = t.toDouble(&ok);
    return ok && std::isfinite(number)
               ? std::optional<std::uint64_t>(std::bit_cast<std::uint64_t>(number))
               : std::nullopt;
}

}  // namespace

std::vector<Format> allFormats() {
    std::vector<Format> formats;
    for (int code = 0; code < kFormatCount; ++code) {
        formats.push_back(static_cast<Format>(code));
    }
    return formats;
}

QString formatName(Format format) {
    const Shape shape = shapeOf(format);
    switch (shape.kind) {
        case Kind::Unsigned16:
            return QStringLiteral("无符号");
        case Kind::Signed16:
            return QStringLiteral("有符号");
        case Kind::Hex:
            return QStringLiteral("十六进制");
        case Kind::Binary:
            return QStringLiteral("二进制");
        case Kind::Text:
            return shape.order == Order::ABCD ? QStringLiteral("ASCII 字符串（高字节在前）")
                                              : QStringLiteral("ASCII 字符串（低字节在前）");
        default:
            break;
    }
    static const char* const kOrders32[] = {"ABCD", "CDAB", "BADC", "DCBA"};
    static const char* const kOrders64[] = {"ABCDEFGH", "GHEFCDAB", "BADCFEHG", "HGFEDCBA"};
    const auto order = static_cast<int>(shape.order);
    const QString kind = shape.kind == Kind::Unsigned ? QStringLiteral("无符号")
                         : shape.kind == Kind::Signed ? QStringLiteral("有符号")
                                                      : QStringLiteral("浮点");
    QString name =
        QStringLiteral("%1位%2 %3")
            .arg(16 * shape.registers)
            .arg(kind, QLatin1String(shape.registers == 2 ? kOrders32[order] : kOrders64[order]));
    // The names the two orders had before the others were offered.
    if (shape.registers == 2 && shape.order == Order::ABCD) {
        name += QStringLiteral("（高字在前）");
    } else if (shape.registers == 2 && shape.order == Order::CDAB) {
        name += QStringLiteral("（低字在前）");
    }
    return name;
}

int registersPerValue(Format format) {
    return shapeOf(format).registers;
}

bool isText(Format format) {
    return shapeOf(format).kind == Kind::Text;
}

QStringList valueTexts(Format format, const std::vector<std::uint16_t>& registers) {
    const Shape shape = shapeOf(format);
    if (shape.kind == Kind::Text) {
        return {shownText(textBytes(shape, registers))};
    }
    QStringList texts;
    const auto step = static_cast<std::size_t>(shape.registers);
    for (std::size_t i = 0; i < registers.size(); i += step) {
        texts << (i + step > registers.size() ? QStringLiteral("—")
                                              : numberText(shape, joined(shape, &registers[i])));
    }
    return texts;
}

std::vector<std::optional<double>> valueNumbers(Format format,
                                                const std::vector<std::uint16_t>& registers) {
    const Shape shape = shapeOf(format);
    if (shape.kind == Kind::Text) {
        return {std::nullopt};
    }
    std::vector<std::optional<double>> numbers;
    const auto step = static_cast<std::size_t>(shape.registers);
    for (std::size_t i = 0; i < registers.size(); i += step) {
        if (i + step > registers.size()) {
            numbers.emplace_back();
            continue;
        }
        const std::uint64_t bits = joined(shape, &registers[i]);
        const bool isSigned = shape.kind == Kind::Signed || shape.kind == Kind::Signed16;
        const double number = shape.kind == Kind::Float ? floatOf(bits, shape.registers)
                              : isSigned ? static_cast<double>(signExtended(bits, shape.registers))
                                         : static_cast<double>(bits);
        numbers.push_back(std::isfinite(number) ? std::optional<double>(number) : std::nullopt);
    }
    return numbers;
}

std::optional<std::vector<std::uint16_t>> registersOf(Format format, const QString& text,
                                                      int textRegisters) {
    const Shape shape = shapeOf(format);
    if (shape.kind == Kind::Text) {
        return textRegistersOf(shape, text, textRegisters);
    }
    QString t = text.trimmed();
    std::optional<std::uint64_t> bits;
    switch (shape.kind) {
        case Kind::Hex:
            if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
                t = t.mid(2);
            }
            bits = wholeBits(t, 16, false, 1);
            break;
        case Kind::Binary:
            bits = wholeBits(t.remove(QLatin1Char(' ')), 2, false, 1);
            break;
        case Kind::Float:
            bits = floatBits(t, shape.registers);
            break;
        default:
            bits = wholeBits(t, 10, shape.kind == Kind::Signed || shape.kind == Kind::Signed16,
                             shape.registers);
            break;
    }
    if (!bits) {
        return std::nullopt;
    }
    return split(shape, *bits);
}

}  // namespace anypoint
