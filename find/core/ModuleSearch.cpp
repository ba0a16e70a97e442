#include "ModuleSearch.h"

#include <QTimer>
#include <algorithm>

#include "DriverProber.h"
#include "FoundText.h"
#include "ModuleMap.h"
#include "SystemErrorText.h"

namespace finder {

namespace {

// Keys of what is told once per setting and port, beside addresses 1..247.
constexpr int kGarbledKey = -1;
constexpr int kEchoKey = -2;

int settingKey(const LineSetting& s) {
    return s.baudCode * 10 + s.parityCode;
}

// The same answer: what one device gives at every address. Counters,
// frequencies and the counting inputs' pulses move between probes; the
// configuration, the other inputs and the outputs hold.
bool alike(const Answer& a, const Answer& b) {
    const Tq7310Probe& p = a.points;
    const Tq7310Probe& q = b.points;
    const auto steady = [](std::int32_t inputs) { return inputs >> module_map::kCountingInputs; };
    return a.kind == b.kind && a.exceptionCode == b.exceptionCode && p.outcome == q.outcome &&
           p.fits == q.fits && steady(p.inputs) == steady(q.inputs) && p.coils == q.coils &&
           p.echoed == q.echoed &&
           std::equal(std::begin(p.holding_registers), std::end(p.holding_registers),
                      std::begin(q.holding_registers));
}

bool refusal(const Answer& a) {
    return a.points.outcome == TQ7310_EXCEPTION && a.exceptionCode != 0;
}

// A probe's wait and the longest a patient one may wait: a late reply seen
// now can only answer a probe that started within this.
qint64 lateReplyWindowMs(const LineSetting& setting) {
    return (probeWaitUs(setting, kPatientAllowanceUs) + 999) / 1000;
}

}  // namespace

std::int64_t quietAfterReplyUs(const LineSetting& setting) {
    return module_line::frameGapUs(setting.baud()) + kQuietMarginUs;
}

QString openFailureNote(int port, const QString& device, int systemError) {
    const QString why = systemError != 0 ? systemErrorText(systemError) : QStringLiteral("打不开");
    return QStringLiteral("端口%1 %2: %3，跳过").arg(port).arg(device, why);
}

ModuleSearch::ModuleSearch(Prober& prober, QObject* parent) : QObject(parent), prober_(prober) {}

void ModuleSearch::startPort() {
    attemptIndex_ = 0;
    noted_.clear();
    silent_.clear();
    confirm_.clear();
    retry_.reset();
    spoiltAt_.reset();
    lookedBack_ = false;
    runs_.clear();
    previousSilent_ = false;
}

void ModuleSearch::start(const Scope& scope) {
    scope_ = scope;
    portIndex_ = 0;
    openAt_.reset();
    startPort();
    done_ = 0;
    probes_ = 0;
    total_ = 0;
    plans_.clear();
    for (const int port : scope.ports) {
        plans_.push_back(planFor(port));
        total_ += static_cast<int>(plans_.back().attempts.size());
    }
    plan_.clear();
    running_ = true;
    clock_.start();
    if (!plans_.empty()) {
        beginPort();
    }
    schedule();
}

PortPlan ModuleSearch::planFor(int port) {
    PortPlan plan{port, prober_.target(port), {}, module_line::kFirstAddress, scope_.lastAddress,
                  {}};
    const bool remembered = port == scope_.rememberedPort && scope_.rememberedAddress != 0;
    if (!plan.target) {
        return plan;
    }
    if (!plan.target->networked()) {
        plan.settings = scope_.settings;
        plan.attempts = searchOrder(
            scope_.current, scope_.currentAddress, scope_.settings, scope_.lastAddress,
            remembered ? std::optional(Attempt{scope_.remembered, scope_.rememberedAddress})
                       : std::nullopt);
        return plan;
    }
    // The open still takes a setting: a serial server's far line has the
    // window's; a Modbus TCP server has none and ignores it.
    plan.settings = {scope_.current};
    if (plan.byUnit()) {
        plan.firstAddress = scope_.firstUnit;
        plan.lastAddress = scope_.lastUnit;
    }
    plan.attempts =
        oneSettingOrder(scope_.current, scope_.currentAddress, plan.firstAddress, plan.lastAddress,
                        remembered ? std::optional(scope_.rememberedAddress) : std::nullopt);
    return plan;
}

void ModuleSearch::beginPort() {
    const PortPlan& plan = plans_[portIndex_];
    plan_ = plan.attempts;
    if (plan.target) {
        emit searching(plan.port, plan.byUnit(), planText(plan));
    } else {
        emit note(planText(plan));
    }
}

void ModuleSearch::schedule(std::int64_t afterUs) {
    QTimer::singleShot(static_cast<int>((afterUs + 999) / 1000), Qt::PreciseTimer, this, [this] {
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
    endRuns();
    if (openAt_) {
        prober_.close(scope_.ports[portIndex_]);
        openAt_.reset();
    }
    running_ = false;
    emit finished(stopped);
}

void ModuleSearch::endPort() {
    endRuns();
    prober_.close(scope_.ports[portIndex_]);
    openAt_.reset();
    // What this port will not be asked no longer counts, so the bar moves
    // by probes, not by ports.
    total_ -= static_cast<int>(plan_.size() - attemptIndex_ + confirm_.size()) + (retry_ ? 1 : 0);
    ++portIndex_;
    startPort();
    if (portIndex_ < scope_.ports.size()) {
        beginPort();
    }
}

bool ModuleSearch::onceFor(const LineSetting& setting, int key) {
    return noted_.insert({settingKey(setting), key}).second;
}

void ModuleSearch::extendRun(const Found& row) {
    const auto run = runs_.find(settingKey(row.setting));
    if (run != runs_.end() && alike(run->second.row.answer, row.answer)) {
        Run& r = run->second;
        const std::size_t foldAt = refusal(row.answer) ? 2 : kAddressBlindRun;
        r.held.push_back(row);
        if (r.row.lastAddress == 0 && r.held.size() + 1 < foldAt) {
            return;
        }
        r.held.clear();
        r.row.lastAddress = row.address;
        if (!refusal(row.answer)) {
            r.row.kind = Answer::AddressBlind;
        }
        emit grown(r.row);
        return;
    }
    endRun(row.setting);
    runs_[settingKey(row.setting)] = Run{row, {}};
    emit found(row);
}

void ModuleSearch::endRun(const LineSetting& setting) {
    const auto run = runs_.find(settingKey(setting));
    if (run == runs_.end()) {
        return;
    }
    const std::vector<Found> held = std::move(run->second.held);
    runs_.erase(run);
    for (const Found& row : held) {
        emit found(row);
    }
}

void ModuleSearch::endRuns() {
    while (!runs_.empty()) {
        endRun(runs_.begin()->second.row.setting);
    }
}

void ModuleSearch::report(int port, const LineSetting& setting, int address, const Answer& answer) {
    Found row{port, prober_.device(port), setting, address, 0, answer.kind, answer};
    if (const auto& target = plans_[portIndex_].target) {
        row.over = target->kind;
    }
    const bool spoiltBefore = spoiltAt_ == address;
    spoiltAt_.reset();
    switch (answer.kind) {
        case Answer::Module:
        case Answer::MaybeModule:
        case Answer::OtherDevice:
        case Answer::NoDevice:
            extendRun(row);
            return;
        case Answer::Spoilt:
            // Twice at one address: more than one device answers there.
            // Once may be noise: ask again.
            if (spoiltBefore) {
                emit found(row);
            } else {
                spoiltAt_ = address;
                retry_ = address;
                ++total_;
            }
            return;
        case Answer::Garbled:
            if (onceFor(setting, kGarbledKey)) {
                row.address = 0;
                emit found(row);
            }
            return;
        case Answer::Echo:
            if (onceFor(setting, kEchoKey)) {
                row.address = 0;
                emit found(row);
                if (answer.points.echoed != 0) {
                    // The port has learnt the echo and reads past it now.
                    retry_ = address;
                    ++total_;
                }
            }
            return;
        case Answer::OtherAddress:
            // Another device spoke up: say so once, where it said it is.
            if (onceFor(setting, answer.otherAddress)) {
                row.address = answer.otherAddress;
                row.answer.why =
                    answer.otherAddress != 0
                        ? QStringLiteral("问地址 %1 时，校验正确的一帧来自地址 %2")
                              .arg(address)
                              .arg(answer.otherAddress)
                        : QStringLiteral("问地址 %1 时，一帧来自另一个地址").arg(address);
                emit found(row);
            }
            return;
        default:
            return;
    }
}

void ModuleSearch::planned(int port, const Attempt& attempt, const Answer& answer) {
    const qint64 now = clock_.elapsed();
    while (!silent_.empty() && now - silent_.front().atMs > lateReplyWindowMs(attempt.setting)) {
        silent_.pop_front();
    }
    // A late reply shows as bytes waiting before this probe or as a frame
    // from another address; bytes without a frame may be the tail of the
    // previous address's reply.
    const bool late = answer.strayBytes > 0 || answer.kind == Answer::OtherAddress;
    const bool garbled = answer.kind == Answer::Garbled && previousSilent_;
    previousSilent_ = answer.kind == Answer::Silent;
    if ((late || garbled) && !silent_.empty()) {
        const auto named = std::find_if(silent_.begin(), silent_.end(), [&](const Silence& s) {
            return s.address == answer.otherAddress;
        });
        if (named != silent_.end()) {
            confirm_.push_back(named->address);
        } else if (late) {
            // Not known whose: the latest first, until one answers.
            for (auto it = silent_.rbegin(); it != silent_.rend(); ++it) {
                confirm_.push_back(it->address);
            }
        } else {
            confirm_.push_back(silent_.back().address);
        }
        silent_.clear();
        total_ += static_cast<int>(confirm_.size());
        if (answer.kind == Answer::Garbled || answer.kind == Answer::OtherAddress) {
            // Its own reply may have been lost under the late one.
            retry_ = attempt.address;
            ++total_;
            return;
        }
    }
    if (answer.kind == Answer::Silent) {
        silent_.push_back({attempt.address, now});
        return;
    }
    if (answer.partly()) {
        endRun(attempt.setting);
        confirm_.push_back(attempt.address);
        ++total_;
        return;
    }
    report(port, attempt.setting, attempt.address, answer);
}

bool ModuleSearch::lookBackDue() const {
    if (!openAt_ || lookedBack_ || !previousSilent_ || silent_.empty()) {
        return false;
    }
    return attemptIndex_ >= plan_.size() || !(plan_[attemptIndex_].setting == *openAt_);
}

void ModuleSearch::step() {
    if (portIndex_ >= scope_.ports.size()) {
        finish(false);
        return;
    }
    if (attemptIndex_ >= plan_.size() && confirm_.empty() && !retry_ && !lookBackDue()) {
        endPort();
        schedule();
        return;
    }
    const int port = scope_.ports[portIndex_];
    // Confirmations, the retry and the look back stay at the setting the
    // sign of life came at.
    const bool confirming = !confirm_.empty();
    const bool retrying = !confirming && retry_.has_value();
    const bool lookingBack = !confirming && !retrying && lookBackDue();
    Attempt attempt;
    if (confirming || retrying) {
        attempt = {*openAt_, confirming ? confirm_.front() : *retry_};
    } else if (lookingBack) {
        attempt = {*openAt_, silent_.back().address};
        lookedBack_ = true;
        ++total_;
    } else {
        attempt = plan_[attemptIndex_];
    }
    if (!openAt_ || !(*openAt_ == attempt.setting)) {
        silent_.clear();
        previousSilent_ = false;
        lookedBack_ = false;
        spoiltAt_.reset();
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
    const Answer answer = prober_.probe(port, attempt.address, attempt.setting,
                                        confirming || lookingBack ? Wait::Patient : Wait::Fast);
    if (answer.kind != Answer::Module && answer.kind != Answer::MaybeModule &&
        answer.kind != Answer::OtherDevice && answer.kind != Answer::NoDevice) {
        endRun(attempt.setting);
    }
    ++probes_;
    ++done_;
    if (answer.kind == Answer::CannotProbe) {
        emit note(QStringLiteral("端口%1 %2: 驱动库 ModbusRTU 不能查找 (没有 "
                                 "TQ7310_ProbeModule，或它拒绝了请求)，查找到此为止")
                      .arg(port)
                      .arg(prober_.device(port)));
        finish(false);
        return;
    }
    if (answer.kind == Answer::PortGone) {
        emit note(QStringLiteral("端口%1 %2: 设备不见了 (%3)，该端口的查找到此为止")
                      .arg(port)
                      .arg(prober_.device(port), answer.systemError != 0
                                                     ? systemErrorText(answer.systemError)
                                                     : QStringLiteral("无法再用")));
        if (!confirming && !retrying) {
            ++attemptIndex_;
        }
        endPort();
        emit progress(done_, total_, 0);
        schedule();
        return;
    }
    if (confirming) {
        confirm_.pop_front();
        if (answer.kind != Answer::Silent) {
            report(port, attempt.setting, attempt.address, answer);
            // Found whose the late reply was: the others stay silent.
            total_ -= static_cast<int>(confirm_.size());
            confirm_.clear();
        }
    } else if (retrying) {
        retry_.reset();
        previousSilent_ = answer.kind == Answer::Silent;
        if (answer.kind == Answer::Silent) {
            silent_.push_back({attempt.address, clock_.elapsed()});
        } else {
            report(port, attempt.setting, attempt.address, answer);
        }
    } else {
        planned(port, attempt, answer);
        attemptIndex_ += lookingBack ? 0 : 1;
    }
    const qint64 msLeft = clock_.elapsed() * (total_ - done_) / std::max(1, probes_);
    emit progress(done_, total_, msLeft);
    // A Modbus TCP server owes no quiet: its connection carries no line.
    const bool quietOwed =
        !plans_[portIndex_].byUnit() && (answer.lineSpoke() || answer.strayBytes > 0);
    schedule(quietOwed ? quietAfterReplyUs(attempt.setting) : 0);
}

}  // namespace finder
