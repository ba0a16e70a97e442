#pragma once
// How registers read as numbers or text, and how what is typed into a row
// becomes the registers to write. A value that does not fit its format is
// refused, never cut to fit.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace anypoint {

// The numbers are what workspaces keep: the first ten are the formats of
// files saved before byte orders were named, in their old order.
enum class Format {
    Unsigned,  // one register each
    Signed,
    Hex,
    Binary,
    Unsigned32,  // ABCD: the lower-numbered register holds the high word
    Signed32,
    Float32,
    Unsigned32LowFirst,  // CDAB: the lower-numbered register holds the low word
    Signed32LowFirst,
    Float32LowFirst,
    Unsigned32BADC,  // each word's bytes swapped
    Signed32BADC,
    Float32BADC,
    Unsigned32DCBA,  // all four bytes reversed
    Signed32DCBA,
    Float32DCBA,
    Unsigned64,  // four registers, the same four orders
    Signed64,
    Float64,
    Unsigned64LowFirst,
    Signed64LowFirst,
    Float64LowFirst,
    Unsigned64BADC,
    Signed64BADC,
    Float64BADC,
    Unsigned64DCBA,
    Signed64DCBA,
    Float64DCBA,
    Text,         // the row's registers as one ASCII string, high byte first
    TextSwapped,  // low byte first
};

inline constexpr int kFormatCount = static_cast<int>(Format::TextSwapped) + 1;

// Every format, in the menu's order.
std::vector<Format> allFormats();

// "无符号", "32位浮点 ABCD（高字在前）", "64位有符号 BADCFEHG" …
QString formatName(Format format);
// Registers a value takes; 0 for text, which takes the whole row.
int registersPerValue(Format format);
bool isText(Format format);

// One text per value; registers left over at the end of a row whose count is
// no multiple of a wide format read as "—". Text shows printable ASCII as
// it is, other bytes as \xNN, and drops trailing NULs.
QStringList valueTexts(Format format, const std::vector<std::uint16_t>& registers);

// One number per value, as valueTexts splits them; none for text or a value
// left short.
std::vector<std::optional<double>> valueNumbers(Format format,
                                                const std::vector<std::uint16_t>& registers);

// The registers that hold `text` in `format`, or nothing when it is not a
// value of that format or does not fit it. Text fills `textRegisters`
// registers, NUL-padded, and is refused when longer.
std::optional<std::vector<std::uint16_t>> registersOf(Format format, const QString& text,
                                                      int textRegisters = 0);

}  // namespace anypoint
