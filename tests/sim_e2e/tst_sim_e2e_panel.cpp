// What the operator sees when the panel works a module: the real window and
// driver library against tq7310-sim, one fresh simulator per test.

#include <QTest>
#include <array>

#include "PanelOnSim.h"

using namespace sim_e2e;

class tst_SimE2ePanel : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void openShowsCountingAndInputs();
    void setOutputShowsAtLaterTick();
    void writeRightAfterOpenIsDoneOnce();
    void clearDropsOnlyItsCount_data();
    void clearDropsOnlyItsCount();
    void modeWriteShowsInConfig_data();
    void modeWriteShowsInConfig();
    void presetAlarmClosesOutput();

  private:
    // Clicks "打开" with the window's defaults and waits for the first
    // counter tick, after which every value label shows the module.
    void open();

    std::unique_ptr<PanelOnSim> panel_;
};

void tst_SimE2ePanel::init() {
    panel_ = std::make_unique<PanelOnSim>();
    QVERIFY(panel_->valid());
    QVERIFY2(panel_->startSim(), qPrintable(panel_->sim().transcript()));
    QVERIFY(panel_->showWindow(panel_->linkPath()));
}

void tst_SimE2ePanel::cleanup() {
    panel_.reset();
}

void tst_SimE2ePanel::open() {
    TickWatch counterTicks(panel_->window(), "Timer2");
    QVERIFY(counterTicks.valid());
    QVERIFY(panel_->click("Command9"));
    QCOMPARE(panel_->openResult(), 0);
    QVERIFY(counterTicks.waitFor(1, kTicksMs));
    // Not the driver's failure code: the module answered.
    QVERIFY2(panel_->value("D_4R32(0)").value_or(-1) >= 0, qPrintable(panel_->text("D_4R32(0)")));
}

void tst_SimE2ePanel::openShowsCountingAndInputs() {
    QVERIFY(panel_->sim().command("di 2 1"));
    QVERIFY(panel_->sim().command("di 5 1"));
    open();
    if (QTest::currentTestFailed()) {
        return;
    }
    for (int di = 1; di <= 6; ++di) {
        const int label = 3 + di;
        QTRY_COMPARE_WITH_TIMEOUT(panel_->text(memberName("B_2R", label)),
                                  inputCaption(label, di == 2 || di == 5), kTicksMs);
    }

    // Each input's 32-bit count rises from one counter tick to a later one.
    std::array<qint64, 4> first{};
    for (int x = 0; x < 4; ++x) {
        first[x] = panel_->value(memberName("D_4R32", x)).value_or(-1);
        QVERIFY(first[x] >= 0);
    }
    for (int x = 0; x < 4; ++x) {
        QTRY_VERIFY_WITH_TIMEOUT(panel_->value(memberName("D_4R32", x)).value_or(-1) > first[x],
                                 kTicksMs);
    }

    // Each of X1..X4 shows high and low as the module holds it, whenever the
    // status poll happens to look.
    for (int x = 0; x < 4; ++x) {
        for (const bool high : {true, false}) {
            QVERIFY(panel_->sim().command("x " + QByteArray::number(x + 1) + (high ? " 1" : " 0")));
            QTRY_COMPARE_WITH_TIMEOUT(panel_->text(memberName("B_2R", x)), inputCaption(x, high),
                                      kTicksMs);
        }
    }

    // A change made on the module while the panel polls shows at a later tick.
    QVERIFY(panel_->sim().command("di 2 0"));
    QVERIFY(panel_->sim().command("di 6 1"));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_2R(5)"), inputCaption(5, false), kTicksMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_2R(9)"), inputCaption(9, true), kTicksMs);
}

