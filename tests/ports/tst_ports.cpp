// "端口设置": what the dialog refuses and why, a port the environment set,
// and a choice through a workspace, the driver's variable and the window's
// baud and parity options.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "PortDialog.h"
#include "RecordingDriver.h"
#include "ssqx.h"

namespace {

// Fills the dialog's fields for `port` as a user would and presses "确定".
void choose(ports::PortDialog& dialog, const QString& kind, const QString& device,
            const QString& host, const QString& tcpPort) {
    dialog.findChild<QAbstractButton*>("Kind" + kind)->click();
    dialog.findChild<QComboBox*>("DeviceEdit")->setEditText(device);
    dialog.findChild<QLineEdit*>("HostEdit")->setText(host);
    dialog.findChild<QLineEdit*>("TcpPortEdit")->setText(tcpPort);
    dialog.findChild<QAbstractButton*>("PortOk")->click();
}

}  // namespace

class tst_Ports : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void entries_data();
    void entries();
    void environmentWins();
    void everyControlNamed();
    void choiceThroughWorkspace_data();
    void choiceThroughWorkspace();

  private:
    QTemporaryDir config_;
};

void tst_Ports::initTestCase() {
    // The choices are kept in the settings: these, not the user's.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
}

void tst_Ports::entries_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("tcpPort");
    QTest::addColumn<QString>("result");  // the value chosen, or the refusal shown

    QTest::newRow("serial") << "Serial"
                            << " /dev/ttyUSB3 "
                            << ""
                            << ""
                            << "/dev/ttyUSB3";
    QTest::newRow("no device") << "Serial"
                               << " "
                               << ""
                               << ""
                               << "请选择或输入串口设备";
    QTest::newRow("device written as a target")
        << "Serial"
        << "tcp:10.0.0.1"
        << ""
        << ""
        << "串口设备不能以 tcp: 或 rtu-tcp: 开头（网络目标请选 Modbus TCP 或 RTU over TCP）";
    QTest::newRow("tcp, port left out") << "ModbusTcp"
                                        << ""
                                        << "plc.local"
                                        << ""
                                        << "tcp:plc.local:502";
    QTest::newRow("tcp, IPv6 bare") << "ModbusTcp"
                                    << ""
                                    << "fd00::5"
                                    << "1502"
                                    << "tcp:[fd00::5]:1502";
    QTest::newRow("no host") << "ModbusTcp"
                             << ""
                             << ""
                             << "502"
                             << "请输入主机名或 IP 地址";
    QTest::newRow("host with a blank") << "ModbusTcp"
                                       << ""
                                       << "plc 1"
                                       << "502"
                                       << "主机名或 IP 地址无效（不能含空格、“/”或“[]”）";
    QTest::newRow("port 65536") << "ModbusTcp"
                                << ""
                                << "plc"
                                << "65536"
                                << "TCP 端口应为 1 至 65535 的整数";
    QTest::newRow("port a word") << "RtuOverTcp"
                                 << ""
                                 << "plc"
                                 << "http"
                                 << "TCP 端口应为 1 至 65535 的整数";
    QTest::newRow("rtu-tcp") << "RtuOverTcp"
                             << ""
                             << "10.0.0.5"
                             << "4001"
                             << "rtu-tcp:10.0.0.5:4001";
    QTest::newRow("rtu-tcp without its port") << "RtuOverTcp"
                                              << ""
                                              << "10.0.0.5"
                                              << ""
                                              << "RTU over TCP 须输入串口服务器的 TCP 端口";
    QTest::newRow("automatic") << "Automatic"
                               << "/dev/x"
                               << ""
                               << ""
                               << "";
}

