#include "ModuleCheck.h"

#include <algorithm>
#include <span>
#include <type_traits>

#include "CheckSession.h"
#include "CheckStep.h"
#include "ConfigValues.h"

namespace mm = module_map;

namespace {

constexpr int kRetryPauseMs = 200;

std::span<const CheckStep> steps() {
    static const CheckStep list[] = {linkStep(),     configurationStep(), outputsStep(),
                                     countersStep(), modeStep(),          inputsStep()};
    static_assert(std::extent_v<decltype(list)> == ModuleCheck::kSteps);
    return list;
}

bool answers(CheckSession& session) {
    std::uint16_t value = 0;
    return session.readHolding(mm::kConfigRegister, value);
}

// Whether output Y(y+1) as found follows its coil, so that it can be put back.
bool coilDriven(const CheckSession& session, int y) {
    // An output in alarm function follows its count, not what was written.
    return y >= mm::kDoFunctions ||
           session.foundConfig[mm::kDoFunctionRegister + 2 * y - mm::kConfigRegister] ==
               mm::kDoCoilDriven;
}

// A value the check never wrote is the module's own doing: left as it is.
bool wrote(const std::vector<std::uint16_t>& written, int value) {
    return std::find(written.begin(), written.end(), value) != written.end();
}

// One pass of writing back what the check changed; true when all of it reads
// back as found (or as the module itself set it since).
bool restoreOnce(CheckSession& session, CheckSession::Config& config, CheckSession::Coils& coils,
                 bool& readBack) {
    readBack = false;
    CheckSession::Coils nowCoils{};
    CheckSession::Config nowConfig{};
    if (!session.readCoils(nowCoils) || !session.readConfig(nowConfig)) {
        return false;
    }
    // The outputs first, while their functions still let the master switch them.
    for (const int y : session.switched()) {
        if (coilDriven(session, y) && nowCoils[y] != session.foundCoils[y]) {
            session.writeCoil(mm::kFirstCoil + y, session.foundCoils[y] != 0);
        }
    }
    for (const auto& [reg, values] : session.written()) {
        const int i = reg - mm::kConfigRegister;
        if (nowConfig[i] != session.foundConfig[i] && wrote(values, nowConfig[i])) {
            session.writeRegister(reg, session.foundConfig[i]);
        }
    }
    if (!session.readConfig(config) || !session.readCoils(coils)) {
        return false;
    }
    readBack = true;
    bool same = true;
    for (const auto& [reg, values] : session.written()) {
        const int i = reg - mm::kConfigRegister;
        same = same && (config[i] == session.foundConfig[i] || !wrote(values, config[i]));
    }
    for (const int y : session.switched()) {
        same = same && (!coilDriven(session, y) || coils[y] == session.foundCoils[y]);
    }
    return same;
}

}  // namespace

int exitStatusOf(const CheckReport& report) {
    if (!report.answered) {
        return 2;
    }
    if (!report.notRestored.isEmpty()) {
        return 3;
    }
    const auto any = [&](Verdict v) {
        return std::any_of(report.steps.begin(), report.steps.end(),
                           [&](const StepResult& s) { return s.verdict == v; });
    };
    if (any(Verdict::Failed) || !report.selfChanged.isEmpty()) {
        return 1;
    }
    return any(Verdict::LinkProblem) || report.stopped ? 2 : 0;
}

ModuleCheck::ModuleCheck(ModuleDriver& driver, const CheckOptions& options, CheckClock clock)
    : session_(std::make_unique<CheckSession>(driver, options, std::move(clock), stop_, onPrompt)) {
}

ModuleCheck::~ModuleCheck() = default;

QStringList ModuleCheck::stepNames() {
    QStringList names;
    for (const CheckStep& step : steps()) {
        names << step.name;
    }
    return names;
}