void tst_SimE2ePanel::setOutputShowsAtLaterTick() {
    open();
    if (QTest::currentTestFailed()) {
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_1RW(1)"), outputCaption(1, false), kTicksMs);

    QVERIFY(panel_->click("Command2(1)"));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_1RW(1)"), outputCaption(1, true), kTicksMs);
    for (int y : {0, 2, 3}) {
        QCOMPARE(panel_->text(memberName("B_1RW", y)), outputCaption(y, false));
    }

    QVERIFY(panel_->click("Command3(1)"));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_1RW(1)"), outputCaption(1, false), kTicksMs);
}

void tst_SimE2ePanel::writeRightAfterOpenIsDoneOnce() {
    QVERIFY(panel_->click("Command9"));
    QCOMPARE(panel_->openResult(), 0);
    QVERIFY(panel_->click("Command2(1)"));
    const auto counters = panel_->driver().linkCounters(1).value_or(Tq7310LinkCounters{});
    QVERIFY2(counters.transactions > 1 && counters.failures == 0,
             qPrintable(panel_->recentTraffic()));
}

void tst_SimE2ePanel::clearDropsOnlyItsCount_data() {
    QTest::addColumn<int>("input");  // X1..X4
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("cleared");
    QTest::addColumn<QString>("kept");
    QTest::newRow("X1 32-bit") << 1 << "Command2B(0)"
                               << "D_4R32(0)"
                               << "D_4R(0)";
    QTest::newRow("X3 16-bit") << 3 << "Command2A(2)"
                               << "D_4R(2)"
                               << "D_4R32(2)";
}

void tst_SimE2ePanel::clearDropsOnlyItsCount() {
    QFETCH(int, input);
    QFETCH(QString, button);
    QFETCH(QString, cleared);
    QFETCH(QString, kept);
    // Both counts start far above what the pulses add during the test: 100000
    // for the 32-bit count, 100000 mod 65536 for the 16-bit one.
    constexpr qint64 kHigh = 100000 % 65536;
    QVERIFY(panel_->sim().command(QByteArray("count ") + QByteArray::number(input) + " 100000"));
    open();
    if (QTest::currentTestFailed()) {
        return;
    }
    QVERIFY(panel_->value(cleared).value_or(-1) >= kHigh);
    QVERIFY(panel_->value(kept).value_or(-1) >= kHigh);

    QVERIFY(panel_->click(button));
    QTRY_VERIFY_WITH_TIMEOUT(panel_->value(cleared).value_or(-1) < 1000, kTicksMs);
    QVERIFY2(panel_->value(kept).value_or(-1) >= kHigh, qPrintable(panel_->text(kept)));
}

void tst_SimE2ePanel::modeWriteShowsInConfig_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("frequencies");  // X1..X4's frequency labels
    // The simulator's generators run at 1, 3, 5 and 7 Hz.
    QTest::newRow("frequency measuring") << 1 << QStringList{"1", "3", "5", "7"};
    QTest::newRow("X1/X2 up/down") << 2 << QStringList{"0", "0", "0", "0"};
}

void tst_SimE2ePanel::modeWriteShowsInConfig() {
    QFETCH(int, mode);
    QFETCH(QStringList, frequencies);
    open();
    if (QTest::currentTestFailed()) {
        return;
    }
    QCOMPARE(panel_->text("D_4R4(12)"), "0");

    QVERIFY(panel_->choose("Combo11", mode));
    QVERIFY(panel_->click("Command2AC(12)"));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("D_4R4(12)"), QString::number(mode), kTicksMs);
    for (int x = 0; x < 4; ++x) {
        QTRY_COMPARE_WITH_TIMEOUT(panel_->text(memberName("D_4R32", 4 + x)), frequencies[x],
                                  kTicksMs);
    }
}

void tst_SimE2ePanel::presetAlarmClosesOutput() {
    open();
    if (QTest::currentTestFailed()) {
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_1RW(0)"), outputCaption(0, false), kTicksMs);

    // DO1 on the alarm with the preset still 0: reached at once.
    QVERIFY(panel_->choose("Combo7", 1));
    QCOMPARE(panel_->text("Combo7"), "1:预置值到达报警 ");
    QVERIFY(panel_->click("Command2AC(4)"));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("D_4R4(4)"), "1", kTicksMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_1RW(0)"), outputCaption(0, true), kTicksMs);

    // A preset far above X1's count opens it again...
    QVERIFY(panel_->type("Text1(5)", "50000"));
    QVERIFY(panel_->click("Command2AC(5)"));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("D_4R4(5)"), "50000", kTicksMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_1RW(0)"), outputCaption(0, false), kTicksMs);

    // ...until the count gets there,
    QVERIFY(panel_->sim().command("count 1 50000"));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_1RW(0)"), outputCaption(0, true), kTicksMs);

    // and the alarm does not latch: clearing the 16-bit count opens it.
    QVERIFY(panel_->click("Command2A(0)"));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text("B_1RW(0)"), outputCaption(0, false), kTicksMs);
    QCOMPARE(panel_->text("B_1RW(1)"), outputCaption(1, false));
}

QTEST_MAIN(tst_SimE2ePanel)
#include "tst_sim_e2e_panel.moc"
