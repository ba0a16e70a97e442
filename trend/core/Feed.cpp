#include "Feed.h"

#include <QDir>

namespace trend {

Feed::Feed(StatusPoll& statusPoll, CounterPoll& counterPoll, Clock clock)
    : clock_(std::move(clock)) {
    // Direct connections: the sample is taken within the tick that shows it.
    connect(&statusPoll, &StatusPoll::tickShown, this, &Feed::onStates);
    connect(&counterPoll, &CounterPoll::tickShown, this, &Feed::onCounters);
}

void Feed::onStates(const StatusTick& tick) {
    latestStates_ = takeStates(tick);
    history_.add(latestStates_);
    emit statusTick();
}

void Feed::onCounters(const CounterTick& tick) {
    const Sample sample = takeSample(tick, latestStates_);
    history_.add(sample);
    if (record_.isOpen()) {
        const QString failure = record_.append(sample);
        if (!failure.isEmpty()) {
            setRecordStatus(QStringLiteral("记录已停止：") + failure);
        }
    }
    emit counterTick();
}

bool Feed::startRecording(const QString& path) {
    const QString failure = record_.open(path);
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
