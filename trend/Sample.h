#pragma once
// One counter-poll tick as the window showed it, with the latest input and
// output states of the status poll: what a curve point and a record row are
// made of. An empty value is a read that did not answer.

#include <QDateTime>
#include <array>
#include <cstdint>
#include <optional>

#include "monitor/CounterPoll.h"
#include "monitor/StatusPoll.h"

namespace trend {

inline constexpr int kInputs = 4;  // X1..X4 count and measure
inline constexpr int kConfigRegisters = 13;
inline constexpr int kStates = 14;  // X1..X4, DI1..DI6, Y1..Y4
inline constexpr int kInputStates = 10;

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

// The states a status tick showed: bit i of the first input byte is X1..X4,
// DI1..DI4, of the second DI5, DI6; bit i of the coil byte is Y(i+1).
StateSample takeStates(const StatusPoll& poll, const StatusReads& reads, qint64 ms);

// A counter tick's values, and the latest states.
Sample takeSample(const CounterPoll& poll, const CounterReads& reads, const QDateTime& time,
                  std::int32_t port, std::int32_t address, const StateSample& latestStates);

}  // namespace trend
