// The status line's words for the driver's account of a port, and that the
// status line lives beside the window's parts without touching them.
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QTest>
#include <QTime>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "CountersText.h"
#include "ElidedLabel.h"
#include "LinkStatusBar.h"
#include "LinkStatusText.h"
#include "RecordingDriver.h"
#include "ssqx.h"

Q_DECLARE_METATYPE(Tq7310LinkCounters)

namespace {

Tq7310LinkStatus status(int outcome) {
    Tq7310LinkStatus s{};
    s.outcome = outcome;
    s.round_trip_us = -1;
    s.is_open = 1;
    s.baud = 9600;
    s.parity = 'E';
    std::strcpy(s.device, "/dev/ttyUSB0");
    return s;
}

LinkParamTable linkParam(int port = 1, int address = 1) {
    LinkParamTable table{};
    table[link_param::kPort] = port;
    table[link_param::kAddress] = address;
    return table;
}

// A recording driver whose port reports a different outcome at each look, so
// the status line changes after every call.
class ChangingStatusDriver : public RecordingDriver {
  public:
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t) override {
        static const int outcomes[] = {TQ7310_OK,       TQ7310_TIMEOUT,    TQ7310_EXCEPTION,
                                       TQ7310_IO_ERROR, TQ7310_BAD_FRAME,  TQ7310_OPEN_FAILED,
                                       TQ7310_NOT_OPEN, TQ7310_WRONG_SLAVE};
        Tq7310LinkStatus s = status(outcomes[looks % std::size(outcomes)]);
        s.exception_code = 2;
        s.system_error = EIO;
        s.is_open = looks % 3 != 0;
        s.transactions = looks;
        s.failures = looks / 2;
        s.round_trip_us = 1000 + looks;
        ++looks;
        return s;
    }
    int looks = 0;
};

}  // namespace

class tst_LinkStatus : public QObject {
    Q_OBJECT
  private slots:
    void moduleWordsForEachOutcome_data();
    void moduleWordsForEachOutcome();
    void moduleUnknownUntilSomethingAnswers();
    void linkWords_data();
    void linkWords();
    void withoutStatusExport_data();
    void withoutStatusExport();
    void counters_data();
    void counters();
    void breakdown_data();
    void breakdown();
    void exceptionText_data();
    void exceptionText();
    void statusLineLeavesThePartsAlone();
};

void tst_LinkStatus::moduleWordsForEachOutcome_data() {
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("exceptionCode");
    QTest::addColumn<int>("systemError");
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("healthy");

    QTest::newRow("ok") << int(TQ7310_OK) << 0 << 0 << "模块应答正常" << true;
    QTest::newRow("time-out") << int(TQ7310_TIMEOUT) << 0 << 0 << "超时：无应答" << false;
    QTest::newRow("exception 02") << int(TQ7310_EXCEPTION) << 2 << 0 << "异常应答 02 非法数据地址"
                                  << false;
    QTest::newRow("exception 06") << int(TQ7310_EXCEPTION) << 6 << 0 << "异常应答 06 从站设备忙"
                                  << false;
    QTest::newRow("exception of a gateway")
        << int(TQ7310_EXCEPTION) << 11 << 0 << "异常应答 0B 网关：目标设备无应答" << false;
    QTest::newRow("exception unnamed") << int(TQ7310_EXCEPTION) << 7 << 0 << "异常应答 07" << false;
    QTest::newRow("bad frame") << int(TQ7310_BAD_FRAME) << 0 << 0 << "坏帧：校验或格式不符"
                               << false;
    QTest::newRow("wrong slave") << int(TQ7310_WRONG_SLAVE) << 0 << 0
                                 << "地址 9 的设备应答（有效帧，不是所问的地址）" << false;
    QTest::newRow("echo") << int(TQ7310_ECHO) << 0 << 0
                          << "回显：收到的是本机刚发出的请求（转换器回送发送的字节？）" << false;
    // For AMBIGUOUS the code column is the request the reply may answer late.
    QTest::newRow("ambiguous") << int(TQ7310_AMBIGUOUS) << 9 << 0
                               << "可能是第 9 条迟到的应答，无法分辨" << false;
    QTest::newRow("ambiguous: a write's own frame")
        << int(TQ7310_AMBIGUOUS) << 0 << 0
        << "收到的帧与所发请求相同：是转换器的回显还是写入成功，无法分辨" << false;
    QTest::newRow("device gone, EIO")
        << int(TQ7310_IO_ERROR) << 0 << EIO << "设备断开：输入输出错误" << false;
    QTest::newRow("device gone, ENXIO")
        << int(TQ7310_IO_ERROR) << 0 << ENXIO << "设备断开：没有该设备" << false;
    QTest::newRow("bad argument") << int(TQ7310_BAD_ARGUMENT) << 0 << 0 << "参数无效，未发送"
                                  << false;
    QTest::newRow("not open") << int(TQ7310_NOT_OPEN) << 0 << 0 << "未通讯" << false;
    QTest::newRow("open failed") << int(TQ7310_OPEN_FAILED) << 0 << ENOENT << "未通讯" << false;
    QTest::newRow("nothing yet") << int(TQ7310_NONE) << 0 << 0 << "尚无通讯" << false;
    QTest::newRow("unknown outcome") << 99 << 0 << 0 << "尚无通讯" << false;
}

