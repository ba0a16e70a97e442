// The two polls over a real RTU exchange: what the module holds reaches
// every status label and value box, in time, and so does what changes.
#include <QColor>
#include <QElapsedTimer>
#include <QTest>

#include "PanelOnSlave.h"

using namespace e2e;

namespace {

// Inputs X1..X4 then DI1..DI6; DI5 and DI6 arrive in the second status byte.
constexpr bool kInputsClosed[10] = {true,  false, true,  true,  false,
                                    false, true,  false, false, true};
constexpr bool kOutputsClosed[4] = {false, true, false, true};
constexpr std::uint16_t kCount16[4] = {65535, 12345, 1, 40000};
// High word first on the wire; the panel shows them as signed 32-bit numbers.
constexpr std::uint32_t kValues32[8] = {0x80000001u, 123456u, 65536u,      0xFFFFFFFFu,
                                        0u,          1000u,   0x7FFFFFFFu, 7u};
constexpr std::uint16_t kConfig[13] = {2, 1, 0, 2, 1, 500, 0, 65535, 1, 40000, 0, 7, 2};

void seed(test_slave::TestSlave& slave) {
    for (int i = 0; i < 10; ++i) {
        slave.setInput(i + 1, kInputsClosed[i]);
    }
    // Read along with the shown points but belonging to no label.
    slave.setInput(11, true);
    slave.setInput(16, true);
    for (int i = 0; i < 4; ++i) {
        slave.setCoil(i + 1, kOutputsClosed[i]);
        slave.setInputRegister(i + 1, kCount16[i]);
    }
    slave.setCoil(5, true);  // Y5 has no visible label
    for (int i = 0; i < 8; ++i) {
        slave.setInputRegister(11 + 2 * i, std::uint16_t(kValues32[i] >> 16));
        slave.setInputRegister(12 + 2 * i, std::uint16_t(kValues32[i] & 0xFFFF));
    }
    for (int i = 0; i < 13; ++i) {
        slave.setHoldingRegister(i + 1, kConfig[i]);
    }
    for (int reg = 14; reg <= 16; ++reg) {
        slave.setHoldingRegister(reg, 9);
    }
}

QMap<QString, QString> statusView() {
    QMap<QString, QString> view;
    for (int i = 0; i < 10; ++i) {
        view[memberName("B_2R", i)] = test_support::inputCaption(i, kInputsClosed[i]);
    }
    for (int i = 0; i < 4; ++i) {
        view[memberName("B_1RW", i)] = test_support::outputCaption(i, kOutputsClosed[i]);
    }
    return view;
}

QMap<QString, QString> counterView() {
    QMap<QString, QString> view;
    for (int i = 0; i < 4; ++i) {
        view[memberName("D_4R", i)] = QString::number(kCount16[i]);
    }
    for (int i = 0; i < 8; ++i) {
        view[memberName("D_4R32", i)] = QString::number(std::int32_t(kValues32[i]));
    }
    for (int i = 0; i < 13; ++i) {
        view[memberName("D_4R4", i)] = QString::number(kConfig[i]);
    }
    return view;
}

enum class Table { Input, Coil, InputRegister, HoldingRegister };

}  // namespace

Q_DECLARE_METATYPE(Table)

class tst_E2eMonitoring : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();
    void showsModuleAfterOpen();
    void showsChangeWithinTwoTicks_data();
    void showsChangeWithinTwoTicks();

  private:
    std::unique_ptr<PanelOnSlave> panel;
    QElapsedTimer sinceOpen;
};

void tst_E2eMonitoring::initTestCase() {
    panel = std::make_unique<PanelOnSlave>();
    QVERIFY(QTest::qWaitForWindowExposed(&panel->window));
    seed(panel->slave);
    sinceOpen.start();
    QVERIFY(panel->click("Command9"));
}

void tst_E2eMonitoring::cleanupTestCase() {
    panel.reset();
}

