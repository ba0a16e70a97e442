#pragma once
// A module behind a fake driver: the simulator's model serves every call at
// once, on a clock of the test's own that each transaction moves on, so a
// check's waits and the module's pulses run together without real time.
// The line can lose replies by a rule the test gives.

#include <QString>
#include <functional>

#include "CheckClock.h"
#include "ModuleDriver.h"
#include "PointTable.h"

class ModuleOnModel : public ModuleDriver {
  public:
    static constexpr qint64 kTransactionNs = 20'000'000;  // about a transaction at 9600 baud
    static constexpr qint64 kTimeoutNs = 500'000'000;

    ModuleOnModel();

  private:
    qint64 now_ = 0;

  public:
    sim::ModuleModel model;
    // Before each transaction, its number from 1 and what it is
    // ("readRegisters 3 1 13"): true loses the reply (a time-out).
    std::function<bool(int call, const QString& what)> lost;
    int transactions = 0;

    // The clock the check runs on: the module's.
    CheckClock clock();
    qint64 nowNs() const { return now_; }

    DriverResult OpenPort_Modbus(std::int32_t, std::int32_t, std::int32_t) override { return 0; }
    void ClosePort_Modbus(std::int32_t) override {}
    DriverResult Get_1X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t* buffer) override;
    DriverResult Get_0X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t* buffer) override;
    DriverResult Get_3X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                             std::int32_t count, std::int32_t* buffer) override;
    DriverResult Get_3X_LUNDX(std::int32_t port, std::int32_t address, std::int32_t first,
                              std::int32_t count, std::int32_t* buffer) override;
    DriverResult Get_4X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                             std::int32_t count, std::int32_t* buffer) override;
    DriverResult Set_0X_Bit1(std::int32_t port, std::int32_t address, std::int32_t coil) override;
    DriverResult Rst_0X_Bit1(std::int32_t port, std::int32_t address, std::int32_t coil) override;
    DriverResult Set_4X_D1(std::int32_t port, std::int32_t address, std::int32_t reg,
                           std::int32_t value) override;
    DriverResult readBits(std::int32_t port, std::int32_t address, std::int32_t function,
                          std::int32_t first, std::int32_t count, std::uint8_t* bits) override;
    DriverResult readRegisters(std::int32_t port, std::int32_t address, std::int32_t function,
                               std::int32_t first, std::int32_t count,
                               std::uint16_t* values) override;
    DriverResult writeCoils(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t count, const std::uint8_t* bits) override;
    DriverResult writeRegisters(std::int32_t port, std::int32_t address, std::int32_t first,
                                std::int32_t count, const std::uint16_t* values) override;
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t port) override;
    // The last exchange alone, its request and reply as address and function.
    int readTraffic(std::int32_t port, std::uint32_t after, Tq7310Traffic* records, int capacity,
                    std::int32_t* lost) override;
    bool libraryLoaded() override { return true; }

  private:
    // One transaction on `table`: false when its reply was lost or the
    // module refused it; `serve` reads or writes point `at` of its run.
    bool transact(const QString& what, sim::Table table, int first, int count,
                  const std::function<bool(const sim::Range&, int at, int i)>& serve);
    DriverResult wide(std::int32_t address, std::int32_t first, std::int32_t count,
                      std::int32_t* buffer, bool pairs);
    DriverResult bits16(std::int32_t address, std::int32_t function, std::int32_t first,
                        std::int32_t* buffer);

    Tq7310LinkStatus status_{};
    Tq7310Traffic exchange_{};
};
