// The prober's verdict for each kind of answer the driver reports, the words
// a found row shows, and how long a probe waits.

#include <QtTest>

#include "ConfigValues.h"
#include "DriverProber.h"
#include "FoundText.h"
#include "OutcomeText.h"
#include "RecordingDriver.h"
#include "Verdict.h"

using namespace finder;
using namespace module_map;

Q_DECLARE_METATYPE(Tq7310Probe)
Q_DECLARE_METATYPE(finder::Answer::Kind)

namespace {

// A driver whose probe reports what the test puts in `probe`.
class ProbedDriver : public RecordingDriver {
  public:
    std::optional<Tq7310Probe> probe;
    Tq7310LinkStatus status{};
    std::int32_t waitedUs = 0;
    std::optional<Tq7310Probe> probeModule(std::int32_t, std::int32_t, std::int32_t us) override {
        waitedUs = us;
        return probe;
    }
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t) override { return status; }
};

// A probe that read all four blocks back, every point 0.
Tq7310Probe allRead() {
    Tq7310Probe p{};
    p.outcome = TQ7310_OK;
    p.fits = 1;
    p.round_trip_us = 4200;
    p.stray_bytes = 0;
    return p;
}

// The module as it runs: X1 counted, DI6 closed, Y5 on, every function 0.
Tq7310Probe module() {
    Tq7310Probe p = allRead();
    p.input_registers[1] = 3;
    p.inputs = 1 << (kFirstDigitalInput + kDigitalInputs - 2);
    p.coils = 1 << (kOutputs - 1);
    return p;
}

Tq7310Probe holding(int reg, std::int32_t value) {
    Tq7310Probe p = module();
    p.holding_registers[reg - kConfigRegister] = value;
    return p;
}

// Points a plain slave may hold that the module never has in those places.
Tq7310Probe busyStranger() {
    Tq7310Probe p = allRead();
    p.inputs = 0xFC00;  // discrete inputs 11..16
    p.coils = 0xFFE0;   // coils 6..16
    p.holding_registers[13] = 9999;
    p.holding_registers[14] = 8888;
    p.holding_registers[15] = 7777;
    std::fill(std::begin(p.input_registers), std::end(p.input_registers), 65535);
    return p;
}

Tq7310Probe failed(Tq7310Outcome outcome, int systemError = 0, int exception = 0) {
    Tq7310Probe p{};
    p.outcome = outcome;
    p.system_error = systemError;
    p.exception_code = exception;
    p.round_trip_us = -1;
    p.stray_bytes = 0;
    return p;
}

Tq7310Probe with(Tq7310Probe p, std::int32_t Tq7310Probe::*field, std::int32_t value) {
    p.*field = value;
    return p;
}

const int kLastDoFunction = kDoFunctionRegister + 2 * (kDoFunctions - 1);
const int kLastDiFunction = kDiFunctionRegister + kDiFunctions - 1;

}  // namespace

class tst_FindProber : public QObject {
    Q_OBJECT
  private slots:
    void verdict_data();
    void verdict();
    void pointsReadBack();
    void openSaysWhyItFailed_data();
    void openSaysWhyItFailed();
    void waitFitsTheLine_data();
    void waitFitsTheLine();
    void refusalOverTheTarget_data();
    void refusalOverTheTarget();
    void recordHeader();
};

