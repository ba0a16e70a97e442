// The rows asked through a recording driver: in turns, never on a closed
// link or in the main window's tick, a write before the next read and read
// back at once.
#include <QSignalSpy>
#include <QtTest>

#include "AnyPointPoller.h"
#include "RecordingDriver.h"

using anypoint::AnyPointPoller;
using anypoint::PointRow;
using anypoint::Table;

class tst_AnyPointPoller : public QObject {
    Q_OBJECT
  private slots:
    void asks_data();
    void asks();
};

void tst_AnyPointPoller::asks_data() {
    QTest::addColumn<int>("port");       // of the open link; 0 closed
    QTest::addColumn<int>("busyTurns");  // turns the main window's tick holds the line
    QTest::addColumn<bool>("write");     // 7 typed into the first row's second point
    QTest::addColumn<bool>("refused");   // every any-point call fails
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("firstRow");  // its values and outcome, at the end

    const QStringList turns{"readRegisters(2,1,3,14,3)", "readBits(2,9,2,1,4)"};
    QTest::newRow("rows in turns") << 2 << 0 << false << false << turns << "0 0 5 应答正常";
    QTest::newRow("closed link: nothing asked")
        << 0 << 0 << false << false << QStringList{} << "端口未打开";
    QTest::newRow("the tick first") << 2 << 3 << false << false << turns << "0 0 5 应答正常";
    QTest::newRow("write, then read back")
        << 2 << 0 << true << false
        << QStringList{"writeRegisters(2,1,15,1)", "readRegisters(2,1,3,14,3)",
                       "readBits(2,9,2,1,4)"}
        << "0 7 5 应答正常 已写入 1 点";
    QTest::newRow("refused") << 2 << 0 << true << true
                             << QStringList{"writeRegisters(2,1,15,1)", "readRegisters(2,1,3,14,3)",
                                            "readBits(2,9,2,1,4)"}
                             << "失败 写入失败：失败";
}

void tst_AnyPointPoller::asks() {
    QFETCH(int, port);
    QFETCH(int, busyTurns);
    QFETCH(bool, write);
    QFETCH(bool, refused);
    QFETCH(QStringList, calls);
    QFETCH(QString, firstRow);
    RecordingDriver driver;
    driver.points[{1, 3, 16}] = 5;
    if (refused) {
        driver.pointFailure = MODBUSRTU_FAILED;
    }
    int busy = busyTurns;
    bool askedWhenFree = true;
    driver.onCall = [&](const QString&) { askedWhenFree = askedWhenFree && busy < 0; };
    AnyPointPoller poller(
        driver, [&] { return port; }, [&] { return busy-- > 0; });
    QSignalSpy changed(&poller, &AnyPointPoller::rowChanged);
    PointRow row;
    row.first = 14;
    row.count = 3;
    poller.addRow(row);
    row.address = 9;
    row.table = Table::DiscreteInputs;
    row.first = 1;
    row.count = 4;
    poller.addRow(row);
    if (write) {
        poller.write(0, 15, {7});
    }
    QVERIFY(changed.wait(1000));
    QTRY_VERIFY_WITH_TIMEOUT(driver.calls.size() >= calls.size() && changed.size() >= 2, 1000);
    QCOMPARE(driver.calls, calls);
    QVERIFY(askedWhenFree);
    const PointRow& first = poller.rows().front();
    QStringList shown;
    for (std::uint16_t value : first.values) {
        shown << QString::number(value);
    }
    shown << first.outcome;
    if (!first.written.isEmpty()) {
        shown << first.written;
    }
    QCOMPARE(shown.join(' '), firstRow);
    poller.removeRow(2);  // past the last: nothing
    poller.removeRow(0);
    QCOMPARE(poller.rows().front().address, 9);
}

QTEST_GUILESS_MAIN(tst_AnyPointPoller)
#include "tst_anypoint_poller.moc"
