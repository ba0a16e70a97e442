#pragma once
// A module behind a fake driver: the simulator's model serves the any-point
// calls at once, on a clock of the test's own that each transaction moves
// on, so a check's waits and the module's pulses run together without real
// time. The panel's own reads answer as the recording fake does. The line can
// lose replies by a rule the test gives.

#include <QString>
#include <functional>

#include "CheckClock.h"
#include "PointTable.h"
#include "RecordingDriver.h"

class ModuleOnModel : public RecordingDriver {
  public:
    static constexpr qint64 kTransactionNs = 20'000'000;  // about a transaction at 9600 baud
    static constexpr qint64 kTimeoutNs = 500'000'000;

    ModuleOnModel();

  private:
    qint64 now_ = 0;

  public:
    sim::ModuleModel model;
    // Before each transaction, its number from 1 and what it is
    // ("readRegisters 3 1 13", "Get_1X_B16"): true loses the reply (a time-out).
    std::function<bool(int call, const QString& what)> lost;
    int transactions = 0;

    // The clock the check runs on: the module's.
    CheckClock clock();
    qint64 nowNs() const { return now_; }

    DriverResult readBits(std::int32_t port, std::int32_t address, std::int32_t function,
                          std::int32_t first, std::int32_t count, std::uint8_t* bits,
                          std::int32_t responseUs) override;
    DriverResult readRegisters(std::int32_t port, std::int32_t address, std::int32_t function,
                               std::int32_t first, std::int32_t count, std::uint16_t* values,
                               std::int32_t responseUs) override;
    DriverResult writeCoils(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t count, const std::uint8_t* bits,
                            std::int32_t responseUs) override;
    DriverResult writeRegisters(std::int32_t port, std::int32_t address, std::int32_t first,
                                std::int32_t count, const std::uint16_t* values,
                                std::int32_t responseUs) override;
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t port) override;
    // The last exchange alone, its request and reply as address and function.
    int readTraffic(std::int32_t port, std::uint32_t after, Tq7310Traffic* records, int capacity,
                    std::int32_t* lost) override;

  private:
    // One exchange on the line: false when its reply was lost.
    bool exchange(const QString& what, int function);
    // One transaction on `table`, each point served by `serve` (the point's
    // run, its place in the run, its place in the request): false when its
    // reply was lost or the module refused it.
    DriverResult transact(const QString& what, int function, int first, int count,
                          const std::function<bool(const sim::Range&, int at, int i)>& serve);

    Tq7310LinkStatus status_{};
    Tq7310Traffic exchange_{};
};