void tst_Ports::entries() {
    QFETCH(QString, kind);
    QFETCH(QString, device);
    QFETCH(QString, host);
    QFETCH(QString, tcpPort);
    QFETCH(QString, result);
    ports::PortChoices choices(ports::PortTexts{});
    choices.setChosen({{4, "/dev/ttyS9"}});
    ports::PortDialog dialog(choices, 4);
    dialog.show();
    choose(dialog, kind, device, host, tcpPort);
    const QString refusal = dialog.findChild<QLabel*>("PortFault")->text();
    QCOMPARE(dialog.result() == QDialog::Accepted, refusal.isEmpty());
    const auto chosen = dialog.chosen().find(4);
    QCOMPARE(refusal.isEmpty() ? (chosen == dialog.chosen().end() ? "" : chosen->second) : refusal,
             result);
}

void tst_Ports::environmentWins() {
    // Set from outside the panel before its window, as by the shell that started it.
    qputenv("TQ7310_COM2", "/dev/ttyFromEnvironment");
    ports::PortChoices choices;
    choices.setChosen({{2, "tcp:10.0.0.9:502"}});
    ports::PortDialog dialog(choices, 2);
    for (const char* field : {"KindSerial", "KindModbusTcp", "DeviceEdit", "HostEdit"}) {
        QVERIFY2(!dialog.findChild<QWidget*>(field)->isEnabled(), field);
    }
    QCOMPARE(dialog.findChild<QComboBox*>("DeviceEdit")->currentText(), "/dev/ttyFromEnvironment");
    QVERIFY(dialog.findChild<QLabel*>("PortSource")->text().contains("TQ7310_COM2"));
    choices.applyToEnvironment();
    QCOMPARE(qgetenv("TQ7310_COM2"), "/dev/ttyFromEnvironment");
    QCOMPARE(choices.target(2), "/dev/ttyFromEnvironment");
    qunsetenv("TQ7310_COM2");
}

void tst_Ports::everyControlNamed() {
    const ports::PortChoices choices(ports::PortTexts{});
    ports::PortDialog dialog(choices, 1);
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (w->focusPolicy() != Qt::NoFocus && w->isVisibleTo(&dialog)) {
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
    }
}

void tst_Ports::choiceThroughWorkspace_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("lineSettings");  // the baud and parity options take input

    QTest::newRow("Modbus TCP") << "ModbusTcp"
                                << "192.168.1.20"
                                << "tcp:192.168.1.20:4001" << false;
    QTest::newRow("RTU over TCP") << "RtuOverTcp"
                                  << "10.0.0.5"
                                  << "rtu-tcp:10.0.0.5:4001" << true;
    QTest::newRow("automatic") << "Automatic"
                               << ""
                               << "" << true;
}

void tst_Ports::choiceThroughWorkspace() {
    QFETCH(QString, kind);
    QFETCH(QString, host);
    QFETCH(QString, target);
    QFETCH(bool, lineSettings);
    RecordingDriver driver;
    ssqx window(driver, [] {});
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.findChild<QComboBox*>("Combo1")->setCurrentIndex(2);
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    auto* dialog = window.findChild<ports::PortDialog*>("PortDialog");
    QVERIFY(dialog);
    choose(*dialog, kind, "", host, "4001");
    QCOMPARE(qgetenv("TQ7310_COM3"), target.toLocal8Bit());
    QTemporaryDir dir;
    const QString path = dir.filePath("w.json");
    QVERIFY(window.saveWorkspace(path));
    // Another choice, then the workspace back.
    window.applyWorkspace([] {
        anypoint::Workspace other;
        other.ports = std::map<int, QString>{{3, "/dev/ttyOther"}};
        return other;
    }());
    QCOMPARE(qgetenv("TQ7310_COM3"), "/dev/ttyOther");
    window.findChild<QComboBox*>("Combo1")->setCurrentIndex(2);
    QVERIFY(window.openWorkspace(path));
    QCOMPARE(qgetenv("TQ7310_COM3"), target.toLocal8Bit());
    for (const char* option : {"Option1(0)", "Option1(2)", "Option2(1)"}) {
        QCOMPARE(window.findChild<QWidget*>(option)->isEnabled(), lineSettings);
    }
}

QTEST_MAIN(tst_Ports)
#include "tst_ports.moc"
