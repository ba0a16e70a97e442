// The panel when the line fails: the module goes away while it polls, or was
// never there. The window must stay responsive, show the failure, and pick
// up again once a module is back.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QTest>

#include "ModbusRTU.h"
#include "PanelOnSim.h"

using namespace sim_e2e;

namespace {

// On a line that never answers, one driver call costs its response time-out
// (about 0.5 s at 9600 baud) and up to as long again waiting out a late
// reply to the request before it: about 1 s. Twice that is a frozen window.
constexpr qint64 kLongestStallMs = 2000;
// A tick makes two or three such calls, and the other poll's tick can run
// whole inside one of its yields: five calls, about 5 s. Past this a tick is
// stuck rather than slow.
constexpr qint64 kLongestTickMs = 8000;
// Enough ticks on a dead line for every read of both polls to have failed,
// the second time after the driver's wait for a late reply.
constexpr int kDeadTicks = 2;
constexpr int kDeadLineMs = 20000;

// A pseudo-terminal nobody answers on: a cable with no module at its end.
class SilentLine {
  public:
    SilentLine() {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ >= 0 && ::grantpt(fd_) == 0 && ::unlockpt(fd_) == 0) {
            path_ = QString::fromLocal8Bit(::ptsname(fd_));
        }
    }
    ~SilentLine() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SilentLine(const SilentLine&) = delete;
    SilentLine& operator=(const SilentLine&) = delete;

    const QString& path() const { return path_; }

  private:
    int fd_ = -1;
    QString path_;
};

}  // namespace

class tst_SimE2eFaults : public QObject {
    Q_OBJECT
  private slots:
    void simulatorGoesAwayWhilePolling_data();
    void simulatorGoesAwayWhilePolling();
    void openedOnNothing_data();
    void openedOnNothing();

  private:
    // After "打开": waits for a counter tick that read the module, then for
    // X1's 32-bit count to rise.
    void expectValuesFlowing(PanelOnSim& panel);
    // Every value label after the polls failed from the start: status labels
    // from buffers nothing was read into, each group's first value the
    // driver's failure code, the rest as they were.
    void expectFailureCaptions(PanelOnSim& panel);
    // Both polls' ticks and the event loop's longest stall stayed in bounds.
    void expectResponsive(const TickWatch& statusTicks, const TickWatch& counterTicks,
                          const Heartbeat& heartbeat);
};

void tst_SimE2eFaults::expectResponsive(const TickWatch& statusTicks, const TickWatch& counterTicks,
                                        const Heartbeat& heartbeat) {
    QVERIFY2(statusTicks.longestMs() < kLongestTickMs,
             qPrintable(QString::number(statusTicks.longestMs())));
    QVERIFY2(counterTicks.longestMs() < kLongestTickMs,
             qPrintable(QString::number(counterTicks.longestMs())));
    QVERIFY2(heartbeat.longestGapMs() < kLongestStallMs,
             qPrintable(QString::number(heartbeat.longestGapMs())));
}

void tst_SimE2eFaults::expectValuesFlowing(PanelOnSim& panel) {
    TickWatch counterTicks(panel.window(), "Timer2");
    QVERIFY(counterTicks.waitFor(1, kTicksMs));
    QTRY_VERIFY_WITH_TIMEOUT(panel.value("D_4R32(0)").value_or(-1) >= 0, kTicksMs);
    const qint64 first = *panel.value("D_4R32(0)");
    QTRY_VERIFY_WITH_TIMEOUT(panel.value("D_4R32(0)").value_or(-1) > first, kTicksMs);
    QCOMPARE(panel.text("B_2R(4)"), inputCaption(4, false));
    QCOMPARE(panel.text("D_4R4(12)"), "0");
}

void tst_SimE2eFaults::expectFailureCaptions(PanelOnSim& panel) {
    const QString failed = QString::number(MODBUSRTU_FAILED);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(panel.text(memberName("B_2R", i)), inputCaption(i, false));
    }
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(panel.text(memberName("B_1RW", i)), outputCaption(i, false));
    }
    const struct {
        const char* array;
        int members;
    } groups[] = {{"D_4R", 4}, {"D_4R32", 8}, {"D_4R4", 13}};
    for (const auto& group : groups) {
        QCOMPARE(panel.text(memberName(group.array, 0)), failed);
        for (int i = 1; i < group.members; ++i) {
            QCOMPARE(panel.text(memberName(group.array, i)), "0");
        }
    }
}

