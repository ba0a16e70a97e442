// The simulated module's behaviour, on a clock the test moves by hand.

#include <QtTest>

#include "ManualClock.h"
#include "ModuleMap.h"
#include "ModuleModel.h"

using namespace std::chrono_literals;
namespace mm = module_map;
using sim::ModuleModel;

namespace {

constexpr int kX1 = 0;
constexpr int kX2 = 1;
constexpr int kX3 = 2;
constexpr int kX4 = 3;

int doFunctionRegister(int y) {
    return mm::kDoFunctionRegister + 2 * y;
}
int doPresetRegister(int y) {
    return mm::kDoPresetRegister + 2 * y;
}

}  // namespace

class TestSimModel : public QObject {
    Q_OBJECT

  private slots:
    void startsWithFourDistinctGenerators();
    void countsPulses_data();
    void countsPulses();
    void smallStepsCountLikeOneBigStep();
    void wraps_data();
    void wraps();
    void longIdleDoesNotOverflow();
    void inputIsASquareWave();
    void modes_data();
    void modes();
    void modeChangeKeepsWhatWasCounted();
    void handDrivenInputCountsRisingEdges();
    void diClearFunctions_data();
    void diClearFunctions();
    void doAlarmFollowsSixteenBitCount();
    void configRanges_data();
    void configRanges();
    void spareRegistersReadZero();
};

void TestSimModel::startsWithFourDistinctGenerators() {
    ManualClock c;
    ModuleModel m(c.clock());
    QSet<quint32> seen;
    for (int x = 0; x < ModuleModel::kPulseInputs; ++x) {
        QVERIFY(m.generatorHz(x) > 0);
        seen.insert(m.generatorHz(x));
        QCOMPARE(m.count16(x), 0);
        QCOMPARE(m.count32(x), 0u);
    }
    QCOMPARE(seen.size(), ModuleModel::kPulseInputs);
    QCOMPARE(m.mode(), sim::Mode::Counting);
}

void TestSimModel::countsPulses_data() {
    QTest::addColumn<quint32>("hz");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<quint32>("count");
    QTest::newRow("5 Hz for 2 s") << 5u << 2000ll << 10u;
    QTest::newRow("7 Hz for 1.5 s, half a pulse short") << 7u << 1500ll << 10u;
    QTest::newRow("1 Hz just before the first edge") << 1u << 999ll << 0u;
    QTest::newRow("1 Hz at the first edge") << 1u << 1000ll << 1u;
    QTest::newRow("stopped") << 0u << 5000ll << 0u;
    QTest::newRow("1 kHz for 65.537 s") << 1000u << 65537ll << 65537u;
}

void TestSimModel::countsPulses() {
    QFETCH(quint32, hz);
    QFETCH(qint64, elapsedMs);
    QFETCH(quint32, count);
    ManualClock c;
    ModuleModel m(c.clock());
    m.setFrequency(kX3, hz);
    c.advance(std::chrono::milliseconds(elapsedMs));
    m.sync();
    QCOMPARE(m.count32(kX3), count);
    QCOMPARE(m.count16(kX3), static_cast<quint16>(count));
}

void TestSimModel::smallStepsCountLikeOneBigStep() {
    ManualClock c;
    ModuleModel m(c.clock());
    m.setFrequency(kX1, 3);
    for (int i = 0; i < 3000; ++i) {
        c.advance(1ms);
        m.sync();
    }
    QCOMPARE(m.count32(kX1), 9u);
}

void TestSimModel::wraps_data() {
    QTest::addColumn<quint32>("start");
    QTest::addColumn<quint16>("count16");
    QTest::addColumn<quint32>("count32");
    QTest::newRow("16-bit at 65536") << 65535u << quint16(0) << 65536u;
    QTest::newRow("32-bit at 2^32") << 0xFFFFFFFFu << quint16(0) << 0u;
}

void TestSimModel::wraps() {
    QFETCH(quint32, start);
    QFETCH(quint16, count16);
    QFETCH(quint32, count32);
    ManualClock c;
    ModuleModel m(c.clock());
    m.setFrequency(kX2, 1);
    m.setCount(kX2, start);
    c.advance(1s);
    m.sync();
    QCOMPARE(m.count16(kX2), count16);
    QCOMPARE(m.count32(kX2), count32);
}

