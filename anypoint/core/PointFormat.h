#pragma once
// How registers read as numbers, and how a number typed into a row becomes
// the registers to write. A value that does not fit its format is refused,
// never cut to fit.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace anypoint {

enum class Format {
    Unsigned,  // one register each
    Signed,
    Hex,
    Binary,
    Unsigned32,  // two registers each, the lower-numbered one the high word
    Signed32,
    Float32,
    Unsigned32LowFirst,  // two registers each, the lower-numbered one the low word
    Signed32LowFirst,
    Float32LowFirst,
};

inline constexpr Format kFormats[] = {
    Format::Unsigned,         Format::Signed,          Format::Hex,     Format::Binary,
    Format::Unsigned32,       Format::Signed32,        Format::Float32, Format::Unsigned32LowFirst,
    Format::Signed32LowFirst, Format::Float32LowFirst,
};

// "无符号", "32位浮点（高字在前）" …
QString formatName(Format format);
int registersPerValue(Format format);

// One text per value; registers left over at the end of an odd count of a
// 32-bit format read as "—".
QStringList valueTexts(Format format, const std::vector<std::uint16_t>& registers);

// The registers that hold `text` in `format`, or nothing when it is not a
// number of that format or does not fit it.
std::optional<std::vector<std::uint16_t>> registersOf(Format format, const QString& text);

}  // namespace anypoint