void tst_LinkStatus::moduleWordsForEachOutcome() {
    QFETCH(int, outcome);
    QFETCH(int, exceptionCode);
    QFETCH(int, systemError);
    QFETCH(QString, module);
    QFETCH(bool, healthy);

    Tq7310LinkStatus s = status(outcome);
    const bool ambiguous = outcome == TQ7310_AMBIGUOUS;
    s.exception_code = ambiguous ? 0 : exceptionCode;
    s.system_error = systemError;
    s.other_address = outcome == TQ7310_WRONG_SLAVE ? 9 : 0;
    s.maybe_answers = ambiguous ? quint32(exceptionCode) : 0;
    s.transactions = 1;
    const LinkStatusText text = describeLink(s, linkParam(), true);
    QCOMPARE(text.module, module);
    QCOMPARE(text.healthy, healthy);
    // "读取失败：超时" on a box: the words without their detail; an
    // exception's name is whole, a gateway's colon and all.
    QCOMPARE(briefOutcomeText(outcome, s.exception_code, s.other_address, s.maybe_answers),
             outcome == TQ7310_EXCEPTION ? module : module.section("：", 0, 0));
    // In the least room, only the detail after "：" gives way.
    LinkStatusBar bar;
    bar.showStatus(text);
    auto* shown = bar.findChild<ElidedLabel*>("ModuleState");
    shown->resize(shown->minimumSizeHint());
    QVERIFY2(shown->shownText().startsWith(module.section("：", 0, 0)),
             qPrintable(shown->shownText()));
}

void tst_LinkStatus::moduleUnknownUntilSomethingAnswers() {
    // Open, but nothing exchanged yet: the module's health is not known.
    const LinkStatusText opened = describeLink(status(TQ7310_OK), linkParam(), true);
    QCOMPARE(opened.module, "尚无通讯");
    QVERIFY(!opened.healthy);
    // Closed: the last exchange no longer speaks for the module.
    Tq7310LinkStatus last = status(TQ7310_OK);
    last.transactions = 20;
    last.is_open = 0;
    const LinkStatusText closed = describeLink(last, linkParam(), false);
    QCOMPARE(closed.link, "端口未打开");
    QCOMPARE(closed.module, "");
    QVERIFY(!closed.healthy);
}

