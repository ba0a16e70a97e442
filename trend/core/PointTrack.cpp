#include "PointTrack.h"

#include <QByteArray>
#include <charconv>
#include <cmath>

namespace trend {

QString pointName(const TrackedPoint& point) {
    return point.unit.isEmpty() ? point.title
                                : point.title + QStringLiteral(" (") + point.unit + u')';
}

namespace {

// Whole numbers this small are exact in a double and are written digit for
// digit: a 32-bit count is never rounded to a float's seven digits.
constexpr double kWholeUpTo = 9007199254740992.0;  // 2^53

template <typename Number, typename... Precision>
QByteArray fixed(Number value, Precision... precision) {
    // Room for the 309 digits of the largest double and its decimals.
    char text[640];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision...);
    if (error != std::errc()) {
        return QByteArray::number(double(value), 'g', 17);
    }
    return QByteArray(text, end - text);
}

}  // namespace

QByteArray pointText(double value, int decimals) {
    QByteArray text;
    if (decimals >= 0) {
        text = fixed(value, qMin(decimals, 300));
    } else if (std::trunc(value) == value && std::fabs(value) < kWholeUpTo) {
        text = fixed(value, 0);
    } else if (double(float(value)) == value) {
        // Read from a single-precision register: 0.1f is "0.1", not the
        // seventeen digits of the double it widens to.
        text = fixed(float(value));
    } else {
        text = fixed(value);
    }
    // A small negative value rounded to nothing is nothing, not "-0.00".
    if (text.startsWith('-') && text.count('0') + text.count('.') == text.size() - 1) {
        text.remove(0, 1);
    }
    return text;
}

}  // namespace trend
