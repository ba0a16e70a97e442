#pragma once
// What the module's configuration registers may hold. The map says where
// they live; this says which values the module accepts there, as the
// window's lists offer them. The simulator refuses other values, and the
// finder takes a device holding one for something else.

#include <cstdint>

#include "ModuleMap.h"

namespace module_map {

inline constexpr std::uint16_t kDiFunctionMax = 2;  // 0 plain, 1 clear 16-bit, 2 clear 32-bit
inline constexpr std::uint16_t kDoFunctionMax = 1;  // 0 coil-driven, 1 count alarm
inline constexpr std::uint16_t kDoCoilDriven = 0;   // the output follows its coil
inline constexpr std::uint16_t kModeMax = 2;        // 0 counting, 1 frequency, 2 X1/X2 up/down
inline constexpr std::uint16_t kCountingMode = 0;   // X1..X4 count their pulses
inline constexpr std::uint16_t kFrequencyMode = 1;  // X1..X4 measure frequencies, not count
inline constexpr std::uint16_t kUpDownMode = 2;     // X2's pulses count X1's counts down
inline constexpr int kDownInput = 1;                // X2, 0-based, in up/down mode

// Whether holding register `reg` may hold `value`. The presets take any
// 16-bit value, and so do the spare registers and any other register.
constexpr bool configAccepts(int reg, std::uint16_t value) {
    if (reg >= kDiFunctionRegister && reg < kDiFunctionRegister + kDiFunctions) {
        return value <= kDiFunctionMax;
    }
    for (int i = 0; i < kDoFunctions; ++i) {
        if (reg == kDoFunctionRegister + 2 * i) {
            return value <= kDoFunctionMax;
        }
    }
    if (reg == kModeRegister) {
        return value <= kModeMax;
    }
    return true;
}

}  // namespace module_map
