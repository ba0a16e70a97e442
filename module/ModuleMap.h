#pragma once
// The module's points as the driver, the simulator, the panel and the tests
// all use them. Points are numbered from 1; the driver sends point n at
// protocol address n - 1. Every number of the map is written here once.

#include <cstdint>

namespace module_map {

// Discrete inputs: X1..X4 then DI1..DI6; the status poll reads 16 at once.
inline constexpr int kFirstInput = 1;
inline constexpr int kInputsRead = 16;
inline constexpr int kCountingInputs = 4;     // X1..X4 are inputs 1..4
inline constexpr int kFirstDigitalInput = 5;  // DI1..DI6 are inputs 5..10
inline constexpr int kDigitalInputs = 6;

// Coils: Y1..Y5 are coils 1..5; the status poll reads 16 at once. Y5 has no
// label on the window, so the states shown are Y1..Y4.
inline constexpr int kFirstCoil = 1;
inline constexpr int kCoilsRead = 16;
inline constexpr int kOutputs = 5;
inline constexpr int kOutputsShown = 4;

// Clear coils: writing one on clears a count of X(i+1).
inline constexpr int kClear16Coil = 1000;  // 1000..1003
inline constexpr int kClear32Coil = 1004;  // 1004..1007

// Input registers: the 16-bit counts, then eight 32-bit values (the counts of
// X1..X4, then their frequencies in Hz), the lower-numbered register of each
// pair holding the high word.
inline constexpr int kCount16Register = 1;
inline constexpr int kCount16Values = 4;
inline constexpr int kCount32Register = 11;
inline constexpr int kCount32Values = 8;         // registers 11..26
inline constexpr int kFrequencyValueOffset = 4;  // value 4 + i is X(i+1)'s frequency

// Holding registers: 1..13 configuration, 14..16 spare; the counter poll reads 16.
// What each configuration register may hold is in ConfigValues.h.
inline constexpr int kConfigRegister = 1;
inline constexpr int kConfigRegistersRead = 16;
inline constexpr int kConfigRegistersShown = 13;
inline constexpr int kDiFunctionRegister = 1;  // DI(i+1) function: 1 + i
inline constexpr int kDiFunctions = 4;         // DI1..DI4 have one
inline constexpr int kDoFunctionRegister = 5;  // DO(i+1) function: 5 + 2i
inline constexpr int kDoPresetRegister = 6;    // DO(i+1) count preset: 6 + 2i
inline constexpr int kDoFunctions = 4;         // DO1..DO4 have one each
inline constexpr int kModeRegister = 13;       // 0 counting, 1 frequency, 2 X1/X2 up/down

// Writing the clear code into this register clears every count.
inline constexpr int kClearCodeRegister = 1004;
inline constexpr std::int32_t kClearCode = 7305;

}  // namespace module_map
