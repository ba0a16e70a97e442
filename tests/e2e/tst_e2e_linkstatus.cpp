// The status line over a real RTU exchange: it tells a working link from a
// module that answers wrongly, one that does not answer, a device that is
// not there and a closed port, each within a tick of it happening.
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "PanelOnSlave.h"

using namespace e2e;
using test_slave::Misbehaviour;

namespace {

const QColor kAlarmColour(200, 0, 0);

QColor moduleColour(const PanelOnSlave& panel) {
    return panel.colour("ModuleState", QPalette::WindowText);
}

}  // namespace

class tst_E2eLinkStatus : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void workingLinkIsHealthyAndCounts();
    void exceptionReplyShowsItsCode_data();
    void exceptionReplyShowsItsCode();
    void silentModuleShowsNoReplyAndRecovers();
    void moduleSilentFromTheStartIsNeverHealthy();
    void missingDeviceShowsWhyItDidNotOpen();
    void closedPortReadsNotOpen();

  private:
    // Opens the panel on the slave and waits for its first answered read.
    bool openHealthy();

    std::unique_ptr<PanelOnSlave> panel;
};

void tst_E2eLinkStatus::init() {
    panel = std::make_unique<PanelOnSlave>();
    QVERIFY(QTest::qWaitForWindowExposed(&panel->window));
}

void tst_E2eLinkStatus::cleanup() {
    panel.reset();
}

bool tst_E2eLinkStatus::openHealthy() {
    return panel->click("Command9") &&
           QTest::qWaitFor(
               [&] {
                   return transactions(panel->text("LinkCounters")) > 0 &&
                          panel->text("ModuleState") == "模块应答正常";
               },
               kStatusTickMs + kSlackMs);
}

void tst_E2eLinkStatus::workingLinkIsHealthyAndCounts() {
    QCOMPARE(panel->text("LinkState"), "端口未打开");
    QVERIFY(openHealthy());
    const QString device = QString::fromStdString(panel->slave.devicePath());
    QCOMPARE(panel->text("LinkState"), QStringLiteral("端口1 %1 9600,E,8,1 地址1").arg(device));
    QVERIFY(moduleColour(*panel) != kAlarmColour);

    static const QRegularExpression counters(
        QStringLiteral("^通讯 (\\d+) 次  失败 0 次  往返 (\\d+\\.\\d) ms$"));
    const QString first = panel->text("LinkCounters");
    QVERIFY2(counters.match(first).hasMatch(), qPrintable(first));
    // A pty answers in well under a tick; a round trip of a whole time-out
    // would mean the reply was missed and a later one taken.
    const double roundTripMs = counters.match(first).captured(2).toDouble();
    QVERIFY2(roundTripMs < 100, qPrintable(first));
    // The next status tick's two reads count; a tick that comes late counts
    // as well, only later.
    const int before = transactions(first);
    QTRY_VERIFY_WITH_TIMEOUT(transactions(panel->text("LinkCounters")) >= before + 2,
                             2 * kStatusTickMs + kSlackMs);
    QVERIFY2(counters.match(panel->text("LinkCounters")).hasMatch(),
             qPrintable(panel->text("LinkCounters")));
    QCOMPARE(panel->text("ModuleState"), "模块应答正常");
}

void tst_E2eLinkStatus::exceptionReplyShowsItsCode_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("01") << 1 << "异常应答 01 非法功能";
    QTest::newRow("02") << 2 << "异常应答 02 非法数据地址";
    QTest::newRow("03") << 3 << "异常应答 03 非法数据值";
    QTest::newRow("04") << 4 << "异常应答 04 从站设备故障";
}

void tst_E2eLinkStatus::exceptionReplyShowsItsCode() {
    QFETCH(int, code);
    QFETCH(QString, expected);
    QVERIFY(openHealthy());
    const int failuresBefore = failures(panel->text("LinkCounters"));
    QCOMPARE(failuresBefore, 0);

    panel->slave.misbehave(Misbehaviour::Exception, code);
    QTRY_COMPARE_WITH_TIMEOUT(panel->text("ModuleState"), expected, kStatusTickMs + kSlackMs);
    QCOMPARE(moduleColour(*panel), kAlarmColour);
    QVERIFY(failures(panel->text("LinkCounters")) > failuresBefore);
    // The port itself is fine.
    QVERIFY2(panel->text("LinkState").contains("9600,E,8,1 地址1"),
             qPrintable(panel->text("LinkState")));
}

