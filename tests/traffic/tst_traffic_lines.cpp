// What the traffic window says of each kind of reply, from the driver's own
// log of a real exchange on a pty.
#include <QtTest>

#include "LogDriver.h"
#include "RtuFrames.h"
#include "TestSlave.h"
#include "TrafficFeed.h"

using test_slave::Misbehaviour;

Q_DECLARE_METATYPE(Misbehaviour)

namespace {

constexpr int32_t kPort = 1;
constexpr int32_t kSlave = 3;
const QByteArray kJunk = QByteArray::fromHex("1337ff0055aa42");

Tq7310Traffic entry(int kind, std::initializer_list<std::uint8_t> request,
                    std::initializer_list<std::uint8_t> reply, int outcome = TQ7310_OK) {
    Tq7310Traffic e{};
    e.kind = kind;
    e.sequence = 5;
    e.follows = 3;
    e.outcome = outcome;
    e.round_trip_us = -1;
    e.late_us = -1;
    e.request_length = int(request.size());
    std::copy(request.begin(), request.end(), e.request);
    e.reply_length = int(reply.size());
    std::copy(reply.begin(), reply.end(), e.reply);
    return e;
}

}  // namespace

Q_DECLARE_METATYPE(Tq7310Traffic)

class TstTrafficLines : public QObject {
    Q_OBJECT

    static QStringList said(const Tq7310Traffic& entry, int frameAt) {
        QStringList said;
        for (const traffic::TrafficLine& line : traffic::linesOf(2, entry, frameAt)) {
            said << line.direction + ": " + line.meaning;
            if (line.port != 2 || line.sequence != 5u) {
                said << QStringLiteral("another port or entry");
            }
        }
        return said;
    }

  private slots:
    // What each kind of frame is said to mean; CRCs left out where the
    // words do not read them.
    void words_data() {
        QTest::addColumn<Tq7310Traffic>("entry");
        QTest::addColumn<QStringList>("lines");  // direction: meaning
        const int x = TQ7310_TRAFFIC_EXCHANGE;
        Tq7310Traffic timed = entry(x, {1, 4, 0, 10, 0, 2}, {1, 4, 4, 0, 7, 1, 0, 0, 0});
        timed.round_trip_us = 2345;
        QTest::newRow("input registers from 11, with the round trip")
            << timed << QStringList{"发送: 读输入寄存器 11-12", "接收: 值 7 256  往返 2.3 ms"};
        QTest::newRow("sixteen bits, point 1 first")
            << entry(x, {1, 2, 0, 0, 0, 16}, {1, 2, 2, 0x81, 0x02})
            << QStringList{"发送: 读离散输入 1-16", "接收: 值 1000000101000000"};
        QTest::newRow("coil switched on") << entry(x, {1, 5, 0, 3, 0xFF, 0}, {1, 5, 0, 3, 0xFF, 0})
                                          << QStringList{"发送: 写线圈 4 = 闭合", "接收: 已写入"};
        QTest::newRow("register written")
            << entry(x, {1, 6, 1, 0, 0x12, 0x34}, {1, 6, 1, 0, 0x12, 0x34})
            << QStringList{"发送: 写保持寄存器 257 = 4660", "接收: 已写入"};
        Tq7310Traffic probe = entry(x, {1, 3, 0, 0, 0, 16}, {}, TQ7310_TIMEOUT);
        probe.probe = 1;
        probe.reply_length = 0;
        QTest::newRow("probe timed out")
            << probe
            << QStringList{"发送（查找）: 读保持寄存器 1-16", "接收（查找）: 超时：无应答"};
        QTest::newRow("nothing sent")
            << entry(x, {}, {}, TQ7310_NOT_OPEN) << QStringList{"接收: 未通讯"};
        Tq7310Traffic late = entry(TQ7310_TRAFFIC_LATE, {}, {0xAA, 0x42});
        late.late_us = 74'250;
        QTest::newRow("late, timed") << late << QStringList{"迟到的接收: 第 3 条之后迟到 74.3 ms"};
        Tq7310Traffic echo = entry(TQ7310_TRAFFIC_ECHO, {}, {1, 3});
        echo.late_us = 8'000;
        QTest::newRow("echo") << echo
                              << QStringList{"回显: 第 3 条请求由转换器送回，发出后 8.0 ms"};
        QTest::newRow("late, found waiting")
            << entry(TQ7310_TRAFFIC_LATE, {}, {0xAA})
            << QStringList{"迟到的接收: 第 3 条之后到达，下一请求前才发现"};
    }

