#pragma once
// The line the module sits on and how the panel names it: port numbers,
// slave addresses, the baud rate and parity codes the driver takes, and how
// long characters take on the wire.

#include <array>
#include <cstdint>
#include <optional>

namespace module_line {

// Port numbers the driver maps to devices, and those the window lists.
inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 255;
inline constexpr int kListedPorts = 19;

// Slave addresses a module can be set to (0 is broadcast, which nobody
// answers), and those the window lists, where modules nearly always sit.
inline constexpr int kFirstAddress = 1;
inline constexpr int kLastAddress = 247;
inline constexpr int kListedAddresses = 16;

// Baud code c (1..3) is kBauds[c - 1]; parity code c (0..2) is kParities[c].
inline constexpr std::array<int, 3> kBauds{9600, 19200, 38400};
inline constexpr std::array<char, 3> kParities{'N', 'O', 'E'};
inline constexpr int kFirstBaudCode = 1;
inline constexpr int kFirstParityCode = 0;

constexpr std::optional<int> baudOfCode(std::int64_t code) {
    if (code < kFirstBaudCode || code >= kFirstBaudCode + std::int64_t(kBauds.size())) {
        return std::nullopt;
    }
    return kBauds[static_cast<std::size_t>(code - kFirstBaudCode)];
}

constexpr std::optional<char> parityOfCode(std::int64_t code) {
    if (code < kFirstParityCode || code >= kFirstParityCode + std::int64_t(kParities.size())) {
        return std::nullopt;
    }
    return kParities[static_cast<std::size_t>(code - kFirstParityCode)];
}

// One character frame: start, 8 data, parity, stop. A frame without parity
// is counted alike, so that one bound serves every setting.
inline constexpr int kBitsPerCharacter = 11;

// Time `characters` take on the wire at `baud`, rounded up to the microsecond.
constexpr std::int64_t wireTimeUs(std::int64_t characters, int baud) {
    return (characters * kBitsPerCharacter * 1'000'000 + baud - 1) / baud;
}

}  // namespace module_line

namespace module_line {

// The silence that ends a frame on the line: three and a half character
// times, rounded up to the microsecond.
constexpr std::int64_t frameGapUs(int baud) {
    return (7 * kBitsPerCharacter * 1'000'000 + 2 * baud - 1) / (2 * baud);
}

}  // namespace module_line
