#pragma once
// The production driver: binds the ModbusRTU library by name at the first
// call of any operation, and each operation by its exported name. A library
// or symbol that cannot be found makes that call return nothing, which the
// calling step skips; the next call tries again, so a library put in place
// while the panel runs is picked up.

#include <QHash>
#include <QLibrary>
#include <QStringList>

#include "ModuleDriver.h"

class LibraryDriver final : public ModuleDriver {
  public:
    // Where the library is looked for, in order: beside the executable, in
    // the panel's private library folder of an installation, then the
    // system's library path.
    static QStringList defaultCandidates();

    explicit LibraryDriver(QStringList candidates = defaultCandidates());

    DriverResult OpenPort_Modbus(std::int32_t port, std::int32_t baudCode,
                                 std::int32_t parityCode) override;
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
    std::optional<Tq7310Probe> probeModule(std::int32_t port, std::int32_t address,
                                           std::int32_t responseUs) override;
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t port) override;
    std::optional<Tq7310LinkCounters> linkCounters(std::int32_t port) override;
    std::optional<Tq7310Echo> echo(std::int32_t port) override;
    int readTraffic(std::int32_t port, std::uint32_t after, Tq7310Traffic* records, int capacity,
                    std::int32_t* lost) override;
    bool libraryLoaded() override { return library_.isLoaded(); }

    // The file the library was loaded from; empty while none is bound.
    QString loadedFrom() const;

  private:
    QFunctionPointer symbol(const char* name);

    template <typename Fn, typename... Args>
    DriverResult call(const char* name, Args... args) {
        if (auto fn = reinterpret_cast<Fn*>(symbol(name))) {
            return fn(args...);
        }
        return std::nullopt;
    }

    // The export `within` with the caller's wait last; a library from before
    // it still serves the line's own wait (0) through `plain`.
    template <typename Within, typename Plain, typename... Args>
    DriverResult callWithin(const char* within, const char* plain, std::int32_t responseUs,
                            Args... args) {
        if (auto fn = reinterpret_cast<Within*>(symbol(within))) {
            return fn(args..., responseUs);
        }
        return responseUs == 0 ? call<Plain>(plain, args...) : DriverResult();
    }

    QStringList candidates_;
    QLibrary library_;
    QHash<QByteArray, QFunctionPointer> symbols_;
};
