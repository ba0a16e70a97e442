#include "ModuleSearch.h"

#include <QTimer>
#include <algorithm>

#include "SystemErrorText.h"

namespace finder {

QString openFailureNote(int port, const QString& device, int systemError) {
    const QString why = systemError != 0 ? systemErrorText(systemError) : QStringLiteral("打不开");
    return QStringLiteral("端口%1 %2: %3，跳过").arg(port).arg(device, why);
}

ModuleSearch::ModuleSearch(Prober& prober, QObject* parent) : QObject(parent), prober_(prober) {}

void ModuleSearch::start(const Scope& scope) {
    scope_ = scope;
    plan_ = searchOrder(scope.current, scope.currentAddress, scope.settings, scope.lastAddress);
    portIndex_ = 0;
    attemptIndex_ = 0;
    openAt_.reset();
    garbledNoted_.clear();
    done_ = 0;
    probes_ = 0;
    total_ = static_cast<int>(plan_.size() * scope.ports.size());
    running_ = true;
    clock_.start();
    schedule();
}

void ModuleSearch::schedule() {
    QTimer::singleShot(0, this, [this] {
        if (running_) {
            step();
        }
    });
}

void ModuleSearch::stop() {
    if (running_) {
        finish(true);
    }
}

void ModuleSearch::finish(bool stopped) {
    if (openAt_) {
        prober_.close(scope_.ports[portIndex_]);
        openAt_.reset();
    }
    running_ = false;
    emit finished(stopped);
}

void ModuleSearch::endPort() {
    prober_.close(scope_.ports[portIndex_]);
    openAt_.reset();
    done_ += static_cast<int>(plan_.size() - attemptIndex_);
    ++portIndex_;
    attemptIndex_ = 0;
    garbledNoted_.clear();
}

void ModuleSearch::step() {
    if (portIndex_ >= scope_.ports.size() || plan_.empty()) {
        finish(false);
        return;
    }
    const int port = scope_.ports[portIndex_];
    const Attempt attempt = plan_[attemptIndex_];
    if (!openAt_ || !(*openAt_ == attempt.setting)) {
        const OpenResult opened = prober_.open(port, attempt.setting);
        if (!opened.ok) {
            emit note(openFailureNote(port, prober_.device(port), opened.systemError));
            endPort();
            emit progress(done_, total_, 0);
            schedule();
            return;
        }
        openAt_ = attempt.setting;
    }
    emit trying(port, attempt.setting, attempt.address);
    const Answer answer = prober_.probe(port, attempt.address, attempt.setting);
    ++probes_;
    switch (answer.kind) {
        case Answer::Module:
        case Answer::OtherDevice:
            emit found({port, prober_.device(port), attempt.setting, attempt.address, answer.kind,
                        answer});
            break;
        case Answer::Garbled:
            if (std::find(garbledNoted_.begin(), garbledNoted_.end(), attempt.setting) ==
                garbledNoted_.end()) {
                garbledNoted_.push_back(attempt.setting);
                emit found(
                    {port, prober_.device(port), attempt.setting, 0, Answer::Garbled, answer});
            }
            break;
        case Answer::PortGone:
            emit note(QStringLiteral("端口%1 %2: 设备不见了 (%3)，该端口的查找到此为止")
                          .arg(port)
                          .arg(prober_.device(port), answer.systemError != 0
                                                         ? systemErrorText(answer.systemError)
                                                         : QStringLiteral("无法再用")));
            endPort();
            emit progress(done_, total_, 0);
            schedule();
            return;
        case Answer::Silent:
            break;
    }
    ++done_;
    if (++attemptIndex_ >= plan_.size()) {
        endPort();
    }
    const qint64 msLeft = clock_.elapsed() * (total_ - done_) / std::max(1, probes_);
    emit progress(done_, total_, msLeft);
    schedule();
}

}  // namespace finder
