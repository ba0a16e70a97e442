// The simulator against an independent master: Debian's mbpoll.

#include <QStandardPaths>
#include <QtTest>

#include "ModuleMap.h"
#include "SimProcess.h"

namespace mm = module_map;

namespace {

constexpr int kMbpollMs = 10000;

struct Poll {
    bool ok = false;
    QMap<int, qint64> values;  // point -> value, as mbpoll prints "[point]: value"
    QString output;
};

}  // namespace

class TestSimMbpoll : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void readsInputs();
    void readsCounts();
    void frequencyModeShowsFrequencies();
    void writesCoils();
    void writesConfiguration();
    void refusesWithExceptions();

  private:
    // Reads (no values) or writes (values) points of one table, once.
    Poll mbpoll(const QString& table, int first, int count, const QStringList& values = {},
                const QStringList& extra = {});

    QString mbpoll_;
    SimProcess* sim_ = nullptr;
};

void TestSimMbpoll::initTestCase() {
    mbpoll_ = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    if (mbpoll_.isEmpty()) {
        QSKIP("mbpoll is not installed");
    }
}

void TestSimMbpoll::init() {
    sim_ = new SimProcess;
    // A pseudo-terminal has no parity bit and Linux may refuse mbpoll's even
    // parity setting on one now and then, so both ends run without parity.
    QVERIFY2(sim_->start({"--parity", "none"}), qPrintable(sim_->transcript()));
    // Hold X1..X4 still so what mbpoll reads can be known in advance.
    for (int x = 1; x <= mm::kCountingInputs; ++x) {
        QVERIFY(sim_->command(QByteArray("x ") + QByteArray::number(x) + " 0"));
    }
}

void TestSimMbpoll::cleanup() {
    QVERIFY(sim_->stop());
    delete sim_;
    sim_ = nullptr;
}

Poll TestSimMbpoll::mbpoll(const QString& table, int first, int count, const QStringList& values,
                           const QStringList& extra) {
    QStringList args{"-m", "rtu",  "-a", "1",   "-b", "9600",
                     "-P", "none", "-t", table, "-r", QString::number(first),
                     "-1", "-o",   "2"};
    // mbpoll writes as many points as it is given values and refuses -c then.
    if (values.isEmpty()) {
        args << "-c" << QString::number(count);
    }
    args << extra << sim_->device();
    if (!values.isEmpty()) {
        args << "--" << values;
    }
    QProcess p;
    p.start(mbpoll_, args);
    Poll result;
    if (!p.waitForFinished(kMbpollMs)) {
        p.kill();
        p.waitForFinished();
        return result;
    }
    result.output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    result.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    static const QRegularExpression row(QStringLiteral("^\\[(\\d+)\\]:\\s+(-?\\d+)"),
                                        QRegularExpression::MultilineOption);
    for (auto it = row.globalMatch(result.output); it.hasNext();) {
        const auto m = it.next();
        result.values.insert(m.captured(1).toInt(), m.captured(2).toLongLong());
    }
    return result;
}

void TestSimMbpoll::readsInputs() {
    QVERIFY(sim_->command("x 1 1"));
    QVERIFY(sim_->command("x 3 1"));
    QVERIFY(sim_->command("di 1 1"));
    QVERIFY(sim_->command("di 6 1"));
    const Poll p = mbpoll("1", mm::kFirstInput, mm::kInputsRead);
    QVERIFY2(p.ok, qPrintable(p.output));
    QMap<int, qint64> expected;
    for (int i = 0; i < mm::kInputsRead; ++i) {
        expected.insert(mm::kFirstInput + i, 0);
    }
    expected[mm::kFirstInput] = 1;                                  // X1
    expected[mm::kFirstInput + 2] = 1;                              // X3
    expected[mm::kFirstDigitalInput] = 1;                           // DI1
    expected[mm::kFirstDigitalInput + mm::kDigitalInputs - 1] = 1;  // DI6
    QCOMPARE(p.values, expected);
}

void TestSimMbpoll::readsCounts() {
    QVERIFY(sim_->command("count 1 70000"));
    QVERIFY(sim_->command("count 4 123456789"));
    const Poll narrow = mbpoll("3", mm::kCount16Register, mm::kCount16Values);
    QVERIFY2(narrow.ok, qPrintable(narrow.output));
    QCOMPARE(narrow.values.value(mm::kCount16Register), 70000 - 65536);
    QCOMPARE(narrow.values.value(mm::kCount16Register + 3), 123456789 % 65536);
    // -B: the high word sits in the lower-numbered register.
    const Poll wide = mbpoll("3:int", mm::kCount32Register, mm::kCountingInputs, {}, {"-B"});
    QVERIFY2(wide.ok, qPrintable(wide.output));
    QCOMPARE(wide.values.value(mm::kCount32Register), 70000);
    QCOMPARE(wide.values.value(mm::kCount32Register + 2), 0);
    QCOMPARE(wide.values.value(mm::kCount32Register + 6), 123456789);
}