void tst_LinkStatus::linkWords_data() {
    QTest::addColumn<bool>("libraryFound");
    QTest::addColumn<bool>("opened");  // "打开" was the last link action
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("isOpen");
    QTest::addColumn<int>("systemError");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("device");  // as the driver reports it
    const QString dev = "/dev/ttyUSB0";

    QTest::newRow("open") << true << true << int(TQ7310_OK) << true << 0
                          << "端口3 /dev/ttyUSB0 19200,O,8,1 地址7" << dev;
    QTest::newRow("no such device") << true << true << int(TQ7310_OPEN_FAILED) << false << ENOENT
                                    << "端口3 /dev/ttyUSB0 打开失败：没有该设备" << dev;
    QTest::newRow("ENODEV") << true << true << int(TQ7310_OPEN_FAILED) << false << ENODEV
                            << "端口3 /dev/ttyUSB0 打开失败：没有该设备" << dev;
#ifdef __linux__
    QTest::newRow("no permission")
        << true << true << int(TQ7310_OPEN_FAILED) << false << EACCES
        << "端口3 /dev/ttyUSB0 打开失败：没有权限（用户需加入 dialout 组）" << dev;
#else
    QTest::newRow("no permission") << true << true << int(TQ7310_OPEN_FAILED) << false << EACCES
                                   << "端口3 /dev/ttyUSB0 打开失败：没有权限" << dev;
#endif
    QTest::newRow("busy") << true << true << int(TQ7310_OPEN_FAILED) << false << EBUSY
                          << "端口3 /dev/ttyUSB0 打开失败：设备被其他程序占用" << dev;
    QTest::newRow("bad port or settings") << true << true << int(TQ7310_BAD_ARGUMENT) << false << 0
                                          << "端口3 打开失败：端口号或通讯参数无效" << dev;
    QTest::newRow("closed") << true << false << int(TQ7310_OK) << false << 0 << "端口未打开" << dev;
    QTest::newRow("closed, device still open")
        << true << false << int(TQ7310_OK) << true << 0 << "端口未打开" << dev;
    QTest::newRow("never opened") << true << false << int(TQ7310_NONE) << false << 0 << "端口未打开"
                                  << dev;
    QTest::newRow("no library, opened")
        << false << true << 0 << false << 0 << "驱动库 ModbusRTU 未找到" << dev;
    QTest::newRow("no library, not opened")
        << false << false << 0 << false << 0 << "端口未打开" << dev;
    QTest::newRow("Modbus TCP") << true << true << int(TQ7310_OK) << true << 0
                                << "端口3 tcp 192.168.1.20:502 单元7"
                                << "tcp:192.168.1.20:502";
    QTest::newRow("Modbus TCP, IPv6")
        << true << true << int(TQ7310_OK) << true << 0 << "端口3 tcp [fd00::5]:1502 单元7"
        << "tcp:[fd00::5]:1502";
    QTest::newRow("RTU over TCP") << true << true << int(TQ7310_OK) << true << 0
                                  << "端口3 rtu-tcp 10.0.0.5:4001 19200,O,8,1 地址7"
                                  << "rtu-tcp:10.0.0.5:4001";
    QTest::newRow("Modbus TCP refused")
        << true << true << int(TQ7310_OPEN_FAILED) << false << ECONNREFUSED
        << "端口3 tcp 192.168.1.20:502 打开失败：连接被拒绝"
        << "tcp:192.168.1.20:502";
}

void tst_LinkStatus::linkWords() {
    QFETCH(bool, libraryFound);
    QFETCH(bool, opened);
    QFETCH(int, outcome);
    QFETCH(bool, isOpen);
    QFETCH(int, systemError);
    QFETCH(QString, link);
    QFETCH(QString, device);

    std::optional<Tq7310LinkStatus> s;
    if (libraryFound) {
        s = status(outcome);
        std::strcpy(s->device, qPrintable(device));
        s->is_open = isOpen;
        s->system_error = systemError;
        s->baud = 19200;
        s->parity = 'O';
    }
    const LinkStatusText text = describeLink(s, linkParam(3, 7), opened);
    QCOMPARE(text.link, link);
    // In the least room the status line gives it, only the device, or the
    // far end without its kind, is cut.
    LinkStatusBar bar;
    bar.showStatus(text);
    auto* shown = bar.findChild<ElidedLabel*>("LinkState");
    shown->resize(shown->minimumSizeHint());
    QCOMPARE(shown->shownText(), QString(link).replace(device.mid(device.indexOf(':') + 1), "…"));
    if (!libraryFound) {
        QCOMPARE(text.module, QString());
        QCOMPARE(text.counters, QString());
        QVERIFY(!text.healthy);
    }
}

void tst_LinkStatus::withoutStatusExport_data() {
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("baudCode");
    QTest::addColumn<int>("parityCode");
    QTest::addColumn<int>("openResult");
    QTest::addColumn<QString>("link");

    QTest::newRow("open, 19200 odd") << true << 2 << 1 << 0 << "端口3 19200,O,8,1 地址7";
    QTest::newRow("open, 38400 none") << true << 3 << 0 << 0 << "端口3 38400,N,8,1 地址7";
    QTest::newRow("open, 9600 even") << true << 1 << 2 << 0 << "端口3 9600,E,8,1 地址7";
    QTest::newRow("codes never chosen") << true << 0 << 7 << 0 << "端口3 0,?,8,1 地址7";
    QTest::newRow("open failed") << true << 1 << 2 << -2 << "端口3 打开失败";
    QTest::newRow("closed") << false << 1 << 2 << 0 << "端口未打开";
}

