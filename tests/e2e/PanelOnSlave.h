#pragma once
// The panel as it runs on site: the real window, the ModbusRTU library found
// beside the test executable, and a Modbus RTU slave on a pseudo-terminal
// that the window's default port 1 leads to. Nothing between the window and
// the slave is faked.

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <memory>

#include "TestSlave.h"
#include "link/LibraryDriver.h"
#include "ui/ssqx.h"

namespace e2e {

inline constexpr int kStatusTickMs = 500;    // Timer1
inline constexpr int kCounterTickMs = 1000;  // Timer2
// Room for a tick's own work and a busy machine; far below a tick, so a value
// that waits for a later tick than it should still fails.
inline constexpr int kSlackMs = 300;
// What a read of a silent module costs at 9600 baud before the driver gives up.
inline constexpr int kResponseTimeoutMs = 503;

class PanelOnSlave {
  public:
    PanelOnSlave() { window.show(); }

    ~PanelOnSlave() {
        // Let go of the pty before the slave closes it.
        if (auto* close = button(QStringLiteral("Command10"))) {
            close->click();
        }
    }

    test_slave::TestSlave slave;
    test_slave::ScopedPortEnv port{1, slave.devicePath()};
    LibraryDriver driver;
    ssqx window{driver, [] {}};

    QAbstractButton* button(const QString& name) const {
        return window.findChild<QAbstractButton*>(name);
    }

    QLabel* label(const QString& name) const { return window.findChild<QLabel*>(name); }

    // What a label, a box or the status line shows; a marker for a control
    // that does not exist, so the comparison fails by name.
    QString shown(const QString& name) const {
        const QLabel* l = label(name);
        return l ? l->text() : QStringLiteral("<no %1>").arg(name);
    }

    bool click(const QString& name) const {
        QAbstractButton* b = button(name);
        if (!b) {
            return false;
        }
        QTest::mouseClick(b, Qt::LeftButton);
        return true;
    }

    // Puts `entry` in a configuration editor as a user would: picks the list
    // entry of a combo box, types into a text box.
    bool enter(const QString& editor, const QString& entry) const {
        if (auto* combo = window.findChild<QComboBox*>(editor)) {
            const int at = combo->findText(entry);
            if (at < 0) {
                return false;
            }
            combo->setCurrentIndex(at);
            return combo->currentText() == entry;
        }
        if (auto* edit = window.findChild<QLineEdit*>(editor)) {
            edit->clear();
            QTest::keyClicks(edit, entry);
            return edit->text() == entry;
        }
        return false;
    }

    // Every listed control that does not show its expected text, as
    // "name: shown (expected)", so a failure names them all at once.
    QStringList mismatches(const QMap<QString, QString>& expected) const {
        QStringList wrong;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const QString now = shown(it.key());
            if (now != it.value()) {
                wrong << QStringLiteral("%1: %2 (%3)").arg(it.key(), now, it.value());
            }
        }
        return wrong;
    }
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

// Milliseconds left of `budget` since `since` started, at least 1, for the
// QTRY macros: a bound counted from an event rather than from the macro.
inline int remainingOf(int budget, const QElapsedTimer& since) {
    return int(qMax<qint64>(1, budget - since.elapsed()));
}

}  // namespace e2e