void tst_E2eLinkStatus::silentModuleShowsNoReplyAndRecovers() {
    QVERIFY(openHealthy());
    QElapsedTimer sinceSilent;
    sinceSilent.start();
    panel->slave.misbehave(Misbehaviour::Silent);
    // The next tick's first read, then the driver's time-out.
    QTRY_COMPARE_WITH_TIMEOUT(
        panel->text("ModuleState"), "超时：无应答",
        remainingOf(kStatusTickMs + kResponseTimeoutMs + kSlackMs, sinceSilent));
    QCOMPARE(moduleColour(*panel), kAlarmColour);
    QVERIFY(failures(panel->text("LinkCounters")) > 0);

    panel->slave.misbehave(Misbehaviour::None);
    // A read still in its time-out; replies that the reads which timed out
    // could still have sent are not taken until their horizon has passed;
    // then the next tick.
    QTRY_COMPARE_WITH_TIMEOUT(panel->text("ModuleState"), "模块应答正常",
                              kResponseTimeoutMs + kLateHorizonMs + kStatusTickMs + kSlackMs);
    QVERIFY(moduleColour(*panel) != kAlarmColour);
}

void tst_E2eLinkStatus::moduleSilentFromTheStartIsNeverHealthy() {
    panel->slave.misbehave(Misbehaviour::Silent);
    QVERIFY(panel->click("Command9"));
    // Nothing has answered yet: an open port is not an answering module.
    QVERIFY2(panel->text("ModuleState") != "模块应答正常",
             qPrintable(panel->text("ModuleState") + " / " + panel->text("LinkCounters")));
    QTRY_COMPARE_WITH_TIMEOUT(panel->text("ModuleState"), "超时：无应答",
                              kStatusTickMs + kResponseTimeoutMs + kSlackMs);
}

void tst_E2eLinkStatus::missingDeviceShowsWhyItDidNotOpen() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString missing = folder.filePath("ttyGone");
    test_slave::ScopedPortEnv gone(1, missing.toStdString());

    QVERIFY(panel->click("Command9"));
    const QString expected = QStringLiteral("端口1 %1 打开失败：没有该设备").arg(missing);
    QCOMPARE(panel->text("LinkState"), expected);
    QCOMPARE(panel->text("ModuleState"), "未通讯");
    QCOMPARE(moduleColour(*panel), kAlarmColour);

    // The polls go on reading the unopened port; the reason must stay in view
    // rather than give way to whatever those reads report. A status tick
    // shows the date, a counter tick the failed count read.
    QTRY_VERIFY_WITH_TIMEOUT(panel->text("Label2(9)") != "2001-03-12", kStatusTickMs + kSlackMs);
    QCOMPARE(panel->text("LinkState"), expected);
    QTRY_COMPARE_WITH_TIMEOUT(panel->text("D_4R(0)"), QString::number(MODBUSRTU_FAILED),
                              kCounterTickMs + kSlackMs);
    QCOMPARE(panel->text("LinkState"), expected);
    QCOMPARE(panel->slave.requests(), 0);
}

void tst_E2eLinkStatus::closedPortReadsNotOpen() {
    QVERIFY(openHealthy());
    QVERIFY(panel->click("Command10"));
    QCOMPARE(panel->text("LinkState"), "端口未打开");
    // Only a driver call changes the line, and no tick comes to make one.
    QVERIFY(!panel->window.findChild<QTimer*>("Timer1")->isActive());
    QVERIFY(!panel->window.findChild<QTimer*>("Timer2")->isActive());
}

QTEST_MAIN(tst_E2eLinkStatus)
#include "tst_e2e_linkstatus.moc"
