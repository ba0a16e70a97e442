#include "Scales.h"

#include <cmath>

namespace trend {

namespace {

// The smallest of 1, 2, 5 or 10 times a power of ten that covers `range`
// in `maxSteps`.
double roundStep(double range, int maxSteps) {
    const double rough = range / qMax(1, maxSteps);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step * maxSteps >= range) {
            break;
        }
    }
    return step;
}

}  // namespace

ValueScale valueScale(double low, double high, int maxSteps) {
    const double from0 = qMin(0.0, low);
    const double top = qMax(0.0, high);
    const double range = qMax(1.0, top - from0);
    const double step = qMax(1.0, roundStep(range, maxSteps));
    const double from = std::floor(from0 / step) * step;
    double to = std::ceil(top / step) * step;
    // Nothing read yet, or only zeros: one step, not none.
    if (to <= from) {
        to = from + step;
    }
    return {from, to, step};
}

ValueScale pointScale(double low, double high, int maxSteps) {
    if (!(low <= high)) {  // nothing read
        low = 0;
        high = 1;
    }
    if (high - low < 1e-9 * qMax(1.0, std::fabs(high))) {
        // A tenth of the value about it, or at least a unit.
        const double about = qMax(0.5, std::fabs(high) * 0.05);
        low -= about;
        high += about;
    }
    const double step = roundStep(high - low, maxSteps);
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

int stepDecimals(double step) {
    return qBound(0, int(-std::floor(std::log10(step) + 1e-9)), 15);
}

qint64 timeStepMs(qint64 spanMs) {
    const qint64 minute = 60 * 1000;
    if (spanMs <= minute) {
        return 10 * 1000;
    }
    if (spanMs <= 5 * minute) {
        return minute;
    }
    if (spanMs <= 15 * minute) {
        return 2 * minute;
    }
    return 10 * minute;
}

QList<qint64> roundTimes(qint64 fromMs, qint64 toMs, qint64 stepMs, qint64 offsetMs) {
    QList<qint64> times;
    // The first whole multiple at or after `fromMs`, on the local clock.
    const qint64 local = fromMs + offsetMs;
    qint64 t = (local / stepMs + (local % stepMs > 0 ? 1 : 0)) * stepMs - offsetMs;
    for (; t <= toMs; t += stepMs) {
        times.append(t);
    }
    return times;
}

}  // namespace trend
