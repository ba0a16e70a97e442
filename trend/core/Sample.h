#pragma once
// One counter-poll tick as the window showed it, with the latest input and
// output states of the status poll: what a curve point and a record row are
// made of. An empty value is a read that did not answer.

#include <QDateTime>
#include <array>
#include <cstdint>
#include <optional>

#include "ModuleMap.h"
#include "PollTicks.h"

namespace trend {

inline constexpr int kInputs = module_map::kCountingInputs;  // X1..X4 count and measure
inline constexpr int kConfigRegisters = module_map::kConfigRegistersShown;
// The states shown: X1..X4, DI1..DI6, then Y1..Y4.
inline constexpr int kInputStates = module_map::kCountingInputs + module_map::kDigitalInputs;
inline constexpr int kStates = kInputStates + module_map::kOutputsShown;

using Value = std::optional<std::int32_t>;
using State = std::optional<bool>;

struct StateSample {
    qint64 ms = 0;  // since the epoch
    std::array<State, kStates> states{};
};

struct Sample {
    QDateTime time;
    std::int32_t port = 0;
    std::int32_t address = 0;
    std::array<Value, kInputs> count16{};
    std::array<Value, kInputs> count32{};
    std::array<Value, kInputs> frequency{};
    std::array<Value, kConfigRegisters> config{};
    std::array<State, kStates> states{};
};

// "X1".."X4", "DI1".."DI6", "Y1".."Y4" for state 0..kStates-1.
QString stateName(int index);

// The states a status tick read.
StateSample takeStates(const StatusTick& tick);

// A counter tick's values, and the latest states.
Sample takeSample(const CounterTick& tick, const StateSample& latestStates);

}  // namespace trend
