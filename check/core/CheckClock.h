#pragma once
// The time a check runs on: the steady clock, or a test's own, so that a
// module's pulses and the check's waits can be stepped together.

#include <QtGlobal>
#include <functional>

struct CheckClock {
    std::function<qint64()> nowNs;      // monotonic; only differences matter
    std::function<void(int ms)> sleep;  // waits that long

    static CheckClock steady();
};
