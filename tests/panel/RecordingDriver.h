#pragma once
// A driver that answers at once from scripted data and records every call as
// text, "Get_3X_UnDX(1,1,1,4)", buffers left out.

#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "ModuleDriver.h"

class RecordingDriver : public ModuleDriver {
  public:
    QStringList calls;
    bool available = true;  // false: the library is missing, every call is skipped
    std::optional<std::int32_t> readFailure;  // when set, reads deliver nothing and return it
    std::deque<std::int32_t> writeResults;    // results of the next Set_4X_D1 calls, then 0
    std::int32_t openResult = 0;

    // What the module holds, as the reads deliver it.
    std::int32_t inputBytes[2] = {0, 0};
    std::int32_t coilBytes[2] = {0, 0};
    std::vector<std::int32_t> count16 = std::vector<std::int32_t>(4);
    std::vector<std::int32_t> count32 = std::vector<std::int32_t>(8);
    std::vector<std::int32_t> config = std::vector<std::int32_t>(16);

    // What a probe reports; unset: the library has no probe export, and
    // nothing is recorded.
    std::optional<Tq7310Probe> probeReply;

    // Any point: what each slave holds, by address, table (1 coils .. 4
    // input registers) and point; unlisted points read 0. Writes change it.
    std::map<std::tuple<int, int, int>, std::uint16_t> points;
    std::optional<std::int32_t> pointFailure;     // when set, any-point calls return it
    std::optional<Tq7310LinkStatus> statusReply;  // what linkStatus reports
    std::optional<Tq7310Echo> echoReply;          // what echo reports

    // Runs after each call is recorded: lets a test act in the middle of a tick.
    std::function<void(const QString& operation)> onCall;

    DriverResult OpenPort_Modbus(std::int32_t port, std::int32_t baud,
                                 std::int32_t parity) override;
    void ClosePort_Modbus(std::int32_t port) override;
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
    std::optional<Tq7310Echo> echo(std::int32_t) override { return echoReply; }
    std::optional<Tq7310Probe> probeModule(std::int32_t port, std::int32_t address,
                                           std::int32_t responseUs) override;
    bool libraryLoaded() override { return available; }

    // The calls whose text starts with `prefix`.
    QStringList callsOf(const QString& prefix) const { return calls.filter(prefix); }

  private:
    bool record(const char* operation, std::initializer_list<std::int32_t> args);
    // Records an any-point call: its result.
    DriverResult anyPoints(const char* operation, std::initializer_list<std::int32_t> args,
                           std::int32_t responseUs);
    DriverResult read(const char* operation, std::initializer_list<std::int32_t> args,
                      const std::int32_t* values, std::size_t count, std::int32_t* buffer);
};
