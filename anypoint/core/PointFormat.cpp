#include "PointFormat.h"

#include <bit>
#include <cmath>
#include <limits>

namespace anypoint {

namespace {

bool lowWordFirst(Format format) {
    return format >= Format::Unsigned32LowFirst;
}

std::uint32_t joined(Format format, std::uint16_t first, std::uint16_t second) {
    return lowWordFirst(format) ? std::uint32_t{second} << 16 | first
                                : std::uint32_t{first} << 16 | second;
}

std::vector<std::uint16_t> split(Format format, std::uint32_t value) {
    const auto high = static_cast<std::uint16_t>(value >> 16);
    const auto low = static_cast<std::uint16_t>(value & 0xFFFF);
    return lowWordFirst(format) ? std::vector<std::uint16_t>{low, high}
                                : std::vector<std::uint16_t>{high, low};
}

QString oneRegister(Format format, std::uint16_t value) {
    switch (format) {
        case Format::Signed:
            return QString::number(static_cast<std::int16_t>(value));
        case Format::Hex:
            return QStringLiteral("0x") +
                   QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
        case Format::Binary:
            return QStringLiteral("%1").arg(value, 16, 2, QLatin1Char('0'));
        default:
            return QString::number(value);
    }
}

QString twoRegisters(Format format, std::uint32_t value) {
    switch (format) {
        case Format::Signed32:
        case Format::Signed32LowFirst:
            return QString::number(static_cast<std::int32_t>(value));
        case Format::Float32:
        case Format::Float32LowFirst:
            return QString::number(static_cast<double>(std::bit_cast<float>(value)), 'g', 7);
        default:
            return QString::number(value);
    }
}

// A whole number within [low, high], in `base`.
std::optional<std::int64_t> wholeNumber(const QString& text, int base, std::int64_t low,
                                        std::int64_t high) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, base);
    if (!ok || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

QString formatName(Format format) {
    switch (format) {
        case Format::Unsigned:
            return QStringLiteral("无符号");
        case Format::Signed:
            return QStringLiteral("有符号");
        case Format::Hex:
            return QStringLiteral("十六进制");
        case Format::Binary:
            return QStringLiteral("二进制");
        default:
            break;
    }
    const QString order =
        lowWordFirst(format) ? QStringLiteral("（低字在前）") : QStringLiteral("（高字在前）");
    switch (format) {
        case Format::Signed32:
        case Format::Signed32LowFirst:
            return QStringLiteral("32位有符号") + order;
        case Format::Float32:
        case Format::Float32LowFirst:
            return QStringLiteral("32位浮点") + order;
        default:
            return QStringLiteral("32位无符号") + order;
    }
}

int registersPerValue(Format format) {
    return format >= Format::Unsigned32 ? 2 : 1;
}

QStringList valueTexts(Format format, const std::vector<std::uint16_t>& registers) {
    QStringList texts;
    const std::size_t step = static_cast<std::size_t>(registersPerValue(format));
    for (std::size_t i = 0; i < registers.size(); i += step) {
        if (i + step > registers.size()) {
            texts << QStringLiteral("—");
        } else if (step == 1) {
            texts << oneRegister(format, registers[i]);
        } else {
            texts << twoRegisters(format, joined(format, registers[i], registers[i + 1]));
        }
    }
    return texts;
}

std::optional<std::vector<std::uint16_t>> registersOf(Format format, const QString& text) {
    QString t = text.trimmed();
    std::optional<std::int64_t> value;
    switch (format) {
        case Format::Unsigned:
            value = wholeNumber(t, 10, 0, 0xFFFF);
            break;
        case Format::Signed:
            value = wholeNumber(t, 10, std::numeric_limits<std::int16_t>::min(),
                                std::numeric_limits<std::int16_t>::max());
            break;
        case Format::Hex:
            if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
                t = t.mid(2);
            }
            value = wholeNumber(t, 16, 0, 0xFFFF);
            break;
        case Format::Binary:
            value = wholeNumber(t.remove(QLatin1Char(' ')), 2, 0, 0xFFFF);
            break;
        case Format::Unsigned32:
        case Format::Unsigned32LowFirst:
            value = wholeNumber(t, 10, 0, 0xFFFF'FFFF);
            break;
        case Format::Signed32:
        case Format::Signed32LowFirst:
            value = wholeNumber(t, 10, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
            break;
        case Format::Float32:
        case Format::Float32LowFirst: {
            bool ok = false;
            const float number = t.toFloat(&ok);
            if (!ok || !std::isfinite(number)) {
                return std::nullopt;
            }
            return split(format, std::bit_cast<std::uint32_t>(number));
        }
    }
    if (!value) {
        return std::nullopt;
    }
    if (registersPerValue(format) == 1) {
        return std::vector<std::uint16_t>{static_cast<std::uint16_t>(*value)};
    }
    return split(format, static_cast<std::uint32_t>(*value));
}

}  // namespace anypoint
