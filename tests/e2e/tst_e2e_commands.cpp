// The buttons over a real RTU exchange: each arrives at the module as one
// write of the right function, protocol address and value, while the polls
// run, and an output switched by a button shows at the next status tick.
#include <QTest>

#include "PanelOnSlave.h"

using namespace e2e;

namespace {

// "05 2 FF00": function, 0-based protocol address, value as sent.
QStringList written(const std::vector<test_slave::WriteRecord>& writes, std::size_t from) {
    QStringList text;
    for (std::size_t i = from; i < writes.size(); ++i) {
        text << QString::asprintf("%02X %d %04X", writes[i].function, writes[i].address,
                                  writes[i].value);
    }
    return text;
}

}  // namespace

class tst_E2eCommands : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();
    void buttonSendsOneWrite_data();
    void buttonSendsOneWrite();
    void outputButtonShowsAtNextTick_data();
    void outputButtonShowsAtNextTick();

  private:
    std::unique_ptr<PanelOnSlave> panel;
};

void tst_E2eCommands::initTestCase() {
    panel = std::make_unique<PanelOnSlave>();
    QVERIFY(QTest::qWaitForWindowExposed(&panel->window));
    QVERIFY(panel->click("Command9"));
    // Polling: the commands below go out between ticks, as a user's would.
    QTRY_COMPARE_WITH_TIMEOUT(panel->text("B_1RW(0)"), "输出Y1断开", 2 * kStatusTickMs + kSlackMs);
}

void tst_E2eCommands::cleanupTestCase() {
    panel.reset();
}

void tst_E2eCommands::buttonSendsOneWrite_data() {
    QTest::addColumn<QString>("editor");  // empty: the button takes nothing from the window
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("置位Y3") << ""
                            << ""
                            << "Command2(2)" << QStringList{"05 2 FF00"};
    QTest::newRow("复位Y1") << ""
                            << ""
                            << "Command3(0)" << QStringList{"05 0 0000"};
    QTest::newRow("置位Y4") << ""
                            << ""
                            << "Command2(3)" << QStringList{"05 3 FF00"};
    QTest::newRow("X3 清零16位") << ""
                                 << ""
                                 << "Command2A(2)" << QStringList{"05 1001 FF00"};
    QTest::newRow("X1 清零32位") << ""
                                 << ""
                                 << "Command2B(0)" << QStringList{"05 1003 FF00"};
    QTest::newRow("X4 清零32位") << ""
                                 << ""
                                 << "Command2B(3)" << QStringList{"05 1006 FF00"};
    QTest::newRow("清零") << ""
                          << ""
                          << "Command2AC(15)" << QStringList{"06 1003 1C89"};
    QTest::newRow("mode list: 频率测量") << "Combo11"
                                         << "1:频率测量 "
                                         << "Command2AC(12)" << QStringList{"06 12 0001"};
    QTest::newRow("DI1 list: 清零32位") << "Combo3"
                                        << "2:清零32位X1计数 "
                                        << "Command2AC(0)" << QStringList{"06 0 0002"};
    QTest::newRow("DO1 preset text") << "Text1(5)"
                                     << "1234"
                                     << "Command2AC(5)" << QStringList{"06 5 04D2"};
    QTest::newRow("DO4 preset text, largest") << "Text1(11)"
                                              << "65535"
                                              << "Command2AC(11)" << QStringList{"06 11 FFFF"};
    QTest::newRow("DO2 preset text out of range") << "Text1(7)"
                                                  << "65536"
                                                  << "Command2AC(7)" << QStringList();
}

void tst_E2eCommands::buttonSendsOneWrite() {
    QFETCH(QString, editor);
    QFETCH(QString, entry);
    QFETCH(QString, button);
    QFETCH(QStringList, expected);

    if (!editor.isEmpty()) {
        QVERIFY2(panel->enter(editor, entry), qPrintable(editor));
    }
    const std::size_t before = panel->slave.writes().size();
    // The handler runs the whole transaction, repeat included, before the
    // click returns, so what is recorded now is all the click sent.
    QVERIFY(panel->click(button));
    QCOMPARE(written(panel->slave.writes(), before), expected);
}

void tst_E2eCommands::outputButtonShowsAtNextTick_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("output");
    QTest::addColumn<bool>("closes");

    QTest::newRow("置位Y1") << "Command2(0)" << 1 << true;
    QTest::newRow("复位Y1") << "Command3(0)" << 1 << false;
    QTest::newRow("置位Y2") << "Command2(1)" << 2 << true;
    QTest::newRow("复位Y4") << "Command3(3)" << 4 << false;
}

void tst_E2eCommands::outputButtonShowsAtNextTick() {
    QFETCH(QString, button);
    QFETCH(int, output);
    QFETCH(bool, closes);

    const QString label = memberName("B_1RW", output - 1);
    const QString before = QStringLiteral("输出Y%1%2").arg(output).arg(closes ? "断开" : "闭合");
    const QString after = QStringLiteral("输出Y%1%2").arg(output).arg(closes ? "闭合" : "断开");
    panel->slave.setCoil(output, !closes);
    QTRY_COMPARE_WITH_TIMEOUT(panel->text(label), before, 2 * kStatusTickMs + kSlackMs);

    QVERIFY(panel->click(button));
    QCOMPARE(panel->slave.coil(output), closes);
    QTRY_COMPARE_WITH_TIMEOUT(panel->text(label), after, kStatusTickMs + kSlackMs);
}

QTEST_MAIN(tst_E2eCommands)
#include "tst_e2e_commands.moc"
