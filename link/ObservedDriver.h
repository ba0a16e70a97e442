#pragma once
// Forwards every operation to another driver and, after each, tells an
// observer which port it used. The status line hangs on it, so it follows
// every poll and command without a transaction of its own.

#include <functional>

#include "link/ModuleDriver.h"

class ObservedDriver final : public ModuleDriver {
public:
    using Observer = std::function<void(std::int32_t port)>;

    explicit ObservedDriver(ModuleDriver& inner) : inner_(inner) {}
    void setObserver(Observer observer) { observer_ = std::move(observer); }

    DriverResult OpenPort_Modbus(std::int32_t port, std::int32_t baudCode,
                                 std::int32_t parityCode) override {
        return observed(port, inner_.OpenPort_Modbus(port, baudCode, parityCode));
    }
    void ClosePort_Modbus(std::int32_t port) override {
        inner_.ClosePort_Modbus(port);
        notify(port);
    }
    DriverResult Get_1X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t* buffer) override {
        return observed(port, inner_.Get_1X_B16(port, address, first, buffer));
    }
    DriverResult Get_0X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t* buffer) override {
        return observed(port, inner_.Get_0X_B16(port, address, first, buffer));
    }
    DriverResult Get_3X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                             std::int32_t count, std::int32_t* buffer) override {
        return observed(port, inner_.Get_3X_UnDX(port, address, first, count, buffer));
    }
    DriverResult Get_3X_LUNDX(std::int32_t port, std::int32_t address, std::int32_t first,
                              std::int32_t count, std::int32_t* buffer) override {
        return observed(port, inner_.Get_3X_LUNDX(port, address, first, count, buffer));
    }
    DriverResult Get_4X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                             std::int32_t count, std::int32_t* buffer) override {
        return observed(port, inner_.Get_4X_UnDX(port, address, first, count, buffer));
    }
    DriverResult Set_0X_Bit1(std::int32_t port, std::int32_t address, std::int32_t coil) override {
        return observed(port, inner_.Set_0X_Bit1(port, address, coil));
    }
    DriverResult Rst_0X_Bit1(std::int32_t port, std::int32_t address, std::int32_t coil) override {
        return observed(port, inner_.Rst_0X_Bit1(port, address, coil));
    }
    DriverResult Set_4X_D1(std::int32_t port, std::int32_t address, std::int32_t reg,
                           std::int32_t value) override {
        return observed(port, inner_.Set_4X_D1(port, address, reg, value));
    }
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t port) override {
        return inner_.linkStatus(port);
    }

private:
    DriverResult observed(std::int32_t port, DriverResult result) {
        notify(port);
        return result;
    }
    void notify(std::int32_t port) {
        if (observer_) {
            observer_(port);
        }
    }

    ModuleDriver& inner_;
    Observer observer_;
};