void tst_FindProber::verdict_data() {
    QTest::addColumn<std::optional<Tq7310Probe>>("probe");
    QTest::addColumn<Answer::Kind>("kind");
    QTest::addColumn<QString>("words");  // the row's answer
    QTest::addColumn<QString>("why");    // in the row's evidence

    const QString isModule = QStringLiteral("TQ7310 模块");
    const QString maybe = QStringLiteral("可能是 TQ7310 模块");
    const QString other = QStringLiteral("其他 Modbus 设备");
    QTest::newRow("module") << std::optional(module()) << Answer::Module << isModule
                            << "模块没有的点为 0，且有非零值";
    QTest::newRow("DI function at its highest")
        << std::optional(holding(kLastDiFunction, kDiFunctionMax)) << Answer::Module << isModule
        << "";
    QTest::newRow("DO function at its highest")
        << std::optional(holding(kLastDoFunction, kDoFunctionMax)) << Answer::Module << isModule
        << "";
    QTest::newRow("mode at its highest")
        << std::optional(holding(kModeRegister, kModeMax)) << Answer::Module << isModule << "";
    QTest::newRow("preset at 65535")
        << std::optional(holding(kDoPresetRegister, 65535)) << Answer::Module << isModule << "";
    QTest::newRow("nothing but Y1 on") << std::optional(with(allRead(), &Tq7310Probe::coils, 1))
                                       << Answer::Module << isModule << "";

    QTest::newRow("module with every point 0, or an empty slave")
        << std::optional(allRead()) << Answer::MaybeModule << maybe << "全为 0";
    QTest::newRow("slave with unused points set")
        << std::optional(busyStranger()) << Answer::MaybeModule << maybe
        << "DI11–16、线圈6–16 有置位";
    QTest::newRow("module but DI16 on")
        << std::optional(with(module(), &Tq7310Probe::inputs, 1 << 15)) << Answer::MaybeModule
        << maybe << "DI11–16 有置位";
    QTest::newRow("module but coil 6 on")
        << std::optional(with(module(), &Tq7310Probe::coils, 1 << 5)) << Answer::MaybeModule
        << maybe << "线圈6–16 有置位";

    QTest::newRow("first DI function past its range")
        << std::optional(holding(kDiFunctionRegister, kDiFunctionMax + 1)) << Answer::OtherDevice
        << other << "保持寄存器1 = 3，模块不会有此值";
    QTest::newRow("last DI function past its range")
        << std::optional(holding(kLastDiFunction, kDiFunctionMax + 1)) << Answer::OtherDevice
        << other << "保持寄存器4 = 3";
    QTest::newRow("first DO function past its range")
        << std::optional(holding(kDoFunctionRegister, kDoFunctionMax + 1)) << Answer::OtherDevice
        << other << "保持寄存器5 = 2";
    QTest::newRow("last DO function past its range")
        << std::optional(holding(kLastDoFunction, kDoFunctionMax + 1)) << Answer::OtherDevice
        << other << "保持寄存器11 = 2";
    QTest::newRow("mode past its range") << std::optional(holding(kModeRegister, kModeMax + 1))
                                         << Answer::OtherDevice << other << "保持寄存器13 = 3";
    QTest::newRow("a register outside 16 bits") << std::optional(holding(kDoPresetRegister, 65536))
                                                << Answer::OtherDevice << other << "65536";
    QTest::newRow("a negative register")
        << std::optional(holding(kDoPresetRegister, -1)) << Answer::OtherDevice << other << "-1";
    QTest::newRow("a later block unanswered: no refusal")
        << std::optional(with(module(), &Tq7310Probe::fits, 0)) << Answer::MaybeModule << maybe
        << "其余点表块没有应答";
    QTest::newRow("a later block unanswered, a value out of range")
        << std::optional(with(holding(kModeRegister, kModeMax + 1), &Tq7310Probe::fits, 0))
        << Answer::OtherDevice << other << "保持寄存器13";
    QTest::newRow("a later block refused")
        << std::optional(
               with(with(module(), &Tq7310Probe::fits, 0), &Tq7310Probe::exception_code, 2))
        << Answer::OtherDevice << other << "其余点表块应答 异常 02";
    QTest::newRow("exception, in hex") << std::optional(failed(TQ7310_EXCEPTION, 0, 0x0B))
                                       << Answer::OtherDevice << other << "应答 异常 0B";

    QTest::newRow("junk") << std::optional(failed(TQ7310_BAD_FRAME)) << Answer::Garbled
                          << "有字节但无有效帧 (接线对，波特率或校验不对？)"
                          << "没有一帧校验正确";
    QTest::newRow("echo") << std::optional(failed(TQ7310_ECHO)) << Answer::Echo << "回显"
                          << "自己发出的请求";
    QTest::newRow("another address")
        << std::optional(with(failed(TQ7310_WRONG_SLAVE), &Tq7310Probe::other_address, 4))
        << Answer::OtherAddress << other << "来自地址 4";
    QTest::newRow("late reply: bytes waiting, then silence")
        << std::optional(with(failed(TQ7310_TIMEOUT), &Tq7310Probe::stray_bytes, 37))
        << Answer::Silent << ""
        << "";
    QTest::newRow("device gone") << std::optional(failed(TQ7310_IO_ERROR, EIO)) << Answer::PortGone
                                 << ""
                                 << "";
    QTest::newRow("port not open")
        << std::optional(failed(TQ7310_NOT_OPEN)) << Answer::PortGone << ""
        << "";
    QTest::newRow("probe refused")
        << std::optional(failed(TQ7310_BAD_ARGUMENT)) << Answer::CannotProbe << ""
        << "";
    QTest::newRow("library without the probe")
        << std::optional<Tq7310Probe>() << Answer::CannotProbe << ""
        << "";
}