void tst_LinkStatus::withoutStatusExport() {
    QFETCH(bool, opened);
    QFETCH(int, baudCode);
    QFETCH(int, parityCode);
    QFETCH(int, openResult);
    QFETCH(QString, link);
    LinkParamTable table = linkParam(3, 7);
    table[link_param::kBaudCode] = baudCode;
    table[link_param::kParityCode] = parityCode;
    table[link_param::kOpenResult] = openResult;
    const LinkStatusText text = describeLink(std::nullopt, table, opened, {true, 12, 3});
    QCOMPARE(text.link, link);
    QCOMPARE(text.linkFailed, openResult != 0);
    // Only the library sees the replies: nothing is said of the module.
    QCOMPARE(text.module, QString());
    QVERIFY(!text.healthy);
    QCOMPARE(text.counters, "通讯 12 次  失败 3 次");
}

void tst_LinkStatus::counters_data() {
    QTest::addColumn<int>("transactions");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("roundTripUs");
    QTest::addColumn<QString>("counters");

    QTest::newRow("none yet") << 0 << 0 << -1 << "通讯 0 次  失败 0 次  往返 - ms";
    QTest::newRow("tenths of a ms") << 12 << 3 << 4567 << "通讯 12 次  失败 3 次  往返 4.6 ms";
    QTest::newRow("rounds up") << 1 << 0 << 999 << "通讯 1 次  失败 0 次  往返 1.0 ms";
    QTest::newRow("under a tenth") << 5 << 0 << 0 << "通讯 5 次  失败 0 次  往返 0.0 ms";
    QTest::newRow("seconds") << 2147483647 << 2147483647 << 1234567
                             << "通讯 2147483647 次  失败 2147483647 次  往返 1234.6 ms";
}

void tst_LinkStatus::counters() {
    QFETCH(int, transactions);
    QFETCH(int, failures);
    QFETCH(int, roundTripUs);
    QFETCH(QString, counters);

    Tq7310LinkStatus s = status(TQ7310_OK);
    s.transactions = transactions;
    s.failures = failures;
    s.round_trip_us = roundTripUs;
    // The counters stay in view after "关闭" too.
    QCOMPARE(describeLink(s, linkParam(), true).counters, counters);
    QCOMPARE(describeLink(s, linkParam(), false).counters, counters);
}

// 通讯记录's counts: each failure kind that happened, the round trips in
// tenths of a ms, "-" where none was timed.
void tst_LinkStatus::breakdown_data() {
    QTest::addColumn<Tq7310LinkCounters>("counts");
    QTest::addColumn<QString>("text");
    Tq7310LinkCounters none{};
    none.round_trip_min_us = none.round_trip_median_us = none.round_trip_p95_us =
        none.round_trip_max_us = -1;
    QTest::newRow("none yet")
        << none << "通讯 0 次  失败 0 次；往返 0 次：最小 -  中位 -  95% -  最大 - ms";
    Tq7310LinkCounters some{};
    some.transactions = 5;
    some.failures = 3;
    some.timeouts = 2;
    some.echoes = 1;
    some.round_trips = 2;
    some.round_trip_median_us = 1549;
    some.round_trip_p95_us = 1551;
    some.round_trip_max_us = 2000;
    QTest::newRow("kinds, a trip under 1 µs") << some
                                              << "通讯 5 次  失败 3 次：超时 2  回显 1；往返 2 "
                                                 "次：最小 0.0  中位 1.5  95% 1.6  最大 2.0 ms";
}

void tst_LinkStatus::breakdown() {
    QFETCH(Tq7310LinkCounters, counts);
    QFETCH(QString, text);
    QCOMPARE(countersBreakdown(counts).section(u'（', 0, 0), text);
}

void tst_LinkStatus::exceptionText_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("01") << 1 << "01 非法功能";
    QTest::newRow("02") << 2 << "02 非法数据地址";
    QTest::newRow("03") << 3 << "03 非法数据值";
    QTest::newRow("04") << 4 << "04 从站设备故障";
    QTest::newRow("05") << 5 << "05 确认";
    QTest::newRow("06") << 6 << "06 从站设备忙";
    QTest::newRow("08") << 8 << "08 存储奇偶错误";
    QTest::newRow("0A") << 10 << "0A 网关：无通路";
    QTest::newRow("0B") << 11 << "0B 网关：目标设备无应答";
    QTest::newRow("00") << 0 << "00";
    QTest::newRow("07") << 7 << "07";
    QTest::newRow("0C") << 12 << "0C";
    QTest::newRow("FF") << 255 << "FF";
}

void tst_LinkStatus::exceptionText() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(::exceptionText(code), text);
}

