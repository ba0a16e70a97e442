// What a port believes of its adapter's echo after what it heard, in order.
#include <QtTest>

#include "EchoState.h"

using modbusrtu::EchoState;

class TstDriverEcho : public QObject {
    Q_OBJECT

  private slots:
    void belief_data() {
        QTest::addColumn<QStringList>("heard");
        QTest::addColumn<int>("state");
        const int unknown = TQ7310_ECHO_UNKNOWN;
        const int present = TQ7310_ECHO_PRESENT;
        const int absent = TQ7310_ECHO_ABSENT;
        QTest::newRow("nothing yet") << QStringList{} << unknown;
        QTest::newRow("an echo") << QStringList{"echo"} << present;
        QTest::newRow("one answer alone") << QStringList{"answer"} << unknown;
        QTest::newRow("two answers alone") << QStringList{"answer", "answer"} << absent;
        QTest::newRow("two misses") << QStringList{"echo", "miss", "miss"} << present;
        QTest::newRow("three misses") << QStringList{"echo", "miss", "miss", "miss"} << unknown;
        QTest::newRow("absence not trusted once an echo came")
            << QStringList{"echo", "miss", "miss", "miss", "answer", "answer"} << unknown;
        QTest::newRow("trusted again after a close")
            << QStringList{"echo", "forget", "answer", "answer"} << absent;
        QTest::newRow("a network") << QStringList{"network"} << absent;
        QTest::newRow("a network hands nothing back") << QStringList{"network", "echo"} << absent;
        QTest::newRow("a serial line after a network")
            << QStringList{"network", "forget", "echo"} << present;
    }

    void belief() {
        QFETCH(QStringList, heard);
        QFETCH(int, state);
        EchoState echo;
        for (const QString& what : heard) {
            if (what == "echo") {
                echo.learn();
            } else if (what == "answer") {
                echo.answeredWithout();
            } else if (what == "miss") {
                echo.missed();
            } else if (what == "forget") {
                echo.forget();
            } else {
                echo.ruleOut();
            }
        }
        QCOMPARE(int(echo.state()), state);
    }
};

QTEST_GUILESS_MAIN(TstDriverEcho)
#include "tst_driver_echo.moc"