void tst_FindProber::verdict() {
    QFETCH(std::optional<Tq7310Probe>, probe);
    QFETCH(Answer::Kind, kind);
    QFETCH(QString, words);
    QFETCH(QString, why);
    ProbedDriver driver;
    driver.probe = probe;
    DriverProber prober(driver);
    Found found;
    found.answer = prober.probe(1, 7, LineSetting{}, Wait::Fast);
    found.kind = found.answer.kind;
    QCOMPARE(found.kind, kind);
    QCOMPARE(answerText(found), words);
    QVERIFY2(whyText(found).contains(why), qPrintable(whyText(found)));
    QCOMPARE(whyText(found).isEmpty(), words.isEmpty());
    QCOMPARE(pointsText(found).isEmpty(), !probe || probe->outcome != TQ7310_OK || !probe->fits);
    if (probe) {
        QCOMPARE(found.answer.systemError, probe->system_error);
        QCOMPARE(found.answer.exceptionCode, probe->exception_code);
        QCOMPARE(found.answer.roundTripUs, probe->round_trip_us);
        QCOMPARE(found.answer.otherAddress, probe->other_address);
        QCOMPARE(found.answer.strayBytes, probe->stray_bytes);
    }
    QVERIFY(driver.calls.isEmpty());  // a probe only reads, and only through the probe
}

void tst_FindProber::pointsReadBack() {
    Found found;
    found.answer.points = allRead();
    Tq7310Probe& p = found.answer.points;
    p.inputs = 0b1000'0000'0000'0101;
    p.coils = 0b1;
    for (int i = 0; i < 16; ++i) {
        p.input_registers[i] = i;
        p.holding_registers[i] = 100 + i;
    }
    QCOMPARE(pointsText(found),
             QStringLiteral("DI16..1 1000000000000101  线圈16..1 0000000000000001  "
                            "输入寄存器11-26: 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15  "
                            "保持寄存器1-16: 100 101 102 103 104 105 106 107 108 109 110 111 "
                            "112 113 114 115"));
}

void tst_FindProber::openSaysWhyItFailed_data() {
    QTest::addColumn<int>("openResult");
    QTest::addColumn<int>("systemError");  // what the status export says
    QTest::addColumn<bool>("ok");
    QTest::newRow("opened") << 0 << 0 << true;
    QTest::newRow("no permission") << -2 << EACCES << false;
    QTest::newRow("refused before opening") << -1 << 0 << false;
}

void tst_FindProber::openSaysWhyItFailed() {
    QFETCH(int, openResult);
    QFETCH(int, systemError);
    QFETCH(bool, ok);
    ProbedDriver driver;
    driver.openResult = openResult;
    driver.status.system_error = systemError;
    DriverProber prober(driver);
    const OpenResult opened = prober.open(3, LineSetting{2, 1});
    QCOMPARE(driver.calls, QStringList{"OpenPort_Modbus(3,2,1)"});
    QCOMPARE(opened.ok, ok);
    QCOMPARE(opened.systemError, ok ? 0 : systemError);
}