void TestSimModel::longIdleDoesNotOverflow() {
    ManualClock c;
    ModuleModel m(c.clock());
    m.setFrequency(kX4, sim::kMaxFrequencyHz);
    const qint64 seconds = 10 * 24 * 3600;
    c.advance(std::chrono::seconds(seconds));
    m.sync();
    const quint64 pulses = quint64(sim::kMaxFrequencyHz) * quint64(seconds);
    QCOMPARE(m.count32(kX4), static_cast<quint32>(pulses));
    QCOMPARE(m.count16(kX4), static_cast<quint16>(pulses));
}

void TestSimModel::inputIsASquareWave() {
    ManualClock c;
    ModuleModel m(c.clock());
    m.setFrequency(kX1, 1);
    const QList<QPair<int, bool>> samples{{250, true}, {750, false}, {1250, true}, {1999, false}};
    qint64 at = 0;
    for (const auto& [ms, level] : samples) {
        c.advance(std::chrono::milliseconds(ms - at));
        at = ms;
        m.sync();
        QCOMPARE(m.pulseInput(kX1), level);
    }
}

void TestSimModel::modes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<quint32>>("counts");
    QTest::addColumn<QList<quint32>>("frequencies");
    // One second at 1, 3, 5 and 7 Hz.
    QTest::newRow("0 counting") << 0 << QList<quint32>{1, 3, 5, 7} << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("1 frequency") << 1 << QList<quint32>{0, 0, 0, 0} << QList<quint32>{1, 3, 5, 7};
    QTest::newRow("2 X1 up, X2 down")
        << 2 << QList<quint32>{0xFFFFFFFEu, 0, 5, 7} << QList<quint32>{0, 0, 0, 0};
}

void TestSimModel::modes() {
    QFETCH(int, mode);
    QFETCH(QList<quint32>, counts);
    QFETCH(QList<quint32>, frequencies);
    ManualClock c;
    ModuleModel m(c.clock());
    const quint32 hz[] = {1, 3, 5, 7};
    for (int x = 0; x < ModuleModel::kPulseInputs; ++x) {
        m.setFrequency(x, hz[x]);
    }
    m.setConfig(mm::kModeRegister, static_cast<quint16>(mode));
    c.advance(1s);
    m.sync();
    for (int x = 0; x < ModuleModel::kPulseInputs; ++x) {
        QCOMPARE(m.count32(x), counts[x]);
        QCOMPARE(m.count16(x), static_cast<quint16>(counts[x]));
        QCOMPARE(m.frequencyValue(x), frequencies[x]);
    }
}

void TestSimModel::modeChangeKeepsWhatWasCounted() {
    ManualClock c;
    ModuleModel m(c.clock());
    m.setFrequency(kX3, 10);
    c.advance(1s);
    m.setConfig(mm::kModeRegister, static_cast<quint16>(sim::Mode::Frequency));
    c.advance(1s);
    m.sync();
    QCOMPARE(m.count32(kX3), 10u);
    QCOMPARE(m.frequencyValue(kX3), 10u);
    m.setConfig(mm::kModeRegister, static_cast<quint16>(sim::Mode::Counting));
    c.advance(1s);
    m.sync();
    QCOMPARE(m.count32(kX3), 20u);
    QCOMPARE(m.frequencyValue(kX3), 0u);
}

void TestSimModel::handDrivenInputCountsRisingEdges() {
    ManualClock c;
    ModuleModel m(c.clock());
    m.setPulseLevel(kX2, false);
    c.advance(10s);
    m.sync();
    QCOMPARE(m.count32(kX2), 0u);  // the generator is off while held
    m.setPulseLevel(kX2, true);
    m.setPulseLevel(kX2, true);
    QCOMPARE(m.count32(kX2), 1u);
    QVERIFY(m.pulseInput(kX2));
    m.setPulseLevel(kX2, false);
    m.setPulseLevel(kX2, true);
    QCOMPARE(m.count32(kX2), 2u);
    m.setConfig(mm::kModeRegister, static_cast<quint16>(sim::Mode::Frequency));
    QCOMPARE(m.frequencyValue(kX2), 0u);
}

