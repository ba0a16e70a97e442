#include "PointHistory.h"

#include <QSet>
#include <cmath>
#include <limits>

#include "TraceBuilders.h"

namespace trend {

using namespace traces;

namespace {

// Points not read for a while are swept this often, not at every read.
constexpr qint64 kSweepEveryMs = 1000;

bool hasValue(double value) {
    return !std::isnan(value);
}

}  // namespace

void PointHistory::track(const std::vector<TrackedPoint>& points) {
    QSet<QString> keys;
    for (const TrackedPoint& p : points) {
        keys.insert(p.key);
        tracks_[p.key].freshForMs = p.freshForMs;
    }
    tracks_.removeIf(
        [&keys](QHash<QString, Track>::iterator it) { return !keys.contains(it.key()); });
}

void PointHistory::add(const std::vector<PointRead>& reads, qint64 ms) {
    for (const PointRead& r : reads) {
        const auto it = tracks_.find(r.key);
        if (it == tracks_.end()) {
            continue;
        }
        const bool number = r.value && std::isfinite(*r.value);
        it->reads.push_back(
            {inOrder(it->reads, ms), number ? *r.value : std::numeric_limits<double>::quiet_NaN()});
        dropOlderThan(it->reads, ms - keepMs_);
    }
    dropOld(ms);
}

void PointHistory::dropOld(qint64 nowMs) {
    // A point whose row is no longer read keeps no reads past the span either.
    if (nowMs - droppedAtMs_ < kSweepEveryMs) {
        return;
    }
    droppedAtMs_ = nowMs;
    for (Track& t : tracks_) {
        dropOlderThan(t.reads, nowMs - keepMs_);
    }
}

const PointHistory::Track* PointHistory::find(const QString& key) const {
    const auto it = tracks_.constFind(key);
    return it == tracks_.cend() ? nullptr : &*it;
}

Line PointHistory::curve(const QString& key, qint64 fromMs, qint64 bucketMs) const {
    LineBuilder line(fromMs, bucketMs);
    if (const Track* t = find(key)) {
        for (auto it = firstFrom(t->reads, fromMs); it != t->reads.end(); ++it) {
            if (hasValue(it->value)) {
                line.add(QPointF(double(it->ms), it->value));
            }
        }
    }
    return line.take();
}

Stretches PointHistory::holes(const QString& key, qint64 fromMs, qint64 joinMs) const {
    HoleBuilder holes(joinMs);
    if (const Track* t = find(key)) {
        for (auto it = firstFrom(t->reads, fromMs); it != t->reads.end(); ++it) {
            holes.add(it->ms, hasValue(it->value));
        }
    }
    return holes.take();
}

Stretches PointHistory::unread(const QString& key, qint64 fromMs, qint64 nowMs) const {
    const Track* t = find(key);
    return t ? gaps(t->reads, fromMs, nowMs, t->freshForMs) : Stretches{{fromMs, nowMs}};
}

Reads PointHistory::reads(const QString& key, qint64 fromMs, qint64 toMs) const {
    const Track* t = find(key);
    return t ? count(t->reads, fromMs, toMs, [](const Read& r) { return !hasValue(r.value); })
             : Reads{};
}

std::optional<double> PointHistory::latest(const QString& key, qint64 nowMs) const {
    const Track* t = find(key);
    const auto last = lastRead(key);
    return last && nowMs - last->ms <= t->freshForMs ? last->value : std::nullopt;
}

std::optional<PointHistory::LastRead> PointHistory::lastRead(const QString& key) const {
    const Track* t = find(key);
    if (t == nullptr || t->reads.empty()) {
        return std::nullopt;
    }
    const Read& last = t->reads.back();
    return LastRead{last.ms, hasValue(last.value) ? std::optional(last.value) : std::nullopt};
}

std::size_t PointHistory::readsHeld() const {
    std::size_t n = 0;
    for (const Track& t : tracks_) {
        n += t.reads.size();
    }
    return n;
}

}  // namespace trend
