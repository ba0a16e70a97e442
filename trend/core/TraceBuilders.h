#pragma once
// What the module's history and the points' history draw their curves with:
// reads kept in time order in a deque (anything with an `ms`), a curve of a
// few points a bucket, the stretches of failed reads, and the stretches with
// no read at all. Internal to trend/core.

#include <QList>
#include <QPointF>
#include <algorithm>
#include <iterator>

#include "History.h"

namespace trend::traces {

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

// The binary search of a span needs moments in order: one that came early
// is taken as at the latest moment held.
template <typename Deque>
qint64 inOrder(const Deque& d, qint64 ms) {
    return d.empty() ? ms : qMax(ms, d.back().ms);
}

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

// From a read (or the span's start) to the next read (or the present) more
// than `afterMs` later.
template <typename Deque>
Stretches gaps(const Deque& d, qint64 fromMs, qint64 nowMs, qint64 afterMs) {
    Stretches out;
    auto it = firstFrom(d, fromMs);
    qint64 last = it == d.begin() ? fromMs : std::prev(it)->ms;
    const auto gap = [&](qint64 toMs) {
        if (toMs - last > afterMs) {
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

}  // namespace trend::traces
