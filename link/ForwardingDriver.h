#pragma once
// A driver that hands every operation to another one, as a decorator: a
// class that adds something to the calls (watching them, counting them,
// timing them) derives from it and overrides `around`, or the one operation
// it adds to, and inherits the plain forwarding of everything else.

#include <functional>

#include "ModuleDriver.h"

class ForwardingDriver : public ModuleDriver {
  public:
    explicit ForwardingDriver(ModuleDriver& inner) : inner_(inner) {}

    DriverResult OpenPort_Modbus(std::int32_t port, std::int32_t baudCode,
                                 std::int32_t parityCode) override {
        return around({Operation::Open, port},
                      [&] { return inner_.OpenPort_Modbus(port, baudCode, parityCode); });
    }
    void ClosePort_Modbus(std::int32_t port) override {
        around({Operation::Close, port}, [&] {
            inner_.ClosePort_Modbus(port);
            return DriverResult();
        });
    }
    DriverResult Get_1X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t* buffer) override {
        return around({Operation::Read, port},
                      [&] { return inner_.Get_1X_B16(port, address, first, buffer); });
    }
    DriverResult Get_0X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t* buffer) override {
        return around({Operation::Read, port},
                      [&] { return inner_.Get_0X_B16(port, address, first, buffer); });
    }
    DriverResult Get_3X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                             std::int32_t count, std::int32_t* buffer) override {
        return around({Operation::Read, port},
                      [&] { return inner_.Get_3X_UnDX(port, address, first, count, buffer); });
    }
    DriverResult Get_3X_LUNDX(std::int32_t port, std::int32_t address, std::int32_t first,
                              std::int32_t count, std::int32_t* buffer) override {
        return around({Operation::Read, port},
                      [&] { return inner_.Get_3X_LUNDX(port, address, first, count, buffer); });
    }
    DriverResult Get_4X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                             std::int32_t count, std::int32_t* buffer) override {
        return around({Operation::Read, port},
                      [&] { return inner_.Get_4X_UnDX(port, address, first, count, buffer); });
    }
    DriverResult Set_0X_Bit1(std::int32_t port, std::int32_t address, std::int32_t coil) override {
        return around({Operation::Write, port},
                      [&] { return inner_.Set_0X_Bit1(port, address, coil); });
    }
    DriverResult Rst_0X_Bit1(std::int32_t port, std::int32_t address, std::int32_t coil) override {
        return around({Operation::Write, port},
                      [&] { return inner_.Rst_0X_Bit1(port, address, coil); });
    }
    DriverResult Set_4X_D1(std::int32_t port, std::int32_t address, std::int32_t reg,
                           std::int32_t value) override {
        return around({Operation::Write, port},
                      [&] { return inner_.Set_4X_D1(port, address, reg, value); });
    }
    DriverResult readBits(std::int32_t port, std::int32_t address, std::int32_t function,
                          std::int32_t first, std::int32_t count, std::uint8_t* bits,
                          std::int32_t responseUs) override {
        return around({Operation::Read, port, true}, [&] {
            return inner_.readBits(port, address, function, first, count, bits, responseUs);
        });
    }
    DriverResult readRegisters(std::int32_t port, std::int32_t address, std::int32_t function,
                               std::int32_t first, std::int32_t count, std::uint16_t* values,
                               std::int32_t responseUs) override {
        return around({Operation::Read, port, true}, [&] {
            return inner_.readRegisters(port, address, function, first, count, values, responseUs);
        });
    }
    DriverResult writeCoils(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t count, const std::uint8_t* bits,
                            std::int32_t responseUs) override {
        return around({Operation::Write, port, true}, [&] {
            return inner_.writeCoils(port, address, first, count, bits, responseUs);
        });
    }
    DriverResult writeRegisters(std::int32_t port, std::int32_t address, std::int32_t first,
                                std::int32_t count, const std::uint16_t* values,
                                std::int32_t responseUs) override {
        return around({Operation::Write, port, true}, [&] {
            return inner_.writeRegisters(port, address, first, count, values, responseUs);
        });
    }
    std::optional<Tq7310Probe> probeModule(std::int32_t port, std::int32_t address,
                                           std::int32_t responseUs) override {
        std::optional<Tq7310Probe> probe;
        around({Operation::Read, port}, [&] {
            probe = inner_.probeModule(port, address, responseUs);
            return probe ? DriverResult(probe->outcome) : DriverResult();
        });
        return probe;
    }
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t port) override {
        return inner_.linkStatus(port);
    }
    std::optional<Tq7310LinkCounters> linkCounters(std::int32_t port) override {
        return inner_.linkCounters(port);
    }
    std::optional<Tq7310Echo> echo(std::int32_t port) override { return inner_.echo(port); }
    int readTraffic(std::int32_t port, std::uint32_t after, Tq7310Traffic* records, int capacity,
                    std::int32_t* lost) override {
        return inner_.readTraffic(port, after, records, capacity, lost);
    }
    bool libraryLoaded() override { return inner_.libraryLoaded(); }

  protected:
    enum class Operation { Open, Close, Read, Write };
    struct Call {
        Operation operation;
        std::int32_t port;
        bool anyPoint = false;  // a point of any slave, not the module's own
    };

    // Every operation but the status passes through here; `forward` makes the
    // call on the inner driver and gives its result (nothing for a close).
    virtual DriverResult around(const Call& call, const std::function<DriverResult()>& forward) {
        (void)call;
        return forward();
    }

  private:
    ModuleDriver& inner_;
};
