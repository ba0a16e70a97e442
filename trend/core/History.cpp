#include "History.h"

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

// The binary search of a span needs moments in order: one that came early
// is taken as at the latest moment held.
template <typename Deque>
qint64 inOrder(const Deque& d, qint64 ms) {
    return d.empty() ? ms : qMax(ms, d.back().ms);
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

namespace {

// Gathers a trace's points into a line, keeping of each stretch of
// `bucketMs` only its first, lowest, highest and last point: a chart never
// shows more than a few points to a pixel, and every extreme still shows. A
// value that holds still keeps only the ends of its stretch.
class LineBuilder {
  public:
    LineBuilder(qint64 fromMs, qint64 bucketMs)
        : fromMs_(fromMs), bucketMs_(qMax<qint64>(1, bucketMs)) {}

    void add(const QPointF& p) {
        if (!open_) {
            open_ = true;
            startBucket(p);
            return;
        }
        const qint64 b = bucketOf(p.x());
        if (b != bucket_) {
            flush();
            startBucket(p);
            return;
        }
        ++seen_;
        if (p.y() < low_.y()) {
            low_ = p;
            lowSeen_ = seen_;
        }
        if (p.y() > high_.y()) {
            high_ = p;
            highSeen_ = seen_;
        }
        last_ = p;
    }
    Line take() {
        if (open_) {
            flush();
        }
        return std::move(line_);
    }

  private:
    qint64 bucketOf(double x) const { return (qint64(x) - fromMs_) / bucketMs_; }
    void startBucket(const QPointF& p) {
        bucket_ = bucketOf(p.x());
        first_ = low_ = high_ = last_ = p;
        seen_ = lowSeen_ = highSeen_ = 0;
    }
    void put(const QPointF& p) {
        const qsizetype n = line_.size();
        if (n > 0 && line_[n - 1] == p) {
            return;
        }
        // The middle of three points at one height adds nothing to the line.
        if (n > 1 && line_[n - 1].y() == p.y() && line_[n - 2].y() == p.y()) {
            line_[n - 1] = p;
            return;
        }
        line_.append(p);
    }
    void flush() {
        put(first_);
        // In the order they came: a step down has both ends at one moment.
        const bool lowFirst = lowSeen_ <= highSeen_;
        put(lowFirst ? low_ : high_);
        put(lowFirst ? high_ : low_);
        put(last_);
    }

    qint64 fromMs_;
    qint64 bucketMs_;
    Line line_;
    bool open_ = false;
    qint64 bucket_ = 0;
    QPointF first_, low_, high_, last_;
    int seen_ = 0;  // points of this stretch after its first
    int lowSeen_ = 0;
    int highSeen_ = 0;
};

// Gathers the failed reads of a trace into stretches of time.
class HoleBuilder {
  public:
    explicit HoleBuilder(qint64 joinMs) : joinMs_(qMax<qint64>(1, joinMs)) {}

    void add(qint64 ms, bool read) {
        if (!read && !inHole_) {
            inHole_ = true;
            start_ = any_ ? lastMs_ : ms;
        } else if (read && inHole_) {
            close(ms);
        }
        any_ = true;
        lastMs_ = ms;
    }
    Stretches take() {
        if (inHole_) {
            close(lastMs_);
        }
        return std::move(stretches_);
    }

  private:
    void close(qint64 endMs) {
        inHole_ = false;
        if (!stretches_.isEmpty() && start_ - stretches_.last().toMs < joinMs_) {
            stretches_.last().toMs = endMs;
        } else {
            stretches_.append({start_, endMs});
        }
    }

    qint64 joinMs_;
    Stretches stretches_;
    bool inHole_ = false;
    bool any_ = false;
    qint64 start_ = 0;
    qint64 lastMs_ = 0;
};

}  // namespace

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

namespace {

template <typename Deque>
Stretches gaps(const Deque& d, qint64 fromMs, qint64 nowMs) {
    Stretches out;
    auto it = firstFrom(d, fromMs);
    qint64 last = it == d.begin() ? fromMs : std::prev(it)->ms;
    const auto gap = [&](qint64 toMs) {
        if (toMs - last > kUnreadAfterMs) {
            out.append({qMax(last, fromMs), toMs});
        }
    };
    for (; it != d.end(); ++it) {
        gap(it->ms);
        last = it->ms;
    }
    gap(nowMs);
    return out;
}

template <typename Deque, typename Failed>
Reads count(const Deque& d, qint64 fromMs, qint64 toMs, Failed failed) {
    Reads r;
    for (auto it = firstFrom(d, fromMs); it != d.end() && it->ms <= toMs; ++it) {
        ++r.made;
        r.failed += failed(*it) ? 1 : 0;
    }
    return r;
}

}  // namespace

Stretches History::unread(qint64 fromMs, qint64 nowMs) const {
    return gaps(values_, fromMs, nowMs);
}

Stretches History::unreadStates(qint64 fromMs, qint64 nowMs) const {
    return gaps(states_, fromMs, nowMs);
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
