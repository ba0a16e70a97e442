#include "trend/Sample.h"

#include "ModuleMap.h"

namespace trend {

StateSample takeStates(const StatusPoll& poll, const StatusReads& reads, qint64 ms) {
    StateSample s;
    s.ms = ms;
    const auto bit = [](std::int32_t byte, int i) { return State(((byte >> i) & 1) == 1); };
    if (reads.inputs) {
        for (int i = 0; i < kInputStates; ++i) {
            s.states[i] = bit(poll.InputBuf[i / 8], i % 8);
        }
    }
    if (reads.coils) {
        for (int y = 0; y < kStates - kInputStates; ++y) {
            s.states[kInputStates + y] = bit(poll.CoilBuf[0], y);
        }
    }
    return s;
}

Sample takeSample(const CounterPoll& poll, const CounterReads& reads, const QDateTime& time,
                  std::int32_t port, std::int32_t address, const StateSample& latestStates) {
    Sample s;
    s.time = time;
    s.port = port;
    s.address = address;
    for (int i = 0; i < kInputs; ++i) {
        if (reads.count16) {
            s.count16[i] = poll.Count16Buf[i];
        }
        if (reads.count32) {
            s.count32[i] = poll.Count32Buf[i];
            s.frequency[i] = poll.Count32Buf[module_map::kFrequencyValueOffset + i];
        }
    }
    if (reads.config) {
        for (int k = 0; k < kConfigRegisters; ++k) {
            s.config[k] = poll.ConfigBuf[k];
        }
    }
    s.states = latestStates.states;
    return s;
}

}  // namespace trend
