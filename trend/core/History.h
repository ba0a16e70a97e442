#pragma once
// What the curves are drawn from: the counter ticks and the status ticks of
// the longest time span the window offers, older ones dropped as new ones
// come. A read that did not answer is kept as a hole: a curve is one line of
// the values read, and the holes are stretches of time of their own, drawn
// over it, so that what a curve costs does not grow with its holes and it
// never plunges to the driver's failure code.

#include <QList>
#include <QPointF>
#include <deque>

#include "Sample.h"

namespace trend {

enum class Quantity { Frequency, Count32, Count16 };

inline constexpr qint64 kLongestSpanMs = 60 * 60 * 1000;

// The values read, in time order, holes left out.
using Line = QList<QPointF>;
// Stretches of time with no value, from the tick before a failed read (or the
// failed read itself, first in a span) to the tick after it (or itself, last).
struct Stretch {
    enum Kind { Failed, Unread };
    qint64 fromMs;
    qint64 toMs;
    bool operator==(const Stretch&) const = default;
};
using Stretches = QList<Stretch>;

// No tick for this long: nobody was reading (the link closed, the polls
// stopped, a search holding the port). A counter tick comes every second and
// a status tick every half, later by the time-outs of a silent module.
inline constexpr qint64 kUnreadAfterMs = 5000;

// Of the reads in a stretch, how many were made and how many failed.
struct Reads {
    int made = 0;
    int failed = 0;
    bool operator==(const Reads&) const = default;
};

class History {
  public:
    explicit History(qint64 keepMs = kLongestSpanMs) : keepMs_(keepMs) {}

    void add(const Sample& sample);
    void add(const StateSample& states);
    void clear();

    // Input `input` (0..3) of `quantity` from `fromMs` on, x in the feed's
    // ms, with no more than four points to a stretch of `bucketMs`.
    Line curve(Quantity quantity, int input, qint64 fromMs, qint64 bucketMs = 1) const;
    // State `index` (0..13) as a step trace between `low` and `low + 1`.
    Line steps(int index, qint64 fromMs, double low, qint64 bucketMs = 1) const;
    // Where the read of `input`'s `quantity` failed, or that of state
    // `index`; stretches closer than `joinMs` are one. A read takes all four
    // inputs, or a group of states, at once: their holes are the same.
    Stretches holes(Quantity quantity, int input, qint64 fromMs, qint64 joinMs = 1) const;
    Stretches stateHoles(int index, qint64 fromMs, qint64 joinMs = 1) const;
    // Where no read was made from `fromMs` to `nowMs`: from a tick (or the
    // span's start) to the next tick (or the present) more than
    // kUnreadAfterMs later. Counter ticks, then status ticks.
    Stretches unread(qint64 fromMs, qint64 nowMs) const;
    Stretches unreadStates(qint64 fromMs, qint64 nowMs) const;
    // The reads of `input`'s `quantity`, or of state `index`, in [fromMs, toMs].
    Reads reads(Quantity quantity, int input, qint64 fromMs, qint64 toMs) const;
    Reads stateReads(int index, qint64 fromMs, qint64 toMs) const;
    // The latest value of a curve, if its last read answered.
    Value latest(Quantity quantity, int input) const;

    std::size_t counterTicks() const { return values_.size(); }
    std::size_t statusTicks() const { return states_.size(); }

  private:
    struct Point {
        qint64 ms;
        std::array<Value, kInputs> frequency, count32, count16;
    };
    static const std::array<Value, kInputs>& of(const Point& p, Quantity q);

    qint64 keepMs_;
    std::deque<Point> values_;
    std::deque<StateSample> states_;
};

}  // namespace trend
