#include "History.h"

#include "TraceBuilders.h"

namespace trend {

using namespace traces;

const std::array<Value, kInputs>& History::of(const Point& p, Quantity q) {
    switch (q) {
        case Quantity::Frequency:
            return p.frequency;
        case Quantity::Count32:
            return p.count32;
        case Quantity::Count16:
            break;
    }
    return p.count16;
}

void History::add(const Sample& s) {
    const qint64 ms = inOrder(values_, s.ms);
    values_.push_back({ms, s.frequency, s.count32, s.count16});
    dropOlderThan(values_, ms - keepMs_);
}

void History::add(const StateSample& s) {
    states_.push_back(s);
    states_.back().ms = inOrder(states_, s.ms);
    dropOlderThan(states_, states_.back().ms - keepMs_);
}

void History::clear() {
    values_.clear();
    states_.clear();
}

Line History::curve(Quantity quantity, int input, qint64 fromMs, qint64 bucketMs) const {
    LineBuilder line(fromMs, bucketMs);
    for (auto it = firstFrom(values_, fromMs); it != values_.end(); ++it) {
        const Value& v = of(*it, quantity)[input];
        if (v) {
            line.add(QPointF(double(it->ms), double(*v)));
        }
    }
    return line.take();
}

Stretches History::holes(Quantity quantity, int input, qint64 fromMs, qint64 joinMs) const {
    HoleBuilder holes(joinMs);
    for (auto it = firstFrom(values_, fromMs); it != values_.end(); ++it) {
        holes.add(it->ms, of(*it, quantity)[input].has_value());
    }
    return holes.take();
}

Stretches History::stateHoles(int index, qint64 fromMs, qint64 joinMs) const {
    HoleBuilder holes(joinMs);
    for (auto it = firstFrom(states_, fromMs); it != states_.end(); ++it) {
        holes.add(it->ms, it->states[index].has_value());
    }
    return holes.take();
}

Stretches History::unread(qint64 fromMs, qint64 nowMs) const {
    return gaps(values_, fromMs, nowMs, kUnreadAfterMs);
}

Stretches History::unreadStates(qint64 fromMs, qint64 nowMs) const {
    return gaps(states_, fromMs, nowMs, kUnreadAfterMs);
}

Reads History::reads(Quantity quantity, int input, qint64 fromMs, qint64 toMs) const {
    return count(values_, fromMs, toMs,
                 [&](const Point& p) { return !of(p, quantity)[input].has_value(); });
}

Reads History::stateReads(int index, qint64 fromMs, qint64 toMs) const {
    return count(states_, fromMs, toMs,
                 [&](const StateSample& s) { return !s.states[index].has_value(); });
}

Line History::steps(int index, qint64 fromMs, double low, qint64 bucketMs) const {
    LineBuilder line(fromMs, bucketMs);
    bool open = false;
    double level = 0;
    for (auto it = firstFrom(states_, fromMs); it != states_.end(); ++it) {
        const State& s = it->states[index];
        if (!s) {
            // The level's change across a hole is not seen at any one tick.
            open = false;
            continue;
        }
        const double y = low + (*s ? 1.0 : 0.0);
        if (open && y != level) {
            // The level holds until the tick that saw it change.
            line.add(QPointF(double(it->ms), level));
        }
        line.add(QPointF(double(it->ms), y));
        open = true;
        level = y;
    }
    return line.take();
}

Value History::latest(Quantity quantity, int input) const {
    return values_.empty() ? Value() : of(values_.back(), quantity)[input];
}

}  // namespace trend
