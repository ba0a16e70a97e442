#pragma once
// The table through which the window's handlers share the link settings:
// 501 signed 32-bit entries, zero at start, kept for the whole run.

#include <array>
#include <cstddef>
#include <cstdint>

using LinkParamTable = std::array<std::int32_t, 501>;

namespace link_param {
inline constexpr std::size_t kPort = 0;
inline constexpr std::size_t kBaudCode = 1;    // 1 = 9600, 2 = 19200, 3 = 38400
inline constexpr std::size_t kParityCode = 2;  // 0 = none, 1 = odd, 2 = even
inline constexpr std::size_t kAddress = 3;
inline constexpr std::size_t kWriteValue = 15;  // next holding-register value
inline constexpr std::size_t kOpenResult = 20;
}  // namespace link_param