    void words() {
        QFETCH(Tq7310Traffic, entry);
        QFETCH(QStringList, lines);
        QCOMPARE(said(entry, 0), lines);
    }

    // Over Modbus TCP the frame follows its header's first six bytes; a
    // record holds only the start of the longest replies.
    void wordsOverModbusTcp_data() {
        QTest::addColumn<Tq7310Traffic>("entry");
        QTest::addColumn<QStringList>("lines");
        const int x = TQ7310_TRAFFIC_EXCHANGE;
        QTest::newRow("input registers from 11")
            << entry(x, {0, 9, 0, 0, 0, 6, 1, 4, 0, 10, 0, 2},
                     {0, 9, 0, 0, 0, 7, 1, 4, 4, 0, 7, 1, 0})
            << QStringList{"发送: 读输入寄存器 11-12", "接收: 值 7 256"};
        Tq7310Traffic cut = entry(x, {0, 9, 0, 0, 0, 6, 1, 3, 0, 0, 0, 125}, {});
        cut.reply_length = TQ7310_TRAFFIC_BYTES;
        const QString values = QStringLiteral("接收: 值") + QString(" 0").repeated(123);
        QTest::newRow("125 registers, the last cut")
            << cut << QStringList{"发送: 读保持寄存器 1-125", values};
    }

    void wordsOverModbusTcp() {
        QFETCH(Tq7310Traffic, entry);
        QFETCH(QStringList, lines);
        QCOMPARE(said(entry, 6), lines);
    }

    // A frame of any length reads whole: its bytes sixteen to a line.
    void detailWhole_data() {
        QTest::addColumn<int>("count");         // bytes in the frame; -1: none came
        QTest::addColumn<QStringList>("tail");  // the detail after its first line
        QTest::newRow("37 bytes") << 37
                                  << QStringList{"字节（37）：",
                                                 QString("00 ").repeated(16).trimmed(),
                                                 QString("10 ").repeated(16).trimmed(),
                                                 "20 20 20 20 20", "含义：值"};
        QTest::newRow("none came") << -1 << QStringList{"字节：（无）", "含义：值"};
    }

