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
    void aimedAndPaced_data();
    void aimedAndPaced();
    void notationHinted_data();
    void notationHinted();
};

void tst_AnyPointPoller::asks_data() {
    QTest::addColumn<int>("port");       // of the open link; 0 closed
    QTest::addColumn<int>("busyTurns");  // turns the main window's tick holds the line
    QTest::addColumn<bool>("write");     // 7 typed into the first row's second point
    QTest::addColumn<bool>("refused");   // every any-point call fails
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("firstRow");  // its values and outcome, at the end

    const QStringList turns{"readRegisters(2,1,3,14,3)", "readBits(2,9,2,1,4)"};
    QTest::newRow("rows in turns") << 2 << 0 << false << false << turns << "0 0 5 应答正常 ";
    QTest::newRow("closed link: nothing asked")
        << 0 << 0 << false << false << QStringList{} << "端口未打开 ";
    QTest::newRow("the tick first") << 2 << 3 << false << false << turns << "0 0 5 应答正常 ";
    QTest::newRow("write, then read back")
        << 2 << 0 << true << false
        << QStringList{"writeRegisters(2,1,15,1)", "readRegisters(2,1,3,14,3)",
                       "readBits(2,9,2,1,4)"}
        << "0 7 5 应答正常  已写入 1 点";
    QTest::newRow("refused") << 2 << 0 << true << true
                             << QStringList{"writeRegisters(2,1,15,1)", "readRegisters(2,1,3,14,3)",
                                            "readBits(2,9,2,1,4)"}
                             << "异常应答 02 非法数据地址 (红) 写入失败：异常应答 02 非法数据地址";
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
    driver.statusReply = Tq7310LinkStatus{};
    driver.statusReply->round_trip_us = 1500;  // an exception is a reply too
    if (refused) {
        driver.pointFailure = MODBUSRTU_FAILED;
        driver.statusReply->outcome = TQ7310_EXCEPTION;
        driver.statusReply->exception_code = 2;
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
        poller.write(1, 1, {1});  // discrete inputs: never written
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
    shown << first.outcome << (first.failed ? "(红)" : "");
    if (!first.written.isEmpty()) {
        shown << first.written;
    }
    QCOMPARE(shown.join(' '), firstRow);
    QCOMPARE(first.roundTripUs, first.failed || first.values.empty() ? -1 : 1500);
    poller.removeRow(2);  // past the last: nothing
    poller.removeRow(0);
    QCOMPARE(poller.rows().front().address, 9);
}

void tst_AnyPointPoller::aimedAndPaced_data() {
    // What the technician and the line do, in turn: "open", "close", "add
    // ADDRESS PERIOD" (holding registers 1-4), "write ROW POINT VALUE",
    // "change ROW ADDRESS", "remove ROW", "once ROW", "silent", "answer", "wait CALLS",
    // "shown" (until a row changes on the screen).
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("row");  // the first: outcome|written|period backed off|time-outs

    const QString read2 = "readRegisters(2,2,3,1,4)";
    QTest::newRow("a write typed while closed is refused, never sent")
        << "close; add 2 1000; write 0 2 7; open; wait 1" << QStringList{read2}
        << "应答正常|写入失败：端口未打开，未写入|1000|0";
    QTest::newRow("a write held for a row that changes is dropped")
        << "add 2 1000; wait 1; write 0 2 7; change 0 3; wait 2"
        << QStringList{read2, "readRegisters(2,3,3,1,4)"} << "应答正常||1000|0";
    QTest::newRow("a write closed out before it went is refused")
        << "add 2 1000; wait 1; write 0 2 7; close; shown; open; once 0; wait 2"
        << QStringList{read2, read2} << "应答正常|写入失败：端口未打开，未写入|1000|0";
    QTest::newRow("a row removed takes its held write along, the others' stay")
        << "add 2 1000; add 3 1000; wait 2; write 0 1 7; write 1 3 8; remove 0; wait 4"
        << QStringList{read2, "readRegisters(2,3,3,1,4)", "writeRegisters(2,3,3,1)",
                       "readRegisters(2,3,3,1,4)"}
        << "应答正常|已写入 1 点|1000|0";
    QTest::newRow("not polled: read when a workspace brings it")
        << "add 2 0; wait 1; replace; wait 2" << QStringList{read2, read2} << "应答正常||0|0";
    QTest::newRow("polled: read again at its period")
        << "add 2 500; wait 2" << QStringList{read2, read2} << "应答正常||500|0";
    QTest::newRow("not polled: read when added, changed and asked")
        << "add 2 0; wait 1; once 0; wait 2; change 0 5; wait 3"
        << QStringList{read2, read2, "readRegisters(2,5,3,1,4)"} << "应答正常||0|0";
    QTest::newRow("a silent slave backs off, an answer brings it back")
        << "silent; add 2 500; wait 1; once 0; wait 2; answer; once 0; wait 3"
        << QStringList{read2, read2, read2} << "应答正常||500|2";
    QTest::newRow("backed off, then 修改所选")
        << "silent; add 2 500; wait 1; once 0; wait 2; change 0 2; wait 3"
        << QStringList{read2, read2, read2} << "超时：无应答||1000|1";
    QTest::newRow("a write the slave answers but does not keep says so")
        << "add 2 1000; wait 1; stubborn; write 0 2 7; wait 3"
        << QStringList{read2, "writeRegisters(2,2,2,1)", read2}
        << "应答正常|已写入 1 点，但读回不同：点 2 写 7，读回 0|1000|0";
    const QString patient = read2 + " 2500000 us";
    QTest::newRow("a silent slave asked again at once, at the row's own wait")
        << "silent; add 2 500; wait 1; patient 0 2 2 2500; wait 4"
        << QStringList{read2, patient, patient, patient} << "超时：无应答（已重试 2 次）||1000|1";
    QTest::newRow("a retry answered")
        << "silent; add 2 500; patient 0 2 1 0; wait 2; answer; once 0; wait 3"
        << QStringList{read2, read2, read2} << "应答正常||500|1";
}

void tst_AnyPointPoller::aimedAndPaced() {
    QFETCH(QString, steps);
    QFETCH(QStringList, calls);
    QFETCH(QString, row);
    RecordingDriver driver;
    Tq7310LinkStatus status{};
    status.outcome = TQ7310_OK;
    driver.statusReply = status;
    int port = 2;
    AnyPointPoller poller(
        driver, [&] { return port; }, [] { return false; });
    QSignalSpy shown(&poller, &AnyPointPoller::rowChanged);
    for (const QString& step : steps.split(QStringLiteral("; "))) {
        const QStringList w = step.split(' ');
        const auto n = [&w](int i) { return w.value(i).toInt(); };
        const auto index = static_cast<std::size_t>(n(1));
        PointRow settings;
        settings.count = 4;
        settings.address = n(w[0] == "add" ? 1 : 2);
        settings.periodMs = w[0] == "add"                  ? n(2)
                            : index < poller.rows().size() ? poller.rows()[index].periodMs
                                                           : 0;
        port = w[0] == "close" ? 0 : w[0] == "open" ? 2 : port;
        driver.statusReply->outcome = w[0] == "silent"   ? TQ7310_TIMEOUT
                                      : w[0] == "answer" ? TQ7310_OK
                                                         : driver.statusReply->outcome;
        if (w[0] == "silent" || w[0] == "answer") {
            driver.pointFailure = w[0] == "silent" ? DriverResult(MODBUSRTU_FAILED) : std::nullopt;
        } else if (w[0] == "add") {
            poller.addRow(settings);
        } else if (w[0] == "stubborn") {
            driver.onCall = [&driver](const QString&) { driver.points.clear(); };
        } else if (w[0] == "write") {
            poller.write(index, n(2), {static_cast<std::uint16_t>(n(3))});
        } else if (w[0] == "replace") {
            poller.replaceRows(std::vector<PointRow>(poller.rows()));
        } else if (w[0] == "patient") {
            settings.retries = n(3);
            settings.waitMs = n(4);
            poller.changeRow(index, settings);
        } else if (w[0] == "change") {
            poller.changeRow(index, settings);
        } else if (w[0] == "remove") {
            poller.removeRow(index);
        } else if (w[0] == "once") {
            poller.readOnce(index);
        } else if (w[0] == "shown") {
            shown.clear();
            QVERIFY(shown.wait(2000));
        } else if (w[0] == "wait") {
            QTRY_VERIFY_WITH_TIMEOUT(driver.calls.size() >= n(1), 2000);
        }
    }
    QCOMPARE(driver.calls, calls);
    const PointRow& first = poller.rows().front();
    QCOMPARE(QStringLiteral("%1|%2|%3|%4")
                 .arg(first.outcome, first.written)
                 .arg(first.backedOffMs)
                 .arg(first.timeouts),
             row);
}

void tst_AnyPointPoller::notationHinted_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("hint");  // after "本行的点从 1 编号：FIRST 若是手册的写法，即"
    const QString refused = "异常应答 02 非法数据地址";
    QTest::newRow("4xxxx") << 40001 << refused << "保持寄存器 第 1 点";
    QTest::newRow("3xxxx") << 30010 << refused << "输入寄存器 第 10 点";
    QTest::newRow("1xxxx") << 10001 << refused << "离散输入 第 1 点";
    QTest::newRow("4xxxxx") << 400001 << refused << "保持寄存器 第 1 点";
    QTest::newRow("1xxxxx") << 100001 << refused << "离散输入 第 1 点";
    QTest::newRow("no such notation") << 20001 << refused << "";
    QTest::newRow("nor this") << 50001 << refused << "";
    QTest::newRow("point 0") << 40000 << refused << "";
    QTest::newRow("a plain point") << 10000 << refused << "";
    QTest::newRow("another failure") << 40001 << "超时：无应答"
                                     << "";
}

void tst_AnyPointPoller::notationHinted() {
    QFETCH(int, first);
    QFETCH(QString, outcome);
    QFETCH(QString, hint);
    PointRow row;
    row.first = first;
    row.failed = true;
    row.outcome = outcome;
    QCOMPARE(anypoint::notationHint(row),
             hint.isEmpty()
                 ? hint
                 : QStringLiteral("本行的点从 1 编号：%1 若是手册的写法，即").arg(first) + hint);
}

QTEST_GUILESS_MAIN(tst_AnyPointPoller)
#include "tst_anypoint_poller.moc"
