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

// `ms` is a moment of a clock that only goes forward (see Feed): what the
// history is ordered by. The wall-clock time is only shown and recorded.
struct StateSample {
    qint64 ms = 0;
    std::array<State, kStates> states{};
};

struct Sample {
    qint64 ms = 0;
    QDateTime time;  // the wall clock, as the tick said
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

// The states a status tick read, at `ms`.
StateSample takeStates(const StatusTick& tick, qint64 ms);

// A counter tick's values at `ms`, and the latest states.
Sample takeSample(const CounterTick& tick, const StateSample& latestStates, qint64 ms);

}  // namespace trend