    void detailWhole() {
        QFETCH(int, count);
        QFETCH(QStringList, tail);
        traffic::TrafficLine line{
            7, 2, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6)), "接收", "（无）", "值", false};
        QStringList bytes;
        for (int i = 0; i < count; ++i) {
            bytes << QStringLiteral("%1").arg(i / 16 * 16, 2, 16, QLatin1Char('0'));
        }
        if (count > 0) {
            line.bytes = bytes.join(' ');
        }
        QCOMPARE(traffic::detailText(line).split('\n'),
                 QStringList{"端口2 #7  2026-01-02 03:04:05.006  接收"} + tail);
    }

    void eachKindOfReply_data() {
        QTest::addColumn<Misbehaviour>("how");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("bytes");    // how the reply line starts
        QTest::addColumn<QString>("meaning");  // how it starts
        QTest::addColumn<bool>("failed");

        QTest::newRow("good") << Misbehaviour::None << QByteArray() << "03 03 04 00 65 00 66 "
                              << "值 101 102  往返" << false;
        QTest::newRow("exception") << Misbehaviour::Exception << QByteArray() << "03 83 02 "
                                   << "异常应答 02 非法数据地址" << true;
        QTest::newRow("time-out") << Misbehaviour::Silent << QByteArray() << "（无）"
                                  << "超时：无应答" << true;
        // libmodbus reads as far as the first bytes ask: 0x37 takes one more
        // byte, and that one a count of none.
        QTest::newRow("junk") << Misbehaviour::Scripted << kJunk << "13 37 FF 00 55"
                              << "坏帧：校验或格式不符" << true;
        QTest::newRow("another address")
            << Misbehaviour::WrongSlave << QByteArray() << "04 03 04 00 65 00 66 "
            << "地址 4 的设备应答" << true;
        QTest::newRow("echo") << Misbehaviour::Scripted << QByteArray::fromHex("030300000002c5e9")
                              << "03 03 00 00 00"
                              << "回显" << true;
    }

    void eachKindOfReply() {
        QFETCH(Misbehaviour, how);
        QFETCH(QByteArray, script);
        QFETCH(QString, bytes);
        QFETCH(QString, meaning);
        QFETCH(bool, failed);
        test_slave::TestSlave slave(kSlave);
        test_slave::ScopedPortEnv env(kPort, slave.devicePath());
        slave.setHoldingRegister(1, 101);
        slave.setHoldingRegister(2, 102);
        QCOMPARE(OpenPort_Modbus(kPort, 3, 0), 0);
        if (how == Misbehaviour::Scripted) {
            slave.answerWith(std::vector<uint8_t>(script.begin(), script.end()));
        } else {
            slave.misbehave(how);
        }
        int32_t values[2] = {};
        Get_4X_UnDX(kPort, kSlave, 1, 2, values);

        LogDriver driver;
        driver.direct = TQ7310_ReadTraffic;
        traffic::TrafficFeed feed(driver);
        feed.pull();
        ClosePort_Modbus(kPort);
        QVERIFY(feed.endIndex() >= 2);
        const traffic::TrafficLine& sent = feed.line(feed.endIndex() - 2);
        const traffic::TrafficLine& got = feed.line(feed.endIndex() - 1);
        QCOMPARE(sent.direction, "发送");
        QCOMPARE(sent.bytes, "03 03 00 00 00 02 C5 E9");
        QCOMPARE(sent.meaning, "读保持寄存器 1-2");
        QCOMPARE(got.direction, "接收");
        QVERIFY2(got.bytes.startsWith(bytes), qPrintable(got.bytes));
        QVERIFY2(got.meaning.startsWith(meaning), qPrintable(got.meaning));
        QCOMPARE(got.failed, failed);
        QCOMPARE(got.sequence, sent.sequence);
        QVERIFY(qAbs(got.time.msecsTo(QDateTime::currentDateTime())) < 60'000);
    }

    // Bytes after a transaction are kept and said to be late: a reply after
    // the time-out, caught while the same read again listens for it; an
    // adapter's echo after the reply, found waiting before the next request.
    void lateBytes_data() {
        QTest::addColumn<Misbehaviour>("how");
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("meaning");
        QTest::newRow("reply after the time-out") << Misbehaviour::Late << "03 03 04 00 00 00 00"
                                                  << "条的迟到应答（未采用），迟到";
        QTest::newRow("echo after the reply")
            << Misbehaviour::TrailingEcho << "03 03 00 00 00 02 C5 E9"
            << "条之后到达，下一请求前才发现";
    }

    void lateBytes() {
        QFETCH(Misbehaviour, how);
        QFETCH(QString, bytes);
        QFETCH(QString, meaning);
        test_slave::TestSlave slave(kSlave);
        test_slave::ScopedPortEnv env(kPort, slave.devicePath());
        LogDriver driver;
        driver.direct = TQ7310_ReadTraffic;
        traffic::TrafficFeed feed(driver);
        feed.pull();
        const qint64 start = feed.endIndex();

        QCOMPARE(OpenPort_Modbus(kPort, 3, 0), 0);
        slave.misbehave(how, 2, 350);
        int32_t values[2] = {};
        Get_4X_UnDX(kPort, kSlave, 1, 2, values);
        slave.misbehave(Misbehaviour::None);
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 2, values), 0);
        feed.pull();
        ClosePort_Modbus(kPort);

        QList<traffic::TrafficLine> late;
        for (qint64 i = start; i < feed.endIndex(); ++i) {
            if (feed.line(i).direction == "迟到的接收") {
                late << feed.line(i);
            }
        }
        QCOMPARE(late.size(), 1);
        QVERIFY2(late[0].bytes.startsWith(bytes), qPrintable(late[0].bytes));
        QVERIFY2(late[0].meaning.contains(meaning), qPrintable(late[0].meaning));
        QVERIFY(late[0].failed);
    }
};

QTEST_GUILESS_MAIN(TstTrafficLines)
#include "tst_traffic_lines.moc"
