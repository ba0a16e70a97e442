#pragma once
// What one tick of a poll read, as the window showed it: small plain values
// that any number of onlookers (curves, records, a traffic view) take from
// the poll's signal without a transaction of their own. A read that did not
// answer is empty.

#include <QDateTime>
#include <array>
#include <cstdint>
#include <optional>

#include "ModuleMap.h"

struct StatusTick {
    QDateTime time;  // when the tick ended
    std::int32_t port = 0;
    std::int32_t address = 0;
    // Discrete inputs and coils from the first of each, first in bit 0.
    std::optional<std::uint16_t> inputs;
    std::optional<std::uint16_t> coils;
};

struct CounterTick {
    QDateTime time;  // when the tick ended
    std::int32_t port = 0;
    std::int32_t address = 0;
    std::optional<std::array<std::int32_t, module_map::kCount16Values>> count16;
    // The 32-bit counts of X1..X4, then their frequencies.
    std::optional<std::array<std::int32_t, module_map::kCount32Values>> count32;
    std::optional<std::array<std::int32_t, module_map::kConfigRegistersRead>> config;
};

Q_DECLARE_METATYPE(StatusTick)
Q_DECLARE_METATYPE(CounterTick)
