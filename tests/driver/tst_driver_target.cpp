// What a port's TQ7310_COM<n> value names, and how it is written back.
#include <QtTest>

#include "PortTarget.h"

using module_line::TargetKind;

class TstDriverTarget : public QObject {
    Q_OBJECT

  private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");  // -1: refused
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("written");
        const int tcp = int(TargetKind::ModbusTcp);
        const int rtu = int(TargetKind::RtuOverTcp);
        const int serial = int(TargetKind::Serial);
        QTest::newRow("tcp, port left out")
            << "tcp:192.168.1.20" << tcp << "192.168.1.20" << 502 << "tcp:192.168.1.20:502";
        QTest::newRow("tcp by name")
            << "tcp:gw.local:1502" << tcp << "gw.local" << 1502 << "tcp:gw.local:1502";
        QTest::newRow("tcp IPv6") << "tcp:[fe80::1]:5020" << tcp << "fe80::1" << 5020
                                  << "tcp:[fe80::1]:5020";
        QTest::newRow("tcp IPv6, port left out")
            << "tcp:[::1]" << tcp << "::1" << 502 << "tcp:[::1]:502";
        QTest::newRow("rtu-tcp") << "rtu-tcp:10.0.0.5:4001" << rtu << "10.0.0.5" << 4001
                                 << "rtu-tcp:10.0.0.5:4001";
        QTest::newRow("highest port") << "tcp:h:65535" << tcp << "h" << 65535 << "tcp:h:65535";
        QTest::newRow("serial device")
            << "/dev/ttyACM0" << serial << "/dev/ttyACM0" << 0 << "/dev/ttyACM0";
        QTest::newRow("Windows device")
            << "\\\\.\\COM12" << serial << "\\\\.\\COM12" << 0 << "\\\\.\\COM12";
        for (const char* bad :
             {"tcp:", "tcp::502", "tcp:h:", "tcp:h:0", "tcp:h:65536", "tcp:h:5o2", "tcp:::1",
              "tcp:[::1", "tcp:[::1]x", "tcp:[::1]:", "rtu-tcp:h", "tcp:a b:502", "tcp:h/x:1"}) {
            QTest::newRow(bad) << bad << -1 << QString() << 0 << QString();
        }
    }

    void parse() {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, written);
        const auto target = module_line::parsePortTarget(text.toStdString());
        QCOMPARE(target.has_value(), kind >= 0);
        if (target) {
            QCOMPARE(int(target->kind), kind);
            QCOMPARE(QString::fromStdString(target->device), host);
            QCOMPARE(target->tcpPort, port);
            QCOMPARE(QString::fromStdString(target->text()), written);
            QCOMPARE(target->networked(), kind != int(TargetKind::Serial));
        }
    }
};

QTEST_GUILESS_MAIN(TstDriverTarget)
#include "tst_driver_target.moc"