void tst_FindProber::waitFitsTheLine_data() {
    QTest::addColumn<int>("baudCode");
    QTest::addColumn<int>("allowanceUs");
    QTest::addColumn<bool>("patient");
    QTest::addColumn<int>("waitUs");
    // Eight request characters of eleven bits, rounded up, then the allowance.
    const int fast = kProbeAllowanceUs;
    QTest::newRow("9600") << 1 << fast << false << 9167 + fast;
    QTest::newRow("19200") << 2 << fast << false << 4584 + fast;
    QTest::newRow("38400") << 3 << fast << false << 2292 + fast;
    QTest::newRow("38400, lenient") << 3 << 200'000 << false << 2292 + 200'000;
    QTest::newRow("19200, patient") << 2 << fast << true << 4584 + int(kPatientAllowanceUs);
    QTest::newRow("patient, more lenient still") << 2 << 600'000 << true << 4584 + 600'000;
}

void tst_FindProber::waitFitsTheLine() {
    QFETCH(int, baudCode);
    QFETCH(int, allowanceUs);
    QFETCH(bool, patient);
    QFETCH(int, waitUs);
    ProbedDriver driver;
    DriverProber prober(driver);
    prober.setAllowanceUs(allowanceUs);
    prober.probe(1, 1, LineSetting{baudCode, 2}, patient ? Wait::Patient : Wait::Fast);
    QCOMPARE(driver.waitedUs, waitUs);
}

void tst_FindProber::refusalOverTheTarget_data() {
    QTest::addColumn<QByteArray>("target");  // the port's TQ7310_COM1
    QTest::addColumn<int>("exception");
    QTest::addColumn<QString>("words");
    QTest::newRow("Modbus TCP, 0B") << QByteArray("tcp:192.168.1.20") << 0x0B << "无设备";
    QTest::newRow("Modbus TCP, 0A") << QByteArray("tcp:gw:1502") << 0x0A << "无设备";
    QTest::newRow("RTU over TCP, 0B") << QByteArray("rtu-tcp:10.0.0.5:4001") << 0x0B << "无设备";
    QTest::newRow("Modbus TCP, 02: a device there")
        << QByteArray("tcp:gw") << 0x02 << "其他 Modbus 设备";
    QTest::newRow("serial, 0B: as it always was")
        << QByteArray("/dev/ttyUSB0") << 0x0B << "其他 Modbus 设备";
}

void tst_FindProber::refusalOverTheTarget() {
    QFETCH(QByteArray, target);
    QFETCH(int, exception);
    QFETCH(QString, words);
    qputenv("TQ7310_COM1", target);
    ProbedDriver driver;
    driver.probe = failed(TQ7310_EXCEPTION, 0, exception);
    DriverProber prober(driver);
    QVERIFY(prober.open(1, LineSetting{}).ok);
    qunsetenv("TQ7310_COM1");  // read at the open, as the driver reads it
    Found found;
    found.answer = prober.probe(1, 7, LineSetting{}, Wait::Fast);
    found.kind = found.answer.kind;
    QCOMPARE(answerText(found), words);
    // The gateway's refusal in the words every window gives it.
    QVERIFY(whyText(found).contains(found.kind == Answer::NoDevice ? exceptionText(exception)
                                                                   : exceptionHex(exception)));
    QCOMPARE(driver.waitedUs > kProbeAllowanceUs + kNetworkAllowanceUs, target.contains(':'));
}

// The header of a saved search: when, which ports, each port's plan in the
// order searched, the settings and addresses, how it ended.
void tst_FindProber::recordHeader() {
    SearchRecord record;
    record.started = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    record.ports = {{1, "/dev/ttyS0"}, {2, "tcp:10.0.0.9:502"}};
    record.plans = {"端口1 plan", "端口2 plan"};
    record.settings = {LineSetting{1, 2}};  // 9600, even
    record.lastAddress = 16;
    record.state = "已完成";
    QCOMPARE(recordText(record).split('\n').mid(0, 6),
             QStringList({"# 查找模块，开始于 2026-01-02T03:04:05",
                          "# 端口：1 (/dev/ttyS0)、2 (tcp:10.0.0.9:502)", "# 端口1 plan",
                          "# 端口2 plan", "# 波特率和校验：9600,E；地址 1–16", "# 已完成"}));
}

QTEST_APPLESS_MAIN(tst_FindProber)
#include "tst_find_prober.moc"
