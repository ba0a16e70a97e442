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

namespace {

// Gathers a trace's points into runs, keeping of each stretch of `bucketMs`
// only its first, lowest, highest and last point: a chart never shows more
// than a few points to a pixel, and every extreme still shows. A value that
// holds still keeps only the ends of its stretch.
class RunBuilder {
  public:
    RunBuilder(qint64 fromMs, qint64 bucketMs)
        : fromMs_(fromMs), bucketMs_(qMax<qint64>(1, bucketMs)) {}

    void add(const QPointF& p) {
        if (!open_) {
            runs_.append(QList<QPointF>());
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
    void hole() {
        if (open_) {
            flush();
        }
        open_ = false;
    }
    Segments take() {
        hole();
        return std::move(runs_);
    }

  private:
    qint64 bucketOf(double x) const { return (qint64(x) - fromMs_) / bucketMs_; }
    void startBucket(const QPointF& p) {
        bucket_ = bucketOf(p.x());
        first_ = low_ = high_ = last_ = p;
        seen_ = lowSeen_ = highSeen_ = 0;
    }
    void put(const QPointF& p) {
        QList<QPointF>& run = runs_.last();
        const qsizetype n = run.size();
        if (n > 0 && run[n - 1] == p) {
            return;
        }
        // The middle of three points at one height adds nothing to the line.
        if (n > 1 && run[n - 1].y() == p.y() && run[n - 2].y() == p.y()) {
            run[n - 1] = p;
            return;
        }
        run.append(p);
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
    Segments runs_;
    bool open_ = false;
    qint64 bucket_ = 0;
    QPointF first_, low_, high_, last_;
    int seen_ = 0;  // points of this stretch after its first
    int lowSeen_ = 0;
    int highSeen_ = 0;
};

}  // namespace

Segments History::curve(Quantity quantity, int input, qint64 fromMs, qint64 bucketMs) const {
    RunBuilder runs(fromMs, bucketMs);
    for (auto it = firstFrom(values_, fromMs); it != values_.end(); ++it) {
        const Value& v = of(*it, quantity)[input];
        if (v) {
            runs.add(QPointF(double(it->ms), double(*v)));
        } else {
            runs.hole();
        }
    }
    return runs.take();
}

Segments History::steps(int index, qint64 fromMs, double low, qint64 bucketMs) const {
    RunBuilder runs(fromMs, bucketMs);
    bool open = false;
    double level = 0;
    for (auto it = firstFrom(states_, fromMs); it != states_.end(); ++it) {
        const State& s = it->states[index];
        if (!s) {
            runs.hole();
            open = false;
            continue;
        }
        const double y = low + (*s ? 1.0 : 0.0);
        if (open && y != level) {
            // The level holds until the tick that saw it change.
            runs.add(QPointF(double(it->ms), level));
        }
        runs.add(QPointF(double(it->ms), y));
        open = true;
        level = y;
    }
    return runs.take();
}

Value History::latest(Quantity quantity, int input) const {
    return values_.empty() ? Value() : of(values_.back(), quantity)[input];
}

}  // namespace trend
