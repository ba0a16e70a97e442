#pragma once
// Checks a module end to end through the panel's driver interface: the
// panel's reads, the configuration registers, the outputs, the counters'
// clears, frequency mode and (with a person at the bench) the inputs. A
// verdict comes only from evidence that can tell: what the line lost is
// tried again, and a step the line kept from its evidence says so rather
// than blaming the module. What it changes it writes back at the end, also
// after a failure, a lost link or a request to stop.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "CheckClock.h"
#include "CheckOptions.h"
#include "CheckReport.h"
#include "ModuleDriver.h"
#include "ModuleMap.h"

class ModuleCheck {
  public:
    ModuleCheck(ModuleDriver& driver, const CheckOptions& options,
                CheckClock clock = CheckClock::steady());

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
    using Config = std::array<std::uint16_t, module_map::kConfigRegistersShown>;
    using Coils = std::array<std::uint8_t, module_map::kCoilsRead>;
    static constexpr int kCounts = 2 * module_map::kCountingInputs;
    // X1..X4's 16-bit counts then their 32-bit counts, each block with when
    // its request went out and its answer came: the module took its values
    // in between, and a read tried again comes later than the other block.
    struct Counts {
        std::array<std::uint32_t, kCounts> value{};
        std::array<qint64, 2> sent{};
        std::array<qint64, 2> answered{};
    };
    // The most and the least time that may have passed at the module between
    // its values of count i in `before` and in `after`.
    static qint64 longest(const Counts& before, const Counts& after, int i);
    static qint64 shortest(const Counts& before, const Counts& after, int i);

    Verdict link(QStringList& evidence);
    Verdict configuration(QStringList& evidence);
    Verdict outputs(QStringList& evidence);
    Verdict counters(QStringList& evidence);
    Verdict mode(QStringList& evidence);
    Verdict inputs(QStringList& evidence);

    // One transaction; one the line lost or garbled is tried again, after a
    // read of a shape no request still owed has, whose answer strikes those
    // off. False when it failed: lastOnLine_ tells whether the line did.
    bool transact(const std::function<DriverResult()>& call);
    void resync();
    // What the step makes of evidence it could not gather.
    Verdict missing(const QString& what, QStringList& evidence);

    bool readConfig(Config& config);
    bool readCoils(Coils& coils);
    bool readHolding(int reg, std::uint16_t& value);
    bool readInputRegisters(int first, int count, std::uint16_t* values);
    bool readCounts(Counts& counts);
    bool writeRegister(int reg, std::uint16_t value);
    bool writeCoil(int coil, bool on);
    // Writes `value` and reads it back: Passed, Failed (read back other), or
    // what missing() makes of a write or read that did not happen.
    Verdict writeAndReadBack(int reg, std::uint16_t value, QStringList& evidence);

    // Counting: the pulses per ns each count moved by, measured on itself.
    bool measureRates(QStringList& evidence);
    std::int64_t allowance(int count, qint64 ns) const;
    // Waits until each moving count is far enough from 0 for a clear to
    // show, or a while; false when a read failed.
    bool waitForRise(Counts& counts, qint64 clearNs);
    // Judges a clear of the counts in `targets` between `before` and `after`.
    void judgeClear(const QString& act, std::uint32_t targets, const Counts& before,
                    const Counts& after, QStringList& evidence, bool& failed, int& judged) const;

    // Why the last call failed: the driver's words and the bytes on the line.
    QString failure(const QString& call);
    bool answers();
    // One pass of writing back what the check changed; true when all of it
    // reads back as found (or as the module itself set it since).
    bool restoreOnce(Config& config, Coils& coils, bool& readBack);
    void restore(CheckReport& report);
    bool changedAnything() const { return !written_.empty() || !switched_.empty(); }
    // Whether output Y(y+1) as found follows its coil, so that it can be put back.
    bool coilDriven(int y) const;
    // Waits `ms`, or less when asked to stop.
    void pause(int ms);

    ModuleDriver& driver_;
    CheckOptions options_;
    CheckClock clock_;
    std::atomic<bool> stop_{false};
    bool linkLost_ = false;
    bool lastOnLine_ = false;
    int lineFailures_ = 0;
    int retries_ = 0;
    int resyncs_ = 0;
    Config foundConfig_{};
    Coils foundCoils_{};
    std::array<double, kCounts> rate_{};
    // What the check wrote into each register, last value last; the outputs it switched.
    std::map<int, std::vector<std::uint16_t>> written_;
    std::set<int> switched_;
};
