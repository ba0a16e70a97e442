#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "LibraryDriver.h"
#include "ssqx.h"

class tst_LibraryDriver : public QObject {
    Q_OBJECT
  private slots:
    void missingLibraryMakesEveryCallSkip();
    void panelRunsWithoutLibrary();
    void bindsLibraryBesideExecutable();
    void libraryLoadedAtFirstCallNotAtStart();
    void libraryWithoutStatusExport();
    void missingOperationSkipsOnlyItsSteps();
    void ownWaitOfAnOlderLibrary_data();
    void ownWaitOfAnOlderLibrary();

  private:
    // A build of the library that lacks one export.
    static QString without(const char* symbol) {
        return QCoreApplication::applicationDirPath() + "/libModbusRTU_without_" + symbol + ".so";
    }
};

namespace {

// Opens port 0, which the library refuses without a device, and polls once.
void openPortZeroAndPoll(ssqx& window) {
    window.findChild<QComboBox*>("Combo1")->setEditText("0");
    window.findChild<QPushButton*>("Command9")->click();
    window.statusPoll().Timer1_Timer();
    window.counterPoll().Timer2_Timer();
}

QString statusLine(ssqx& window) {
    QStringList parts;
    for (const char* name : {"LinkState", "ModuleState", "LinkCounters"}) {
        parts << window.findChild<QLabel*>(name)->text();
    }
    return parts.join(" | ");
}

}  // namespace

void tst_LibraryDriver::missingLibraryMakesEveryCallSkip() {
    LibraryDriver driver({"/nonexistent/ModbusRTU"});
    std::int32_t buffer[16] = {7};
    QVERIFY(!driver.OpenPort_Modbus(1, 1, 2));
    driver.ClosePort_Modbus(1);
    QVERIFY(!driver.Get_1X_B16(1, 1, 1, buffer));
    QVERIFY(!driver.Get_3X_LUNDX(1, 1, 11, 8, buffer));
    QVERIFY(!driver.Set_4X_D1(1, 1, 6, 100));
    QVERIFY(!driver.linkStatus(1));
    QCOMPARE(buffer[0], 7);
    QVERIFY(driver.loadedFrom().isEmpty());
}

void tst_LibraryDriver::panelRunsWithoutLibrary() {
    LibraryDriver driver({"/nonexistent/ModbusRTU"});
    ssqx window(driver, [] {});
    window.show();
    window.findChild<QPushButton*>("Command9")->click();
    QCOMPARE(window.linkParam()[link_param::kPort], 1);
    QCOMPARE(window.linkParam()[link_param::kOpenResult], 0);  // the store was skipped
    window.statusPoll().Timer1_Timer();
    window.counterPoll().Timer2_Timer();
    window.findChild<QPushButton*>("Command2AC(15)")->click();
    window.findChild<QPushButton*>("Command10")->click();
    QCOMPARE(window.text("B_2R(0)"), " ");
    QCOMPARE(window.text("D_4R(0)"), "0");
}

void tst_LibraryDriver::bindsLibraryBesideExecutable() {
    LibraryDriver driver;
    // Port 0 is refused by the library itself, so a result proves the binding.
    QCOMPARE(driver.OpenPort_Modbus(0, 1, 2), DriverResult(-1));
    QVERIFY(driver.loadedFrom().contains("ModbusRTU"));
    std::int32_t buffer[2] = {42, 43};
    QCOMPARE(driver.Get_1X_B16(0, 1, 1, buffer), DriverResult(-8888));
    QCOMPARE(buffer[0], 42);
}

void tst_LibraryDriver::libraryLoadedAtFirstCallNotAtStart() {
    LibraryDriver driver;
    ssqx window(driver, [] {});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(driver.loadedFrom().isEmpty());
    window.findChild<QComboBox*>("Combo1")->setEditText("0");
    window.findChild<QPushButton*>("Command9")->click();
    QVERIFY(driver.loadedFrom().contains("ModbusRTU"));
    QCOMPARE(window.linkParam()[link_param::kOpenResult], -1);
}

void tst_LibraryDriver::libraryWithoutStatusExport() {
    LibraryDriver driver({without("TQ7310_GetLinkStatus")});
    ssqx window(driver, [] {});
    openPortZeroAndPoll(window);
    QVERIFY(driver.libraryLoaded());
    QVERIFY(!driver.linkStatus(0));
    // Five reads, each refused by the library: counted by the panel itself.
    QCOMPARE(statusLine(window), "端口0 打开失败 |  | 通讯 5 次  失败 5 次");
}

void tst_LibraryDriver::missingOperationSkipsOnlyItsSteps() {
    LibraryDriver driver({without("Get_3X_LUNDX")});
    ssqx window(driver, [] {});
    openPortZeroAndPoll(window);
    // The reads that exist stored the library's failure code; the missing
    // one was skipped and left its buffer's first value as it was.
    QCOMPARE(window.text("D_4R(0)"), "-8888");
    QCOMPARE(window.text("D_4R32(0)"), "0");
    QCOMPARE(window.text("D_4R4(0)"), "-8888");
    QCOMPARE(window.linkParam()[link_param::kOpenResult], -1);
    QVERIFY(
        statusLine(window).startsWith("端口0 打开失败：端口号或通讯参数无效 | 参数无效，未发送"));
}

// A library from before the exports with a wait of the caller's own still
// serves the line's wait (0) through the export without one.
void tst_LibraryDriver::ownWaitOfAnOlderLibrary_data() {
    QTest::addColumn<QStringList>("library");
    QTest::addColumn<int>("responseUs");
    QTest::addColumn<bool>("called");
    const QStringList older{without("TQ7310_ReadRegistersWithin")};
    QTest::newRow("own wait") << LibraryDriver::defaultCandidates() << 100'000 << true;
    QTest::newRow("older library, the line's wait") << older << 0 << true;
    QTest::newRow("older library, own wait") << older << 100'000 << false;
}

void tst_LibraryDriver::ownWaitOfAnOlderLibrary() {
    QFETCH(QStringList, library);
    QFETCH(int, responseUs);
    QFETCH(bool, called);
    LibraryDriver driver(library);
    std::uint16_t value = 0;
    // Port 0 is refused by the library itself, so a result proves the call.
    QCOMPARE(driver.readRegisters(0, 1, 3, 1, 1, &value, responseUs),
             called ? DriverResult(MODBUSRTU_FAILED) : DriverResult());
    QVERIFY(driver.libraryLoaded());
}

QTEST_MAIN(tst_LibraryDriver)
#include "tst_librarydriver.moc"
