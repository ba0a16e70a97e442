#include "Sample.h"

namespace trend {

namespace {

// Point `first + i` of a read of sixteen, for i in 0..count-1, at `at` on.
template <std::size_t n>
void takeBits(const std::optional<std::uint16_t>& points, int first, int count,
              std::array<State, n>& states, int at) {
    if (!points) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        states[at + i] = ((*points >> (first - 1 + i)) & 1) == 1;
    }
}

}  // namespace

QString stateName(int index) {
    if (index < kInputs) {
        return QStringLiteral("X%1").arg(index + 1);
    }
    if (index < kInputStates) {
        return QStringLiteral("DI%1").arg(index - kInputs + 1);
    }
    return QStringLiteral("Y%1").arg(index - kInputStates + 1);
}

StateSample takeStates(const StatusTick& tick, qint64 ms) {
    using namespace module_map;
    StateSample s;
    s.ms = ms;
    takeBits(tick.inputs, kFirstInput, kInputStates, s.states, 0);
    takeBits(tick.coils, kFirstCoil, kOutputsShown, s.states, kInputStates);
    return s;
}

Sample takeSample(const CounterTick& tick, const StateSample& latestStates, qint64 ms) {
    Sample s;
    s.ms = ms;
    s.time = tick.time;
    s.port = tick.port;
    s.address = tick.address;
    for (int i = 0; i < kInputs; ++i) {
        if (tick.count16) {
            s.count16[i] = (*tick.count16)[i];
        }
        if (tick.count32) {
            s.count32[i] = (*tick.count32)[i];
            s.frequency[i] = (*tick.count32)[module_map::kFrequencyValueOffset + i];
        }
    }
    if (tick.config) {
        for (int k = 0; k < kConfigRegisters; ++k) {
            s.config[k] = (*tick.config)[k];
        }
    }
    s.states = latestStates.states;
    return s;
}

}  // namespace trend
