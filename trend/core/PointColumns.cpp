#include "PointColumns.h"

#include <cmath>

namespace trend {

PointColumns::PointColumns(const std::vector<TrackedPoint>& points) {
    for (const TrackedPoint& p : points) {
        if (p.recorded && !index_.contains(p.key)) {
            index_.insert(p.key, columns_.size());
            Column& c = columns_.emplace_back();
            c.key = p.key;
            c.name = pointName(p);
            c.decimals = p.decimals;
            c.freshForMs = p.freshForMs;
        }
    }
}

QStringList PointColumns::header() const {
    QStringList names;
    for (const Column& c : columns_) {
        names << c.name;
    }
    return names;
}

void PointColumns::track(const std::vector<TrackedPoint>& points) {
    for (Column& c : columns_) {
        c.tracked = false;
    }
    for (const TrackedPoint& p : points) {
        if (const auto it = index_.constFind(p.key); it != index_.cend()) {
            Column& c = columns_[*it];
            c.tracked = true;
            c.freshForMs = p.freshForMs;
            if (c.decimals != p.decimals) {
                c.decimals = p.decimals;
                format(c);
            }
        }
    }
    composed_ = false;
}

void PointColumns::take(const std::vector<PointRead>& reads, qint64 ms) {
    for (const PointRead& r : reads) {
        if (const auto it = index_.constFind(r.key); it != index_.cend()) {
            Column& c = columns_[*it];
            c.readMs = ms;
            c.value = r.value && std::isfinite(*r.value) ? r.value : std::nullopt;
            format(c);
            composed_ = false;
        }
    }
}

void PointColumns::format(Column& c) {
    c.text = c.value ? pointText(*c.value, c.decimals) : QByteArray();
}

const QByteArray& PointColumns::cells(qint64 nowMs) {
    if (composed_ && nowMs < staleFromMs_) {
        return cells_;
    }
    cells_.clear();
    staleFromMs_ = std::numeric_limits<qint64>::max();
    for (const Column& c : columns_) {
        cells_ += ',';
        if (c.tracked && !c.text.isEmpty() && nowMs - c.readMs <= c.freshForMs) {
            cells_ += c.text;
            staleFromMs_ = qMin(staleFromMs_, c.readMs + c.freshForMs + 1);
        }
    }
    composed_ = true;
    return cells_;
}

}  // namespace trend