CheckReport ModuleCheck::run() {
    CheckSession& session = *session_;
    const CheckOptions& options = session.options();
    const CheckClock& clock = session.clock();
    CheckReport report;
    report.answered =
        session.readConfig(session.foundConfig) && session.readCoils(session.foundCoils);
    const QString noAnswer =
        report.answered ? QString() : session.failure(QStringLiteral("读配置与线圈"));
    bool linkLost = false;
    for (const CheckStep& step : steps()) {
        StepResult result;
        result.name = step.name;
        const bool only = options.only.isEmpty() || options.only.contains(step.name);
        const QString leftOut = step.leftOut ? step.leftOut(options) : QString();
        if (!report.answered) {
            result.evidence << noAnswer;
        } else if (!only) {
            result.evidence << QStringLiteral("按 --only 未做");
        } else if (!leftOut.isEmpty()) {
            result.evidence << leftOut;
        } else if (stop_) {
            result.evidence << QStringLiteral("已停止");
        } else if (linkLost) {
            result.evidence << QStringLiteral("连接中断, 未做");
        } else {
            if (onStepStarted) {
                onStepStarted(step.name);
            }
            const qint64 started = clock.nowNs();
            const int failuresBefore = session.lineFailures();
            const int retriesBefore = session.retries();
            result.verdict = step.run(session, result.evidence);
            result.ms = (clock.nowNs() - started) / kNsPerMs;
            if (session.lineFailures() > failuresBefore) {
                result.evidence << QStringLiteral("线路丢失或损坏 %1 次, 重试 %2 次")
                                       .arg(session.lineFailures() - failuresBefore)
                                       .arg(session.retries() - retriesBefore);
            }
            if (stop_) {
                result.verdict = Verdict::Skipped;
                result.evidence << QStringLiteral("已停止");
            } else if (result.verdict == Verdict::LinkProblem && !answers(session)) {
                linkLost = true;
                result.evidence << QStringLiteral("模块不再应答");
            }
        }
        if (onStepDone) {
            onStepDone(result);
        }
        report.steps << result;
    }
    report.stopped = stop_;
    if (report.answered) {
        const qint64 started = clock.nowNs();
        restore(report);
        report.restoreMs = (clock.nowNs() - started) / kNsPerMs;
    }
    report.lineFailures = session.lineFailures();
    report.retries = session.retries();
    return report;
}

void ModuleCheck::restore(CheckReport& report) {
    CheckSession& session = *session_;
    CheckSession::Config config{};
    CheckSession::Coils coils{};
    bool readBack = false;
    const qint64 started = session.clock().nowNs();
    while (!restoreOnce(session, config, coils, readBack) && session.changedAnything()) {
        const qint64 ms = (session.clock().nowNs() - started) / kNsPerMs;
        if (ms >= kRestoreTryMs) {
            break;
        }
        if (onRestoring) {
            onRestoring(ms);
        }
        // Not cut short by a stop: putting back is what a stop asks for.
        session.clock().sleep(kRetryPauseMs);
    }
    for (int i = 0; i < mm::kConfigRegistersShown; ++i) {
        const int reg = mm::kConfigRegister + i;
        PointState point{QStringLiteral("寄存器 %1").arg(reg), session.foundConfig[i],
                         readBack ? std::optional<int>(config[i]) : std::nullopt};
        const auto written = session.written().find(reg);
        const bool ours = written != session.written().end();
        const bool wroteThis = ours && point.left && wrote(written->second, *point.left);
        if (point.left && *point.left != *point.found && !wroteThis) {
            report.selfChanged << QStringLiteral("模块自行改变：%1 原 %2, 现 %3")
                                      .arg(point.name)
                                      .arg(*point.found)
                                      .arg(*point.left);
        } else if (ours && (!point.left || *point.left != *point.found)) {
            point.notRestored = true;
            report.notRestored << QStringLiteral("%1 可能仍为测试值 %2")
                                      .arg(point.name)
                                      .arg(point.left ? *point.left : written->second.back());
        }
        report.points << point;
    }
    for (int y = 0; y < mm::kOutputs; ++y) {
        PointState point{QStringLiteral("线圈 %1 (Y%2)").arg(mm::kFirstCoil + y).arg(y + 1),
                         session.foundCoils[y],
                         readBack ? std::optional<int>(coils[y]) : std::nullopt};
        if (session.switched().count(y) != 0 && coilDriven(session, y) &&
            point.left != point.found) {
            point.notRestored = true;
            report.notRestored << QStringLiteral("Y%1 可能仍%2")
                                      .arg(y + 1)
                                      .arg(session.foundCoils[y] != 0 ? "断开" : "接通");
        }
        report.points << point;
    }
}
