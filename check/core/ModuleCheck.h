#pragma once
// Checks a module end to end through the panel's driver interface: the
// panel's reads, the configuration registers, the outputs, the counters'
// clears, frequency mode and (with a person at the bench) the inputs. What
// it changes it writes back at the end, also after a failure, a lost link or
// a request to stop.

#include <QElapsedTimer>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "CheckOptions.h"
#include "CheckReport.h"
#include "ModuleDriver.h"
#include "ModuleMap.h"

class ModuleCheck {
  public:
    ModuleCheck(ModuleDriver& driver, const CheckOptions& options);

    // Tells the person at the bench what to do (the inputs step).
    std::function<void(const QString&)> onPrompt;
    // Each step as it starts (its name) and ends.
    std::function<void(const QString&)> onStepStarted;
    std::function<void(const StepResult&)> onStepDone;

    // Safe from a signal handler and another thread: the running step ends
    // at its next call, the rest are skipped, and what was changed goes back.
    void requestStop() { stop_ = true; }

    CheckReport run();

    // 通信, 配置, 输出, 计数, 频率模式, 输入: each reported once, run or skipped.
    static constexpr int kSteps = 6;

    // How long a lost link is tried again before what it left is reported.
    static constexpr int kRestoreTryMs = 10000;

  private:
    using Config = std::array<std::uint16_t, module_map::kConfigRegistersShown>;
    using Coils = std::array<std::uint8_t, module_map::kCoilsRead>;

    Verdict link(QStringList& evidence);
    Verdict configuration(QStringList& evidence);
    Verdict outputs(QStringList& evidence);
    Verdict counters(QStringList& evidence);
    Verdict mode(QStringList& evidence);
    Verdict inputs(QStringList& evidence);

    bool readConfig(Config& config);
    bool readCoils(Coils& coils);
    bool readHolding(int reg, std::uint16_t& value);
    bool readInputRegisters(int first, int count, std::uint16_t* values);
    bool writeRegister(int reg, std::uint16_t value);
    bool writeCoil(int coil, bool on);
    // Writes `value` and reads it back; says what came back when it differs.
    bool writeAndReadBack(int reg, std::uint16_t value, QStringList& evidence);
    // The counts of X1..X4: 16-bit then 32-bit.
    bool readCounts(std::array<std::uint32_t, 8>& counts);
    // Why the last call failed: the driver's words and the bytes on the line.
    QString failure(const QString& call);
    bool answers();
    // One pass of writing back what differs from what was found; true when
    // everything reads back as found.
    bool restoreOnce(Config& config, Coils& coils, bool& readBack);
    void restore(CheckReport& report);
    // Whether output Y(y+1) as found follows its coil, so that it can be put back.
    bool coilDriven(int y) const;
    // Waits `ms`, or less when asked to stop.
    void pause(int ms);

    ModuleDriver& driver_;
    CheckOptions options_;
    std::atomic<bool> stop_{false};
    bool linkLost_ = false;
    Config foundConfig_{};
    Coils foundCoils_{};
};
