#pragma once
// The driver operations the window's handlers call, one virtual per exported
// operation of the ModbusRTU library, so handlers can be tested against a
// recording fake. An empty result means the operation could not be called at
// all (library or symbol missing): the calling step is skipped.

#include <cstdint>
#include <optional>

#include "ModbusRTU.h"

using DriverResult = std::optional<std::int32_t>;

class ModuleDriver {
  public:
    virtual ~ModuleDriver() = default;

    virtual DriverResult OpenPort_Modbus(std::int32_t port, std::int32_t baudCode,
                                         std::int32_t parityCode) = 0;
    virtual void ClosePort_Modbus(std::int32_t port) = 0;

    virtual DriverResult Get_1X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                                    std::int32_t* buffer) = 0;
    virtual DriverResult Get_0X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                                    std::int32_t* buffer) = 0;
    virtual DriverResult Get_3X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                                     std::int32_t count, std::int32_t* buffer) = 0;
    virtual DriverResult Get_3X_LUNDX(std::int32_t port, std::int32_t address, std::int32_t first,
                                      std::int32_t count, std::int32_t* buffer) = 0;
    virtual DriverResult Get_4X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                                     std::int32_t count, std::int32_t* buffer) = 0;

    virtual DriverResult Set_0X_Bit1(std::int32_t port, std::int32_t address,
                                     std::int32_t coil) = 0;
    virtual DriverResult Rst_0X_Bit1(std::int32_t port, std::int32_t address,
                                     std::int32_t coil) = 0;
    virtual DriverResult Set_4X_D1(std::int32_t port, std::int32_t address, std::int32_t reg,
                                   std::int32_t value) = 0;

    // Any point of any slave, numbered from 1: reads of coils (1) or discrete
    // inputs (2), one value 0/1 a point, or of holding (3) or input (4)
    // registers; writes of coils (05 for one, 15 for more) or holding
    // registers (06 for one, 16 for more). Each waits `responseUs` for its
    // reply to start (TQ7310_RESPONSE_WAIT_MIN_US .. _MAX_US), or the line's
    // own wait for 0. Empty when the library lacks the export; the defaults
    // are such a library.
    virtual DriverResult readBits(std::int32_t port, std::int32_t address, std::int32_t function,
                                  std::int32_t first, std::int32_t count, std::uint8_t* bits,
                                  std::int32_t responseUs) {
        (void)port, (void)address, (void)function, (void)first, (void)count, (void)bits;
        (void)responseUs;
        return std::nullopt;
    }
    virtual DriverResult readRegisters(std::int32_t port, std::int32_t address,
                                       std::int32_t function, std::int32_t first,
                                       std::int32_t count, std::uint16_t* values,
                                       std::int32_t responseUs) {
        (void)port, (void)address, (void)function, (void)first, (void)count, (void)values;
        (void)responseUs;
        return std::nullopt;
    }
    virtual DriverResult writeCoils(std::int32_t port, std::int32_t address, std::int32_t first,
                                    std::int32_t count, const std::uint8_t* bits,
                                    std::int32_t responseUs) {
        (void)port, (void)address, (void)first, (void)count, (void)bits, (void)responseUs;
        return std::nullopt;
    }
    virtual DriverResult writeRegisters(std::int32_t port, std::int32_t address, std::int32_t first,
                                        std::int32_t count, const std::uint16_t* values,
                                        std::int32_t responseUs) {
        (void)port, (void)address, (void)first, (void)count, (void)values, (void)responseUs;
        return std::nullopt;
    }

    // What happened on the port lately; sends nothing. Empty when the library
    // is missing or has no status export.
    virtual std::optional<Tq7310LinkStatus> linkStatus(std::int32_t port) = 0;

    // The port's failures by kind and its round trips since it was opened;
    // sends nothing. Empty when the library has no such export.
    virtual std::optional<Tq7310LinkCounters> linkCounters(std::int32_t port) {
        (void)port;
        return std::nullopt;
    }

    // Whether the adapter on an open port hands back what it sends, as far as
    // the port has learned; sends nothing. Empty when the library has no such
    // export.
    virtual std::optional<Tq7310Echo> echo(std::int32_t port) {
        (void)port;
        return std::nullopt;
    }

    // Who answers at `address` on an open port, each read waiting at most
    // `responseUs` for its reply to start; only reads. Empty when the library
    // is missing or has no probe export, or refused the arguments.
    virtual std::optional<Tq7310Probe> probeModule(std::int32_t port, std::int32_t address,
                                                   std::int32_t responseUs) {
        (void)port;
        (void)address;
        (void)responseUs;
        return std::nullopt;
    }

    // The port's traffic log entries after `after`, oldest first, into
    // records[0..capacity-1]: how many, or -1 when the library is missing or
    // has no log export. `lost` gets how many the log no longer held.
    virtual int readTraffic(std::int32_t port, std::uint32_t after, Tq7310Traffic* records,
                            int capacity, std::int32_t* lost) {
        (void)port;
        (void)after;
        (void)records;
        (void)capacity;
        (void)lost;
        return -1;
    }

    // Whether the library itself could be loaded, which the operations above
    // try at their first call.
    virtual bool libraryLoaded() = 0;
};
