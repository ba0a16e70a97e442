#include "trend/Feed.h"

#include <QDir>

namespace trend {

Feed::Feed(const LinkParamTable& linkParam, StatusPoll& statusPoll, CounterPoll& counterPoll,
           Clock clock)
    : linkParam_(linkParam),
      statusPoll_(statusPoll),
      counterPoll_(counterPoll),
      clock_(std::move(clock)) {
    statusPoll_.onShown = [this](const StatusReads& reads) { onStates(reads); };
    counterPoll_.onShown = [this](const CounterReads& reads) { onCounters(reads); };
}

Feed::~Feed() {
    // The polls may outlive the feed; a tick after it must find no one to tell.
    statusPoll_.onShown = nullptr;
    counterPoll_.onShown = nullptr;
}

void Feed::onStates(const StatusReads& reads) {
    latestStates_ = takeStates(statusPoll_, reads, clock_().toMSecsSinceEpoch());
    history_.add(latestStates_);
    emit statusTick();
}

void Feed::onCounters(const CounterReads& reads) {
    using namespace link_param;
    const Sample sample = takeSample(counterPoll_, reads, clock_(), linkParam_[kPort],
                                     linkParam_[kAddress], latestStates_);
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
