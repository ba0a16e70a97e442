#pragma once
// Round numbers for the charts' axes: value ticks a technician reads at a
// glance, starting at 0 for counts and frequencies unless a value is
// negative, and time ticks on round seconds or minutes of the local clock,
// fixed to those moments as the span moves on.

#include <QList>
#include <QtGlobal>

namespace trend {

struct ValueScale {
    double from;
    double to;
    double step;  // 1, 2 or 5 times a power of ten, and at least 1 (but for a point's)
    bool operator==(const ValueScale&) const = default;
};

// From the round number at or below `low` to the one at or above `high`,
// 0 always among them, in about `maxSteps` steps.
ValueScale valueScale(double low, double high, int maxSteps = 6);

// For a "读写任意点" point, whose values may sit anywhere and in any unit:
// from the round number at or below `low` to the one at or above `high`,
// without 0 unless near, in steps of 1, 2 or 5 times any power of ten. A
// value that holds still gets a range about it.
ValueScale pointScale(double low, double high, int maxSteps = 6);
// The digits after the point that the ticks of `step` need.
int stepDecimals(double step);

// The time between two ticks for a span: 10 s for a minute, 1 min for 5,
// 2 min for 15, 10 min for an hour.
qint64 timeStepMs(qint64 spanMs);

// The moments in [fromMs, toMs] (ms since the epoch) that are whole
// multiples of `stepMs` on a clock `offsetMs` ahead of UTC.
QList<qint64> roundTimes(qint64 fromMs, qint64 toMs, qint64 stepMs, qint64 offsetMs);

}  // namespace trend
