#include "Scaling.h"

#include <cmath>

namespace anypoint {

namespace {

bool isFloat(Format format) {
    // Floats read back as a fraction; every other number format is whole.
    return formatName(format).contains(QStringLiteral("浮点"));
}

}  // namespace

bool isScaled(const PointLabel& label) {
    return label.scale != 1 || label.offset != 0 || label.decimals >= 0 || !label.unit.isEmpty();
}

bool isSoundScaling(const PointLabel& label) {
    return std::isfinite(label.scale) && label.scale != 0 && std::isfinite(label.offset) &&
           label.decimals >= -1 && label.decimals <= 9;
}

double scaled(const PointLabel& label, double raw) {
    return raw * label.scale + label.offset;
}

QString scaledText(const PointLabel& label, double raw) {
    const double value = scaled(label, raw);
    QString text = label.decimals >= 0 ? QString::number(value, 'f', label.decimals)
                                       : QString::number(value, 'g', 10);
    return label.unit.isEmpty() ? text : text + QLatin1Char(' ') + label.unit;
}

std::optional<QString> rawTextOf(const PointLabel& label, Format format, const QString& typed) {
    QString t = typed.trimmed();
    if (!label.unit.isEmpty() && t.endsWith(label.unit)) {
        t.chop(label.unit.size());
    }
    bool ok = false;
    const double value = t.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || !isSoundScaling(label)) {
        return std::nullopt;
    }
    const double raw = (value - label.offset) / label.scale;
    if (isFloat(format)) {
        return QString::number(raw, 'g', 17);
    }
    const double whole = std::round(raw);
    // The division may miss a whole raw value by its rounding, no more; past
    // 2^53 a double no longer holds every whole number.
    if (std::abs(raw - whole) > 1e-9 + std::abs(raw) * 1e-14 || std::abs(whole) > 0x1p53) {
        return std::nullopt;
    }
    const auto number = static_cast<long long>(whole);
    switch (format) {
        case Format::Hex:
            return number < 0 ? std::nullopt : std::optional<QString>(QString::number(number, 16));
        case Format::Binary:
            return number < 0 ? std::nullopt : std::optional<QString>(QString::number(number, 2));
        default:
            return QString::number(number);
    }
}

}  // namespace anypoint