void tst_E2eMonitoring::showsModuleAfterOpen() {
    QTRY_COMPARE_WITH_TIMEOUT(panel->mismatches(statusView()), QStringList(),
                              remainingOf(2 * kStatusTickMs + kSlackMs, sinceOpen));
    QTRY_COMPARE_WITH_TIMEOUT(panel->mismatches(counterView()), QStringList(),
                              remainingOf(2 * kCounterTickMs + kSlackMs, sinceOpen));
    // The colour goes with the word.
    for (int i = 0; i < 10; ++i) {
        const QColor expected = kInputsClosed[i] ? QColor(0, 255, 0) : QColor(192, 255, 255);
        QCOMPARE(panel->colour(memberName("B_2R", i)), expected);
    }
    for (int i = 0; i < 4; ++i) {
        const QColor expected = kOutputsClosed[i] ? QColor(255, 192, 192) : QColor(255, 255, 0);
        QCOMPARE(panel->colour(memberName("B_1RW", i)), expected);
    }
    // Another round of both polls (two status ticks of two reads, a counter
    // tick of three) leaves it all standing. How soon values arrive is
    // bounded above; here a late tick only makes the round take longer.
    const int requests = panel->slave.requests();
    QTRY_VERIFY_WITH_TIMEOUT(panel->slave.requests() >= requests + 7,
                             2 * kCounterTickMs + kSlackMs);
    QMap<QString, QString> everything = statusView();
    everything.insert(counterView());
    QCOMPARE(panel->mismatches(everything), QStringList());
}

void tst_E2eMonitoring::showsChangeWithinTwoTicks_data() {
    QTest::addColumn<Table>("table");
    QTest::addColumn<int>("point");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("tickMs");

    QTest::newRow("X2 closes") << Table::Input << 2 << 1 << "B_2R(1)"
                               << "输入X2闭合" << kStatusTickMs;
    QTest::newRow("X1 opens") << Table::Input << 1 << 0 << "B_2R(0)"
                              << "输入X1断开" << kStatusTickMs;
    QTest::newRow("DI5 closes") << Table::Input << 9 << 1 << "B_2R(8)"
                                << "输入DI5闭合" << kStatusTickMs;
    QTest::newRow("DI6 opens") << Table::Input << 10 << 0 << "B_2R(9)"
                               << "输入DI6断开" << kStatusTickMs;
    QTest::newRow("Y1 closes") << Table::Coil << 1 << 1 << "B_1RW(0)"
                               << "输出Y1闭合" << kStatusTickMs;
    QTest::newRow("Y4 opens") << Table::Coil << 4 << 0 << "B_1RW(3)"
                              << "输出Y4断开" << kStatusTickMs;
    QTest::newRow("X4 16-bit count") << Table::InputRegister << 4 << 32768 << "D_4R(3)"
                                     << "32768" << kCounterTickMs;
    QTest::newRow("X3 32-bit count, high word")
        << Table::InputRegister << 15 << 0xFFFF << "D_4R32(2)"
        << "-65536" << kCounterTickMs;
    QTest::newRow("X1 frequency, low word") << Table::InputRegister << 20 << 50000 << "D_4R32(4)"
                                            << "50000" << kCounterTickMs;
    QTest::newRow("DO4 preset") << Table::HoldingRegister << 12 << 65534 << "D_4R4(11)"
                                << "65534" << kCounterTickMs;
    QTest::newRow("mode") << Table::HoldingRegister << 13 << 1 << "D_4R4(12)"
                          << "1" << kCounterTickMs;
}

void tst_E2eMonitoring::showsChangeWithinTwoTicks() {
    QFETCH(Table, table);
    QFETCH(int, point);
    QFETCH(int, value);
    QFETCH(QString, control);
    QFETCH(QString, expected);
    QFETCH(int, tickMs);

    QVERIFY(panel->text(control) != expected);
    QElapsedTimer sinceChange;
    sinceChange.start();
    switch (table) {
        case Table::Input:
            panel->slave.setInput(point, value != 0);
            break;
        case Table::Coil:
            panel->slave.setCoil(point, value != 0);
            break;
        case Table::InputRegister:
            panel->slave.setInputRegister(point, std::uint16_t(value));
            break;
        case Table::HoldingRegister:
            panel->slave.setHoldingRegister(point, std::uint16_t(value));
            break;
    }
    QTRY_COMPARE_WITH_TIMEOUT(panel->text(control), expected,
                              remainingOf(2 * tickMs + kSlackMs, sinceChange));
}

QTEST_MAIN(tst_E2eMonitoring)
#include "tst_e2e_monitoring.moc"
