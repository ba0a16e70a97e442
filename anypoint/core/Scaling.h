#pragma once
// A point's raw value in the units of what it measures, and back: what a
// technician reads and types beside the raw value.

#include <QString>
#include <optional>

#include "PointRow.h"

namespace anypoint {

// Whether the label changes how the value reads.
bool isScaled(const PointLabel& label);
// A scale that leaves the raw value recoverable: finite and not zero; a
// finite offset; decimals -1..9.
bool isSoundScaling(const PointLabel& label);

double scaled(const PointLabel& label, double raw);
// "23.5 °C": the scaled value with its decimals and unit.
QString scaledText(const PointLabel& label, double raw);

// The raw value, as `format` is typed, that the scaled value `typed` stands
// for; nothing when it is not a number or, for a whole-number format, does
// not land on a whole raw value.
std::optional<QString> rawTextOf(const PointLabel& label, Format format, const QString& typed);

}  // namespace anypoint