void tst_SimE2eFaults::simulatorGoesAwayWhilePolling_data() {
    QTest::addColumn<bool>("crash");
    // Stopped, it removes its link; killed, it leaves the link behind,
    // pointing at a terminal that is gone.
    QTest::newRow("stopped") << false;
    QTest::newRow("killed") << true;
}

void tst_SimE2eFaults::simulatorGoesAwayWhilePolling() {
    QFETCH(bool, crash);
    PanelOnSim panel;
    QVERIFY(panel.valid());
    QVERIFY2(panel.startSim(), qPrintable(panel.sim().transcript()));
    QVERIFY(panel.showWindow(panel.linkPath()));
    QVERIFY(panel.click("Command9"));
    QCOMPARE(panel.openResult(), 0);
    expectValuesFlowing(panel);
    if (QTest::currentTestFailed()) {
        return;
    }

    const Heartbeat heartbeat;
    TickWatch statusTicks(panel.window(), "Timer1");
    TickWatch counterTicks(panel.window(), "Timer2");
    if (crash) {
        panel.sim().process().kill();
        QVERIFY(panel.sim().process().waitForFinished(SimProcess::kStartMs));
    } else {
        QVERIFY(panel.sim().stop());
    }
    panel.forgetSim();

    // The polls carry on and say so: each count group's first label shows
    // the driver's failure code.
    const QString failed = QString::number(MODBUSRTU_FAILED);
    QTRY_COMPARE_WITH_TIMEOUT(panel.text("D_4R(0)"), failed, kTicksMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel.text("D_4R32(0)"), failed, kTicksMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel.text("D_4R4(0)"), failed, kTicksMs);
    QVERIFY(counterTicks.waitFor(kDeadTicks, kDeadLineMs));
    QVERIFY(statusTicks.waitFor(kDeadTicks, kDeadLineMs));
    expectResponsive(statusTicks, counterTicks, heartbeat);

    // A simulator back on the same link; "关闭" and "打开" reach it.
    QVERIFY2(panel.startSim(), qPrintable(panel.sim().transcript()));
    QVERIFY(panel.click("Command10"));
    QCOMPARE(panel.text("B_2R(0)"), " ");
    QVERIFY(panel.click("Command9"));
    QCOMPARE(panel.openResult(), 0);
    expectValuesFlowing(panel);
}

void tst_SimE2eFaults::openedOnNothing_data() {
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("opened");
    // No device at the path: the open fails and so does every read after it.
    QTest::newRow("no device") << false << -2;
    // A device that never answers: every read times out.
    QTest::newRow("no module on the line") << true << 0;
}

void tst_SimE2eFaults::openedOnNothing() {
    QFETCH(bool, silent);
    QFETCH(int, opened);
    PanelOnSim panel;
    QVERIFY(panel.valid());
    const SilentLine line;
    const QString device =
        silent ? line.path() : panel.linkPath() + QStringLiteral(".nothing-here");
    QVERIFY(!device.isEmpty());
    QVERIFY(panel.showWindow(device));

    const Heartbeat heartbeat;
    TickWatch statusTicks(panel.window(), "Timer1");
    TickWatch counterTicks(panel.window(), "Timer2");
    QVERIFY(panel.click("Command9"));
    QCOMPARE(panel.openResult(), opened);
    QVERIFY(counterTicks.waitFor(kDeadTicks, kDeadLineMs));
    QVERIFY(statusTicks.waitFor(kDeadTicks, kDeadLineMs));
    expectFailureCaptions(panel);
    if (QTest::currentTestFailed()) {
        return;
    }
    expectResponsive(statusTicks, counterTicks, heartbeat);

    // "关闭" stops both polls and blanks the status labels.
    QVERIFY(panel.click("Command10"));
    QVERIFY(!panel.window().findChild<QTimer*>("Timer1")->isActive());
    QVERIFY(!panel.window().findChild<QTimer*>("Timer2")->isActive());
    QCOMPARE(panel.text("B_2R(0)"), " ");
    QCOMPARE(panel.text("B_1RW(0)"), " ");
}

QTEST_MAIN(tst_SimE2eFaults)
#include "tst_sim_e2e_faults.moc"
