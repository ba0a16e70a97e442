#pragma once
// What the engine and its steps share while checking one module: the line to
// it, on which what was lost is tried again; the module as found; and what
// the check changed since, recorded so that the engine can put it back.

#include <QStringList>
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

constexpr qint64 kNsPerMs = 1'000'000;
constexpr double kNsPerSecond = 1e9;
constexpr int kInputPollMs = 200;
// Long enough for a few pulses of the slowest input a bench drives.
constexpr int kRateWindowMs = 1500;

// Count i is X(i % 4 + 1)'s, 16-bit for i < 4. A count that steps below 0
// (up/down mode) wraps at its width: read signed, it is a small negative.
constexpr int kCounts = 2 * module_map::kCountingInputs;
bool is16(int i);
std::int64_t signedCount(int i, std::uint32_t v);
std::int64_t moved(int i, std::uint32_t from, std::uint32_t to);
QString countName(int i);
QString msText(qint64 ns);

// X1..X4's 16-bit counts then their 32-bit counts, each block with when its
// request went out and its answer came: the module took its values in
// between, and a read tried again comes later than the other block.
struct Counts {
    std::array<std::uint32_t, kCounts> value{};
    std::array<qint64, 2> sent{};
    std::array<qint64, 2> answered{};
};
// The most and the least time that may have passed at the module between its
// values of count i in `before` and in `after`.
qint64 longest(const Counts& before, const Counts& after, int i);
qint64 shortest(const Counts& before, const Counts& after, int i);

class CheckSession {
  public:
    using Config = std::array<std::uint16_t, module_map::kConfigRegistersShown>;
    using Coils = std::array<std::uint8_t, module_map::kCoilsRead>;

    // `stop` and `prompt` are the owner's, read as they are at each use.
    CheckSession(ModuleDriver& driver, const CheckOptions& options, CheckClock clock,
                 const std::atomic<bool>& stop, const std::function<void(const QString&)>& prompt);

    const CheckOptions& options() const { return options_; }
    const CheckClock& clock() const { return clock_; }
    bool stopped() const { return stop_; }
    // Tells the person at the bench what to do.
    void ask(const QString& what) const;

    // One transaction; one the line lost or garbled is tried again, after a
    // read of a shape no request still owed has, whose answer strikes those
    // off. False when it failed: then onLine() tells whether the line did.
    bool transact(const std::function<DriverResult()>& call);
    bool onLine() const { return lastOnLine_; }
    int lineFailures() const { return lineFailures_; }
    int retries() const { return retries_; }
    // What the step makes of evidence it could not gather.
    Verdict missing(const QString& what, QStringList& evidence);
    // Why the last call failed: the driver's words and the bytes on the line.
    QString failure(const QString& call);

    bool readConfig(Config& config);
    bool readCoils(Coils& coils);
    bool readHolding(int reg, std::uint16_t& value);
    bool readInputRegisters(int first, int count, std::uint16_t* values);
    bool readDigitalInput(int di, std::uint8_t& bit);
    bool readCounts(Counts& counts);
    // The same reads for a step: Passed, or what missing() makes of the read.
    Verdict readConfig(Config& config, QStringList& evidence);
    Verdict readHolding(int reg, std::uint16_t& value, QStringList& evidence);
    bool writeRegister(int reg, std::uint16_t value);
    bool writeCoil(int coil, bool on);
    // Writes `value` and reads it back: Passed, Failed (read back other), or
    // what missing() makes of a write or read that did not happen.
    Verdict writeAndReadBack(int reg, std::uint16_t value, QStringList& evidence);

    // The driver itself, for the calls the panel makes as it makes them.
    ModuleDriver& driver() { return driver_; }
    // Waits `ms`, or less when asked to stop.
    void pause(int ms);

    // What the module held before the check changed anything.
    Config foundConfig{};
    Coils foundCoils{};
    // What the check wrote into each register, last value last; the outputs it switched.
    const std::map<int, std::vector<std::uint16_t>>& written() const { return written_; }
    const std::set<int>& switched() const { return switched_; }
    bool changedAnything() const { return !written_.empty() || !switched_.empty(); }

  private:
    void resync();
    // `function`: the Modbus function that reads them.
    bool readRegisters(int function, int first, int count, std::uint16_t* values);
    bool readBits(int function, int first, int count, std::uint8_t* bits);

    ModuleDriver& driver_;
    CheckOptions options_;
    CheckClock clock_;
    const std::atomic<bool>& stop_;
    const std::function<void(const QString&)>& prompt_;
    bool lastOnLine_ = false;
    int lineFailures_ = 0;
    int retries_ = 0;
    int resyncs_ = 0;
    std::map<int, std::vector<std::uint16_t>> written_;
    std::set<int> switched_;
};
