#include "Feed.h"

#include <QDir>
#include <chrono>

#include "ConfigValues.h"

namespace trend {

qint64 Feed::steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Feed::Feed(StatusPoll& statusPoll, CounterPoll& counterPoll, Clock clock, Monotonic monotonic)
    : clock_(std::move(clock)), monotonic_(std::move(monotonic)) {
    // Direct connections: the sample is taken within the tick that shows it.
    connect(&statusPoll, &StatusPoll::tickShown, this, &Feed::onStates);
    connect(&counterPoll, &CounterPoll::tickShown, this, &Feed::onCounters);
}

void Feed::onStates(const StatusTick& tick) {
    latestStates_ = takeStates(tick, monotonic_());
    history_.add(latestStates_);
    emit statusTick();
}

void Feed::onCounters(const CounterTick& tick) {
    const Sample sample = takeSample(tick, latestStates_, monotonic_());
    history_.add(sample);
    port_ = tick.port;
    address_ = tick.address;
    if (const Value mode = sample.config[module_map::kModeRegister - module_map::kConfigRegister]) {
        mode_ = mode;
    }
    if (record_.isOpen()) {
        const QString failure = record_.append(sample);
        if (!failure.isEmpty()) {
            setRecordStatus(QStringLiteral("记录已停止：") + failure);
        }
    }
    emit counterTick();
}

Quantity Feed::movingQuantity() const {
    return mode_ == module_map::kFrequencyMode ? Quantity::Frequency : Quantity::Count32;
}

void Feed::setTrackedPoints(std::vector<TrackedPoint> points) {
    if (points == tracked_) {
        return;
    }
    tracked_ = std::move(points);
    pointHistory_.track(tracked_);
    record_.points().track(tracked_);
    emit trackedPointsChanged();
}

void Feed::takePointReads(const std::vector<PointRead>& reads) {
    const qint64 ms = monotonic_();
    pointHistory_.add(reads, ms);
    if (record_.isOpen()) {
        record_.points().take(reads, ms);
        // Written out now, between the counter ticks, so the next finds it done.
        record_.points().cells(ms);
    }
    emit pointTick();
}

bool Feed::startRecording(const QString& path) {
    PointColumns points(tracked_);
    // The values already read count from the record's first row on.
    for (const TrackedPoint& p : tracked_) {
        if (const auto last = pointHistory_.lastRead(p.key)) {
            points.take({{p.key, last->value}}, last->ms);
        }
    }
    const QString failure = record_.open(path, std::move(points));
    if (!failure.isEmpty()) {
        record_.close();
        setRecordStatus(QStringLiteral("未能记录：") + failure);
        return false;
    }
    setRecordStatus(QStringLiteral("记录中：") + QDir::toNativeSeparators(path));
    return true;
}

void Feed::stopRecording() {
    if (record_.isOpen()) {
        const QString path = record_.path();
        record_.close();
        setRecordStatus(QStringLiteral("记录已保存：") + QDir::toNativeSeparators(path));
    }
}

void Feed::setRecordStatus(const QString& status) {
    recordStatus_ = status;
    emit recordStatusChanged(status);
}

}  // namespace trend