void TestSimModel::diClearFunctions_data() {
    QTest::addColumn<int>("di");
    QTest::addColumn<quint16>("function");
    QTest::addColumn<bool>("alreadyClosed");
    QTest::addColumn<quint16>("count16");
    QTest::addColumn<quint32>("count32");
    QTest::newRow("DI1 plain") << 0 << quint16(0) << false << quint16(100) << 100u;
    QTest::newRow("DI1 clears 16-bit") << 0 << quint16(1) << false << quint16(0) << 100u;
    QTest::newRow("DI1 clears 32-bit") << 0 << quint16(2) << false << quint16(100) << 0u;
    QTest::newRow("DI4 clears 16-bit") << 3 << quint16(1) << false << quint16(0) << 100u;
    QTest::newRow("only on closing") << 2 << quint16(2) << true << quint16(100) << 100u;
}

void TestSimModel::diClearFunctions() {
    QFETCH(int, di);
    QFETCH(quint16, function);
    QFETCH(bool, alreadyClosed);
    QFETCH(quint16, count16);
    QFETCH(quint32, count32);
    ManualClock c;
    ModuleModel m(c.clock());
    m.setDigitalInput(di, alreadyClosed);
    m.setConfig(mm::kDiFunctionRegister + di, function);
    for (int x = 0; x < ModuleModel::kPulseInputs; ++x) {
        m.setPulseLevel(x, false);
        m.setCount(x, 100);
    }
    m.setDigitalInput(di, true);
    QVERIFY(m.digitalInput(di));
    for (int x = 0; x < ModuleModel::kPulseInputs; ++x) {
        QCOMPARE(m.count16(x), x == di ? count16 : quint16(100));
        QCOMPARE(m.count32(x), x == di ? count32 : 100u);
    }
}

void TestSimModel::doAlarmFollowsSixteenBitCount() {
    ManualClock c;
    ModuleModel m(c.clock());
    m.setPulseLevel(kX2, false);
    m.setConfig(doPresetRegister(kX2), 10);
    m.setCount(kX2, 9);
    m.setCoil(kX2, true);
    QVERIFY(m.output(kX2));  // coil-driven until the function says otherwise
    m.setConfig(doFunctionRegister(kX2), 1);
    QVERIFY(!m.output(kX2));
    m.setPulseLevel(kX2, true);
    QVERIFY(m.output(kX2));  // the tenth pulse reaches the preset
    m.setCoil(kX2, false);
    QVERIFY(m.output(kX2));  // the master does not drive an alarm output
    m.setCount(kX2, 65536 + 5);
    QVERIFY(!m.output(kX2));  // the 16-bit count is what is compared
    m.clear16(kX2);
    QVERIFY(!m.output(kX2));
    QVERIFY(!m.output(kX1));
    m.setConfig(doFunctionRegister(kX2), 0);
    QVERIFY(m.output(kX2));  // back to the coil, which was last set on
}

void TestSimModel::configRanges_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("DI1 function 2") << mm::kDiFunctionRegister << 2 << true;
    QTest::newRow("DI1 function 3") << mm::kDiFunctionRegister << 3 << false;
    QTest::newRow("DI4 function 3") << mm::kDiFunctionRegister + 3 << 3 << false;
    QTest::newRow("DO1 function 1") << doFunctionRegister(0) << 1 << true;
    QTest::newRow("DO4 function 2") << doFunctionRegister(3) << 2 << false;
    QTest::newRow("DO4 preset 65535") << doPresetRegister(3) << 65535 << true;
    QTest::newRow("mode 2") << mm::kModeRegister << 2 << true;
    QTest::newRow("mode 3") << mm::kModeRegister << 3 << false;
    QTest::newRow("spare") << mm::kModeRegister + 1 << 65535 << true;
}

void TestSimModel::configRanges() {
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(bool, accepted);
    QCOMPARE(mm::configAccepts(reg, static_cast<quint16>(value)), accepted);
}

void TestSimModel::spareRegistersReadZero() {
    ManualClock c;
    ModuleModel m(c.clock());
    for (int r = mm::kConfigRegistersShown + 1; r < mm::kConfigRegister + mm::kConfigRegistersRead;
         ++r) {
        m.setConfig(r, 1234);
        QCOMPARE(m.config(r), 0);
    }
}

QTEST_GUILESS_MAIN(TestSimModel)
#include "tst_sim_model.moc"