namespace {

// What the window's parts show: captions, colours and places of the status
// labels, the value boxes and the date and time.
QMap<QString, QString> parts(ssqx& window) {
    QMap<QString, QString> shown;
    const struct {
        const char* array;
        int members;
    } arrays[] = {{"B_2R", 10},  {"B_1RW", 5},  {"D_4R", 4},
                  {"D_4R32", 8}, {"D_4R4", 13}, {"D_4WRW", 22}};
    QStringList names;
    for (const auto& a : arrays) {
        for (int i = 0; i < a.members; ++i) {
            names << memberName(a.array, i);
        }
    }
    names << "Label2(9)"
          << "Label2(10)";
    for (const QString& name : names) {
        if (auto* label = window.findChild<QLabel*>(name)) {
            const QRect at = label->geometry();
            shown[name] = QStringLiteral("%1 | %2 | %3,%4 %5x%6")
                              .arg(label->text(), label->palette().color(QPalette::Window).name())
                              .arg(at.x())
                              .arg(at.y())
                              .arg(at.width())
                              .arg(at.height());
        }
    }
    return shown;
}

QString statusLine(ssqx& window) {
    QStringList texts;
    for (const char* name : {"LinkState", "ModuleState", "LinkCounters"}) {
        texts << window.findChild<QLabel*>(name)->text();
    }
    return texts.join(" | ");
}

// Keeps a step and its twin within one second, so the time labels agree.
void sameSecond() {
    const int ms = QTime::currentTime().msec();
    if (ms > 900) {
        QTest::qWait(1005 - ms);
    }
}

}  // namespace

void tst_LinkStatus::statusLineLeavesThePartsAlone() {
    // Two windows driven alike; only one has a status line that changes.
    ChangingStatusDriver changing;
    RecordingDriver silent;
    ssqx withStatus(changing, [] {});
    ssqx without(silent, [] {});
    withStatus.show();
    without.show();
    QVERIFY(QTest::qWaitForWindowExposed(&withStatus));
    QVERIFY(QTest::qWaitForWindowExposed(&without));

    const auto click = [](const char* name) {
        return
            [name](ssqx& w) { QTest::mouseClick(w.findChild<QPushButton*>(name), Qt::LeftButton); };
    };
    const auto module = [&](std::int32_t inputs, std::int32_t coils, std::int32_t count) {
        return [&changing, &silent, inputs, coils, count](ssqx&) {
            for (RecordingDriver* d : {static_cast<RecordingDriver*>(&changing), &silent}) {
                d->inputBytes[0] = inputs & 0xFF;
                d->inputBytes[1] = inputs >> 8;
                d->coilBytes[0] = coils;
                d->count16 = {count, count + 1, count + 2, count + 3};
                d->count32 = {-count, 70000, 3, 4, 5, 6, 7, count};
                d->config = std::vector<std::int32_t>(16, count % 3);
            }
        };
    };
    const auto statusTick = [](ssqx& w) { w.statusPoll().Timer1_Timer(); };
    const auto counterTick = [](ssqx& w) { w.counterPoll().Timer2_Timer(); };
    const std::vector<std::pair<QString, std::function<void(ssqx&)>>> steps = {
        {"打开", click("Command9")},
        {"status tick", statusTick},
        {"counter tick", counterTick},
        {"置位Y1", click("Command2(0)")},
        {"preset",
         [&](ssqx& w) {
             w.findChild<QLineEdit*>("Text1(5)")->setText("77");
             click("Command2AC(5)")(w);
         }},
        {"清零", click("Command2AC(15)")},
        {"module changes", module(0b01'0101'1010, 0b1001, 12)},
        {"status tick again", statusTick},
        {"counter tick again", counterTick},
        {"关闭", click("Command10")},
    };

    module(0b10'1010'0101, 0b0110, 65535)(withStatus);
    QStringList statusSeen;
    for (const auto& [what, act] : steps) {
        sameSecond();
        act(withStatus);
        act(without);
        statusSeen << statusLine(withStatus);
        QCOMPARE(parts(withStatus), parts(without));
        QVERIFY2(withStatus.linkParam() == without.linkParam(), qPrintable(what));
    }

    // The comparison meant something: the status line did change, and the
    // twin's did not follow it.
    statusSeen.removeDuplicates();
    QVERIFY2(statusSeen.size() >= 5, qPrintable(statusSeen.join('\n')));
    QVERIFY(changing.looks > 10);
    QCOMPARE(changing.calls, silent.calls);
    QVERIFY(statusLine(withStatus) != statusLine(without));
}

QTEST_MAIN(tst_LinkStatus)
#include "tst_linkstatus.moc"