void TestSimMbpoll::frequencyModeShowsFrequencies() {
    QVERIFY(sim_->command("count 2 5"));
    QVERIFY(mbpoll("4", mm::kModeRegister, 1, {"1"}).ok);
    QVERIFY(sim_->command("freq 1 50"));
    QVERIFY(sim_->command("freq 2 1000000"));
    const Poll p = mbpoll("3:int", mm::kCount32Register, mm::kCount32Values, {}, {"-B"});
    QVERIFY2(p.ok, qPrintable(p.output));
    const int frequencies = mm::kCount32Register + 2 * mm::kFrequencyValueOffset;
    // Measuring, the module stops counting: X2's count stays where it was.
    QCOMPARE(p.values.value(mm::kCount32Register + 2), 5);
    QCOMPARE(p.values.value(frequencies), 50);
    QCOMPARE(p.values.value(frequencies + 2), 1000000);
    QCOMPARE(p.values.value(frequencies + 4), 0);  // X3 is held by hand
}

void TestSimMbpoll::writesCoils() {
    QVERIFY(sim_->command("count 3 1000"));
    const Poll y2 = mbpoll("0", mm::kFirstCoil + 1, 1, {"1"});
    QVERIFY2(y2.ok, qPrintable(y2.output));
    const Poll clear = mbpoll("0", mm::kClear16Coil + 2, 1, {"1"});
    QVERIFY2(clear.ok, qPrintable(clear.output));

    const Poll coils = mbpoll("0", mm::kFirstCoil, mm::kCoilsRead);
    QVERIFY2(coils.ok, qPrintable(coils.output));
    QMap<int, qint64> expected;
    for (int i = 0; i < mm::kCoilsRead; ++i) {
        expected.insert(mm::kFirstCoil + i, i == 1 ? 1 : 0);
    }
    QCOMPARE(coils.values, expected);
    // The clear coil did its work and reads off again.
    const Poll clears = mbpoll("0", mm::kClear16Coil, 2 * mm::kCountingInputs);
    QVERIFY2(clears.ok, qPrintable(clears.output));
    for (qint64 v : clears.values) {
        QCOMPARE(v, 0);
    }
    const Poll counts = mbpoll("3", mm::kCount16Register, mm::kCount16Values);
    QCOMPARE(counts.values.value(mm::kCount16Register + 2), 0);
}

void TestSimMbpoll::writesConfiguration() {
    const Poll write = mbpoll("4", mm::kDiFunctionRegister, 1, {"2"});
    QVERIFY2(write.ok, qPrintable(write.output));
    QVERIFY(mbpoll("4", mm::kDoPresetRegister, 1, {"65535"}).ok);
    const Poll read = mbpoll("4", mm::kConfigRegister, mm::kConfigRegistersRead);
    QVERIFY2(read.ok, qPrintable(read.output));
    QMap<int, qint64> expected;
    for (int i = 0; i < mm::kConfigRegistersRead; ++i) {
        expected.insert(mm::kConfigRegister + i, 0);
    }
    expected[mm::kDiFunctionRegister] = 2;
    expected[mm::kDoPresetRegister] = 65535;
    QCOMPARE(read.values, expected);
    // The DI1 function now clears X1's 32-bit count when DI1 closes.
    QVERIFY(sim_->command("count 1 77"));
    QVERIFY(sim_->command("di 1 1"));
    const Poll counts = mbpoll("3", mm::kCount16Register, 1);
    QCOMPARE(counts.values.value(mm::kCount16Register), 77);
}

void TestSimMbpoll::refusesWithExceptions() {
    const Poll badMode = mbpoll("4", mm::kModeRegister, 1, {"3"});
    QVERIFY(!badMode.ok);
    QVERIFY2(badMode.output.contains("Illegal data value"), qPrintable(badMode.output));
    const Poll badCode = mbpoll("4", mm::kClearCodeRegister, 1, {"1"});
    QVERIFY(!badCode.ok);
    QVERIFY2(badCode.output.contains("Illegal data value"), qPrintable(badCode.output));
    const Poll nowhere =
        mbpoll("3", mm::kCount16Register + mm::kCount16Values, 1);  // between the count blocks
    QVERIFY(!nowhere.ok);
    QVERIFY2(nowhere.output.contains("Illegal data address"), qPrintable(nowhere.output));
}

QTEST_GUILESS_MAIN(TestSimMbpoll)
#include "tst_sim_mbpoll.moc"
