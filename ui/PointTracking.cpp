#include "PointTracking.h"

#include <algorithm>

#include "Scaling.h"

namespace {

// A value is current for two periods and the time its row's reads may take,
// retries included; a row read only when asked, as long as an unread stretch
// of the module's curves.
qint64 freshFor(const anypoint::PointRow& row) {
    constexpr qint64 kLinkWaitMs = 1000;
    constexpr qint64 kUnpolledMs = 5000;
    const qint64 reads = (row.waitMs > 0 ? row.waitMs : kLinkWaitMs) * (row.retries + 1);
    return row.periodMs > 0 ? 2 * row.periodMs + reads : kUnpolledMs;
}

}  // namespace

std::vector<trend::TrackedPoint> trackedPoints(const std::vector<anypoint::PointRow>& rows) {
    std::vector<trend::TrackedPoint> points;
    for (const anypoint::PointRow& row : rows) {
        for (int i = 0; i < static_cast<int>(row.labels.size()); ++i) {
            const anypoint::PointLabel& label = row.labels[static_cast<std::size_t>(i)];
            if (label.charted || label.recorded) {
                points.push_back({anypoint::pointKey(row, i), anypoint::pointTitle(row, i),
                                  label.unit, label.decimals, label.charted, label.recorded,
                                  freshFor(row)});
            }
        }
    }
    return points;
}

std::vector<trend::PointRead> pointReads(const anypoint::PointRow& row) {
    const auto numbers = anypoint::valueNumbers(
        anypoint::isBitTable(row.table) ? anypoint::Format::Unsigned : row.format, row.values);
    std::vector<trend::PointRead> reads;
    for (int i = 0; i < static_cast<int>(row.labels.size()); ++i) {
        const anypoint::PointLabel& label = row.labels[static_cast<std::size_t>(i)];
        if (!label.charted && !label.recorded) {
            continue;
        }
        const auto at = static_cast<std::size_t>(i);
        const bool read = !row.failed && at < numbers.size() && numbers[at].has_value();
        reads.push_back({anypoint::pointKey(row, i),
                         read ? std::optional<double>(anypoint::scaled(label, numbers[at].value()))
                              : std::nullopt});
    }
    return reads;
}

void followTrackedPoints(anypoint::AnyPointPoller& poller, trend::Feed& feed) {
    QObject::connect(&poller, &anypoint::AnyPointPoller::tracksChanged, &feed,
                     [&poller, &feed] { feed.setTrackedPoints(trackedPoints(poller.rows())); });
    QObject::connect(&poller, &anypoint::AnyPointPoller::rowRead, &feed, [&poller, &feed](int i) {
        const auto reads = pointReads(poller.rows()[static_cast<std::size_t>(i)]);
        if (!reads.empty()) {
            feed.takePointReads(reads);
        }
    });
}
