#pragma once
// What the curves of the tracked "读写任意点" points are drawn from: each
// point's reads of the longest span the window offers, older ones dropped.
// As in the module's history a failed read is a hole, and a point read less
// often than its freshness allows is unread for that while: each point has
// its own, after its row's period.

#include <QHash>
#include <deque>
#include <optional>
#include <vector>

#include "History.h"
#include "PointTrack.h"

namespace trend {

class PointHistory {
  public:
    explicit PointHistory(qint64 keepMs = kLongestSpanMs) : keepMs_(keepMs) {}

    // Keeps the points of `points` (with their freshness) and forgets any other.
    void track(const std::vector<TrackedPoint>& points);
    // The reads of one row at `ms`; those of points not tracked are not kept.
    void add(const std::vector<PointRead>& reads, qint64 ms);

    // As History's: the values read from `fromMs` on, a few points a
    // `bucketMs`; the failed reads, stretches closer than `joinMs` as one;
    // the stretches from `fromMs` to `nowMs` longer than the point's
    // freshness with no read; the reads made and failed in [fromMs, toMs].
    Line curve(const QString& key, qint64 fromMs, qint64 bucketMs = 1) const;
    Stretches holes(const QString& key, qint64 fromMs, qint64 joinMs = 1) const;
    Stretches unread(const QString& key, qint64 fromMs, qint64 nowMs) const;
    Reads reads(const QString& key, qint64 fromMs, qint64 toMs) const;
    // The value of the last read at `nowMs`: none when it failed or is older
    // than the point's freshness.
    std::optional<double> latest(const QString& key, qint64 nowMs) const;
    // The last read of the point, however old.
    struct LastRead {
        qint64 ms;
        std::optional<double> value;
    };
    std::optional<LastRead> lastRead(const QString& key) const;

    std::size_t readsHeld() const;

  private:
    // A value that is no number (a float register's NaN or infinity) cannot
    // be drawn and is kept as a failed read: 16 bytes a read, so that an
    // hour of a thousand points a second fits in well under 100 MB.
    struct Read {
        qint64 ms;
        double value;  // NaN: no value
    };
    struct Track {
        qint64 freshForMs = 0;
        std::deque<Read> reads;
    };
    const Track* find(const QString& key) const;
    void dropOld(qint64 nowMs);

    qint64 keepMs_;
    qint64 droppedAtMs_ = 0;
    QHash<QString, Track> tracks_;
};

}  // namespace trend
