#pragma once
// What the panel benchmarks share: percentiles, the real window on the real
// driver library, driven through the tests' WindowDriver, and the simulator
// as a separate process, so that its CPU time never counts as the panel's.

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "LibraryDriver.h"
#include "SimProcess.h"
#include "WindowDriver.h"
#include "ssqx.h"

namespace bench {

inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

struct Summary {
    double medianUs;
    double p99Us;
};

// Runs `once(i)` for i in 0..runs-1 and gives the median and p99 of its time.
inline Summary timeEach(int runs, const std::function<void(int)>& once) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        once(i);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return {percentile(us, 0.5), percentile(us, 0.99)};
}

// The benchmarks draw into memory like the headless tests, unless told otherwise.
inline void headlessUnlessTold() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

// Starts the simulator and points the window's port 1 at its device.
inline bool startSimulator(SimProcess& sim, const QStringList& args) {
    if (!sim.start(args)) {
        std::fprintf(stderr, "tq7310-sim did not start: %s\n", qPrintable(sim.transcript()));
        return false;
    }
    qputenv("TQ7310_COM1", sim.device().toLocal8Bit());
    return true;
}

// The real window on the real driver library, its port 1 on a simulator.
// Members go in reverse: the window before the driver, the simulator last.
struct LivePanel {
    SimProcess sim;
    LibraryDriver driver;
    std::unique_ptr<ssqx> window;
    test_support::WindowDriver ui{nullptr};

    bool start() {
        if (!startSimulator(sim, {})) {
            return false;
        }
        window = std::make_unique<ssqx>(driver, [] {});
        window->show();
        ui = test_support::WindowDriver(window.get());
        return true;
    }
};

// Answers every call at once, and with other values at every round so each
// tick really changes its labels, as a running module's counts do.
class InstantDriver final : public ModuleDriver {
  public:
    int round = 0;
    bool failReads = false;      // every read fails, as with a cable cut
    bool libraryPresent = true;  // false: no status to show, the status line stands still

    DriverResult OpenPort_Modbus(std::int32_t, std::int32_t, std::int32_t) override { return 0; }
    void ClosePort_Modbus(std::int32_t) override {}
    DriverResult Get_1X_B16(std::int32_t, std::int32_t, std::int32_t, std::int32_t* b) override {
        b[0] = (round & 1) ? 0xA5 : 0x5A;
        b[1] = (round & 1) ? 0x01 : 0x02;
        return failReads ? done(MODBUSRTU_FAILED) : done(b[0]);
    }
    DriverResult Get_0X_B16(std::int32_t, std::int32_t, std::int32_t, std::int32_t* b) override {
        b[0] = (round & 1) ? 0x05 : 0x0A;
        b[1] = 0;
        return failReads ? done(MODBUSRTU_FAILED) : done(b[0]);
    }
    DriverResult Get_3X_UnDX(std::int32_t, std::int32_t, std::int32_t, std::int32_t count,
                             std::int32_t* b) override {
        return fill(count, b, 1000);
    }
    DriverResult Get_3X_LUNDX(std::int32_t, std::int32_t, std::int32_t, std::int32_t count,
                              std::int32_t* b) override {
        return fill(count, b, 100000);
    }
    DriverResult Get_4X_UnDX(std::int32_t, std::int32_t, std::int32_t, std::int32_t count,
                             std::int32_t* b) override {
        return fill(count, b, 1);
    }
    DriverResult Set_0X_Bit1(std::int32_t, std::int32_t, std::int32_t) override { return done(0); }
    DriverResult Rst_0X_Bit1(std::int32_t, std::int32_t, std::int32_t) override { return done(0); }
    DriverResult Set_4X_D1(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {
        return done(0);
    }
    bool libraryLoaded() override { return libraryPresent; }
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t) override {
        if (!libraryPresent) {
            return std::nullopt;
        }
        Tq7310LinkStatus s{};
        s.outcome = TQ7310_OK;
        s.round_trip_us = 4200 + round % 7;
        s.transactions = transactions_;
        s.is_open = 1;
        s.baud = 9600;
        s.parity = 'E';
        std::strcpy(s.device, "/dev/ttyUSB0");
        return s;
    }

  private:
    DriverResult done(std::int32_t result) {
        ++transactions_;
        return result;
    }
    DriverResult fill(std::int32_t count, std::int32_t* b, std::int32_t base) {
        for (std::int32_t i = 0; i < count; ++i) {
            b[i] = base * (i + 1) + round;
        }
        return failReads ? done(MODBUSRTU_FAILED) : done(b[0]);
    }
    int transactions_ = 0;
};

}  // namespace bench
