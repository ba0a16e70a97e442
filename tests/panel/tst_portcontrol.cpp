#include <QTest>

#include "PanelFixture.h"
#include "PortControl.h"

class tst_PortControl : public QObject, PanelFixture {
    Q_OBJECT
  private slots:
    void init();
    void open_data();
    void open();
    void noOptionSelectedKeepsEarlierCodes_data();
    void noOptionSelectedKeepsEarlierCodes();
    void numberThatDoesNotFitKeepsEntry();
    void openRunsWithoutLibrary();
    void closeNamesLastStoredPort();
    void closeBeforeOpen();
};

void tst_PortControl::init() {
    reset();
}

void tst_PortControl::open_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("baudOption");
    QTest::addColumn<QString>("parityOption");
    QTest::addColumn<QString>("expectedCall");
    QTest::addColumn<int>("expectedAddress");
    QTest::newRow("defaults") << "1 "
                              << "1 "
                              << "Option1(0)"
                              << "Option2(2)"
                              << "OpenPort_Modbus(1,1,2)" << 1;
    QTest::newRow("38400, no parity") << "1 "
                                      << "1 "
                                      << "Option1(2)"
                                      << "Option2(0)"
                                      << "OpenPort_Modbus(1,3,0)" << 1;
    QTest::newRow("19200, odd") << "2 "
                                << "16 "
                                << "Option1(1)"
                                << "Option2(1)"
                                << "OpenPort_Modbus(2,2,1)" << 16;
    QTest::newRow("typed port 25") << "25"
                                   << "3"
                                   << "Option1(0)"
                                   << "Option2(2)"
                                   << "OpenPort_Modbus(25,1,2)" << 3;
    QTest::newRow("port name gives 0") << "COM1"
                                       << "x"
                                       << "Option1(0)"
                                       << "Option2(2)"
                                       << "OpenPort_Modbus(0,1,2)" << 0;
    QTest::newRow("negative port passes unchanged") << "-7"
                                                    << "300"
                                                    << "Option1(0)"
                                                    << "Option2(2)"
                                                    << "OpenPort_Modbus(-7,1,2)" << 300;
    QTest::newRow("no option selected keeps codes") << "4"
                                                    << "2"
                                                    << ""
                                                    << ""
                                                    << "OpenPort_Modbus(4,0,0)" << 2;
}

void tst_PortControl::open() {
    QFETCH(QString, port);
    QFETCH(QString, address);
    QFETCH(QString, baudOption);
    QFETCH(QString, parityOption);
    QFETCH(QString, expectedCall);
    QFETCH(int, expectedAddress);
    window.texts = {{"Combo1", port}, {"Combo2", address}};
    window.selected = {baudOption, parityOption};
    driver.openResult = -2;
    PortControl(linkParam, driver, window).Command9_Click();
    QCOMPARE(driver.calls, QStringList{expectedCall});
    QCOMPARE(linkParam[link_param::kAddress], expectedAddress);
    QCOMPARE(linkParam[link_param::kOpenResult], -2);
    // The polls start whatever the driver answered.
    QCOMPARE(window.timers.value("Timer1"), true);
    QCOMPARE(window.timers.value("Timer2"), true);
}

void tst_PortControl::noOptionSelectedKeepsEarlierCodes_data() {
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("expectedCall");
    QTest::newRow("neither group") << ""
                                   << "OpenPort_Modbus(1,2,1)";
    QTest::newRow("parity only") << "Option2(0)"
                                 << "OpenPort_Modbus(1,2,0)";
    QTest::newRow("baud only") << "Option1(2)"
                               << "OpenPort_Modbus(1,3,1)";
}

void tst_PortControl::noOptionSelectedKeepsEarlierCodes() {
    QFETCH(QString, selected);
    QFETCH(QString, expectedCall);
    linkParam[link_param::kBaudCode] = 2;
    linkParam[link_param::kParityCode] = 1;
    window.texts = {{"Combo1", "1"}};
    window.selected = {selected};
    PortControl(linkParam, driver, window).Command9_Click();
    QCOMPARE(driver.calls, QStringList{expectedCall});
}

void tst_PortControl::numberThatDoesNotFitKeepsEntry() {
    linkParam[link_param::kPort] = 5;
    linkParam[link_param::kAddress] = 9;
    window.texts = {{"Combo1", "99999999999"}, {"Combo2", "-3e10"}};
    PortControl(linkParam, driver, window).Command9_Click();
    QCOMPARE(linkParam[link_param::kPort], 5);
    QCOMPARE(linkParam[link_param::kAddress], 9);
    QCOMPARE(driver.calls.first(), "OpenPort_Modbus(5,0,0)");
}

void tst_PortControl::openRunsWithoutLibrary() {
    driver.available = false;
    linkParam[link_param::kOpenResult] = 77;
    window.texts = {{"Combo1", "3"}};
    PortControl(linkParam, driver, window).Command9_Click();
    QCOMPARE(linkParam[link_param::kPort], 3);
    QCOMPARE(linkParam[link_param::kOpenResult], 77);  // the store was skipped
    QCOMPARE(window.timers.value("Timer2"), true);
}

void tst_PortControl::closeNamesLastStoredPort() {
    PortControl control(linkParam, driver, window);
    window.texts = {{"Combo1", "1 "}, {"Combo2", "1 "}};
    control.Command9_Click();
    window.texts["Combo1"] = "3 ";
    control.Command9_Click();
    window.texts["Combo1"] = "7 ";  // changed after opening: not used until the next open
    control.Command10_Click();
    QCOMPARE(driver.callsOf("ClosePort_Modbus"), QStringList{"ClosePort_Modbus(3)"});
    QCOMPARE(window.timers.value("Timer1"), false);
    QCOMPARE(window.timers.value("Timer2"), false);
}

void tst_PortControl::closeBeforeOpen() {
    window.captions["D_4R(0)"] = "123";
    PortControl(linkParam, driver, window).Command10_Click();
    QCOMPARE(driver.calls, QStringList{"ClosePort_Modbus(0)"});
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(window.captions.value(memberName("B_2R", i)), " ");
        QCOMPARE(window.colours.value(memberName("B_2R", i)), (Rgb{192, 255, 255}));
    }
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(window.captions.value(memberName("B_1RW", i)), " ");
        QCOMPARE(window.colours.value(memberName("B_1RW", i)), (Rgb{255, 255, 192}));
    }
    QCOMPARE(window.captions.value("D_4R(0)"), "123");
    QCOMPARE(window.captions.size(), 16);
}

QTEST_APPLESS_MAIN(tst_PortControl)
#include "tst_portcontrol.moc"
