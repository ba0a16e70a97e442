#pragma once
// Checks a module end to end through the panel's driver interface: the
// panel's reads, the configuration registers, the outputs, the counters'
// clears, frequency mode and (with a person at the bench) the inputs. A
// verdict comes only from evidence that can tell: what the line lost is
// tried again, and a step the line kept from its evidence says so rather
// than blaming the module. What it changes it writes back at the end, also
// after a failure, a lost link or a request to stop.

#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

#include "CheckClock.h"
#include "CheckOptions.h"
#include "CheckReport.h"
#include "ModuleDriver.h"

class CheckSession;

class ModuleCheck {
  public:
    ModuleCheck(ModuleDriver& driver, const CheckOptions& options,
                CheckClock clock = CheckClock::steady());
    ~ModuleCheck();

    // Tells the person at the bench what to do (the inputs step).
    std::function<void(const QString&)> onPrompt;
    // Each step as it starts (its name) and ends.
    std::function<void(const QString&)> onStepStarted;
    std::function<void(const StepResult&)> onStepDone;
    // While putting back what was changed: how long it has been tried.
    std::function<void(qint64 ms)> onRestoring;

    // Safe from a signal handler and another thread: the running step ends
    // at its next call, the rest are skipped, and what was changed goes back.
    void requestStop() { stop_ = true; }

    CheckReport run();

    // 通信, 配置, 输出, 计数, 频率模式, 输入: each reported once, run or skipped.
    static constexpr int kSteps = 6;
    static QStringList stepNames();

    // How long a lost link is tried again before what it left is reported.
    static constexpr int kRestoreTryMs = 10000;
    // Tries of one transaction the line lost or garbled.
    static constexpr int kTries = 3;

  private:
    // Writes back what the steps changed and says what it left.
    void restore(CheckReport& report);

    std::atomic<bool> stop_{false};
    // The line to the module and what the steps changed on it.
    std::unique_ptr<CheckSession> session_;
};
