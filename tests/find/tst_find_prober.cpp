// The prober's verdict for each kind of answer the driver reports, the words
// a found row shows, and how long a probe waits.

#include <QtTest>

#include "ConfigValues.h"
#include "DriverProber.h"
#include "FoundText.h"
#include "RecordingDriver.h"

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
    std::optional<Tq7310Probe> probeModule(std::int32_t, std::int32_t, std::int32_t) override {
        return probe;
    }
    std::optional<Tq7310LinkStatus> linkStatus(std::int32_t) override { return status; }
};

// A probe that read all four blocks back, holding registers as the module
// starts: every function 0.
Tq7310Probe allRead() {
    Tq7310Probe p{};
    p.outcome = TQ7310_OK;
    p.fits = 1;
    p.round_trip_us = 4200;
    return p;
}

Tq7310Probe holding(int reg, std::int32_t value) {
    Tq7310Probe p = allRead();
    p.holding_registers[reg - kConfigRegister] = value;
    return p;
}

Tq7310Probe failed(Tq7310Outcome outcome, int systemError = 0, int exception = 0) {
    Tq7310Probe p{};
    p.outcome = outcome;
    p.system_error = systemError;
    p.exception_code = exception;
    p.round_trip_us = -1;
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
    void words_data();
    void words();
    void pointsReadBack();
    void openSaysWhyItFailed_data();
    void openSaysWhyItFailed();
    void waitFitsTheLine_data();
    void waitFitsTheLine();
};

void tst_FindProber::verdict_data() {
    QTest::addColumn<std::optional<Tq7310Probe>>("probe");
    QTest::addColumn<Answer::Kind>("kind");

    QTest::newRow("all blocks, functions 0") << std::optional(allRead()) << Answer::Module;
    QTest::newRow("DI function at its highest")
        << std::optional(holding(kLastDiFunction, kDiFunctionMax)) << Answer::Module;
    QTest::newRow("DO function at its highest")
        << std::optional(holding(kLastDoFunction, kDoFunctionMax)) << Answer::Module;
    QTest::newRow("mode at its highest")
        << std::optional(holding(kModeRegister, kModeMax)) << Answer::Module;
    QTest::newRow("preset at 65535")
        << std::optional(holding(kDoPresetRegister, 65535)) << Answer::Module;
    QTest::newRow("spare register, any value")
        << std::optional(holding(kConfigRegistersShown + 1, 65535)) << Answer::Module;

    QTest::newRow("first DI function past its range")
        << std::optional(holding(kDiFunctionRegister, kDiFunctionMax + 1)) << Answer::OtherDevice;
    QTest::newRow("last DI function past its range")
        << std::optional(holding(kLastDiFunction, kDiFunctionMax + 1)) << Answer::OtherDevice;
    QTest::newRow("first DO function past its range")
        << std::optional(holding(kDoFunctionRegister, kDoFunctionMax + 1)) << Answer::OtherDevice;
    QTest::newRow("last DO function past its range")
        << std::optional(holding(kLastDoFunction, kDoFunctionMax + 1)) << Answer::OtherDevice;
    QTest::newRow("mode past its range")
        << std::optional(holding(kModeRegister, kModeMax + 1)) << Answer::OtherDevice;
    QTest::newRow("a register outside 16 bits")
        << std::optional(holding(kDoPresetRegister, 65536)) << Answer::OtherDevice;
    QTest::newRow("a negative register")
        << std::optional(holding(kDoPresetRegister, -1)) << Answer::OtherDevice;
    Tq7310Probe refused = allRead();
    refused.fits = 0;
    QTest::newRow("a later block refused") << std::optional(refused) << Answer::OtherDevice;
    QTest::newRow("exception") << std::optional(failed(TQ7310_EXCEPTION, 0, 2))
                               << Answer::OtherDevice;

    QTest::newRow("bad frame") << std::optional(failed(TQ7310_BAD_FRAME)) << Answer::Garbled;
    QTest::newRow("another slave") << std::optional(failed(TQ7310_WRONG_SLAVE)) << Answer::Garbled;
    QTest::newRow("time-out") << std::optional(failed(TQ7310_TIMEOUT)) << Answer::Silent;
    QTest::newRow("device gone") << std::optional(failed(TQ7310_IO_ERROR, EIO)) << Answer::PortGone;
    QTest::newRow("port not open") << std::optional(failed(TQ7310_NOT_OPEN)) << Answer::PortGone;
    QTest::newRow("no probe export") << std::optional<Tq7310Probe>() << Answer::PortGone;
}

void tst_FindProber::verdict() {
    QFETCH(std::optional<Tq7310Probe>, probe);
    QFETCH(Answer::Kind, kind);
    ProbedDriver driver;
    driver.probe = probe;
    DriverProber prober(driver);
    const Answer answer = prober.probe(1, 7, LineSetting{});
    QCOMPARE(answer.kind, kind);
    if (probe) {
        QCOMPARE(answer.systemError, probe->system_error);
        QCOMPARE(answer.exceptionCode, probe->exception_code);
        QCOMPARE(answer.roundTripUs, probe->round_trip_us);
    }
    QVERIFY(driver.calls.isEmpty());  // a probe only reads, and only through the probe
}

void tst_FindProber::words_data() {
    QTest::addColumn<Answer::Kind>("kind");
    QTest::addColumn<int>("exception");
    QTest::addColumn<QString>("words");
    QTest::newRow("module") << Answer::Module << 0 << "TQ7310 模块";
    QTest::newRow("exception, in hex")
        << Answer::OtherDevice << 0x0B << "其他 Modbus 设备 (异常应答 0b)";
    QTest::newRow("map does not fit") << Answer::OtherDevice << 0 << "其他 Modbus 设备 (点表不符)";
    QTest::newRow("garbled") << Answer::Garbled << 0
                             << "有字节但无有效帧 (接线对，波特率或校验不对？)";
    QTest::newRow("silent") << Answer::Silent << 0 << "";
}

void tst_FindProber::words() {
    QFETCH(Answer::Kind, kind);
    QFETCH(int, exception);
    QFETCH(QString, words);
    Found found;
    found.kind = kind;
    found.answer.exceptionCode = exception;
    QCOMPARE(answerText(found), words);
    QCOMPARE(pointsText(found).isEmpty(), kind != Answer::Module);
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
    QTest::addColumn<int>("waitUs");
    // Eight request characters of eleven bits, rounded up, then the allowance.
    QTest::newRow("9600") << 1 << int(kProbeAllowanceUs) << 9167 + kProbeAllowanceUs;
    QTest::newRow("19200") << 2 << int(kProbeAllowanceUs) << 4584 + kProbeAllowanceUs;
    QTest::newRow("38400") << 3 << int(kProbeAllowanceUs) << 2292 + kProbeAllowanceUs;
    QTest::newRow("38400, lenient") << 3 << 200'000 << 2292 + 200'000;
}

void tst_FindProber::waitFitsTheLine() {
    QFETCH(int, baudCode);
    QFETCH(int, allowanceUs);
    QFETCH(int, waitUs);
    QCOMPARE(probeWaitUs(LineSetting{baudCode, 2}, allowanceUs), waitUs);
}

QTEST_APPLESS_MAIN(tst_FindProber)
#include "tst_find_prober.moc"
