#pragma once
// The panel as it runs on site: the real window, the ModbusRTU library found
// beside the test executable, and a Modbus RTU slave on a pseudo-terminal
// that the window's default port 1 leads to. Nothing between the window and
// the slave is faked.

#include <QRegularExpression>
#include <memory>

#include "LibraryDriver.h"
#include "TestSlave.h"
#include "WindowDriver.h"
#include "ssqx.h"

namespace e2e {

inline constexpr int kStatusTickMs = 500;    // Timer1
inline constexpr int kCounterTickMs = 1000;  // Timer2
// Room for a tick's own work and a busy machine; far below a tick, so a value
// that waits for a later tick than it should still fails.
inline constexpr int kSlackMs = 300;
// What a read of a silent module costs at 9600 baud before the driver gives up.
inline constexpr int kResponseTimeoutMs = 503;
inline constexpr int kLateHorizonMs = TQ7310_LATE_REPLY_HORIZON_MS;

class PanelOnSlave : public test_support::WindowDriver {
  public:
    PanelOnSlave() : WindowDriver(&window) { window.show(); }

    ~PanelOnSlave() {
        // Let go of the pty before the slave closes it.
        press(QStringLiteral("Command10"));
    }

    test_slave::TestSlave slave;
    test_slave::ScopedPortEnv port{1, slave.devicePath()};
    LibraryDriver driver;
    ssqx window{driver, [] {}};
};

// A transaction count from the status line's counters, -1 when it shows none.
inline int transactions(const QString& counters) {
    static const QRegularExpression pattern(QStringLiteral("^通讯 (\\d+) 次"));
    const auto match = pattern.match(counters);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

inline int failures(const QString& counters) {
    static const QRegularExpression pattern(QStringLiteral("失败 (\\d+) 次"));
    const auto match = pattern.match(counters);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

using test_support::remainingOf;

}  // namespace e2e
