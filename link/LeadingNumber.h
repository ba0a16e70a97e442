#pragma once
// The rule by which the text of a combo box or text box becomes a number.
//
// Blanks, tabs and line feeds are ignored wherever they stand. Reading starts
// at the first remaining character: an optional sign, then either a decimal
// number (digits with at most one full stop and an optional exponent) or
// &H / &O followed by hexadecimal / octal digits, and it stops at the first
// character that cannot continue the number. No number gives 0.

#include <QStringView>
#include <cstdint>
#include <optional>

// The leading number in double precision; +-infinity when it is too large.
double leadingNumber(QStringView text);

// Rounded to the nearest integer, a half to the even neighbour; empty when
// the rounded value does not fit in a signed 32-bit integer.
std::optional<std::int32_t> roundToInt32(double value);

// Whether the text has a leading number at all, rather than reading as 0
// for want of one.
bool hasLeadingNumber(QStringView text);

inline std::optional<std::int32_t> leadingInt32(QStringView text) {
    return roundToInt32(leadingNumber(text));
}
