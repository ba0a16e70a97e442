#include "trend/History.h"

#include <algorithm>

namespace trend {

namespace {

template <typename Deque>
void dropOlderThan(Deque& d, qint64 ms) {
    while (!d.empty() && d.front().ms < ms) {
        d.pop_front();
    }
}

template <typename Deque>
auto firstFrom(const Deque& d, qint64 fromMs) {
    return std::lower_bound(d.begin(), d.end(), fromMs,
                            [](const auto& p, qint64 ms) { return p.ms < ms; });
}

}  // namespace

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
    const qint64 ms = s.time.toMSecsSinceEpoch();
    values_.push_back({ms, s.frequency, s.count32, s.count16});
    dropOlderThan(values_, ms - keepMs_);
}

void History::add(const StateSample& s) {
    states_.push_back(s);
    dropOlderThan(states_, s.ms - keepMs_);
}

void History::clear() {
    values_.clear();
    states_.clear();
}

Segments History::curve(Quantity quantity, int input, qint64 fromMs) const {
    Segments out;
    bool open = false;
    for (auto it = firstFrom(values_, fromMs); it != values_.end(); ++it) {
        const Value& v = of(*it, quantity)[input];
        if (!v) {
            open = false;
            continue;
        }
        if (!open) {
            out.append(QList<QPointF>());
            open = true;
        }
        out.last().append(QPointF(double(it->ms), double(*v)));
    }
    return out;
}

Segments History::steps(int index, qint64 fromMs, double low) const {
    Segments out;
    bool open = false;
    for (auto it = firstFrom(states_, fromMs); it != states_.end(); ++it) {
        const State& s = it->states[index];
        if (!s) {
            open = false;
            continue;
        }
        const double y = low + (*s ? 1.0 : 0.0);
        if (!open) {
            out.append(QList<QPointF>());
            open = true;
        } else if (out.last().last().y() != y) {
            // The level holds until the tick that saw it change.
            out.last().append(QPointF(double(it->ms), out.last().last().y()));
        }
        out.last().append(QPointF(double(it->ms), y));
    }
    return out;
}

Value History::latest(Quantity quantity, int input) const {
    return values_.empty() ? Value() : of(values_.back(), quantity)[input];
}

}  // namespace trend
