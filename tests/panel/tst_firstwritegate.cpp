// A write right after the port opens waits, once, for the port to learn
// whether its adapter echoes; the polls teach it meanwhile.
#include <QtTest>

#include "FirstWriteGate.h"
#include "RecordingDriver.h"

using namespace std::chrono_literals;

class TstFirstWriteGate : public QObject {
    Q_OBJECT

  private slots:
    void firstWriteWaitsForTheEcho_data() {
        QTest::addColumn<QList<int>>("echo");  // at open, then after each read in the wait
        QTest::addColumn<bool>("closeInWait");
        QTest::addColumn<QString>("calls");  // Wait, Get (a read), Set, Close
        const int unknown = TQ7310_ECHO_UNKNOWN;
        QTest::newRow("learnt by the second answer")
            << QList<int>{unknown, unknown, TQ7310_ECHO_ABSENT} << false << "WGGSS";
        QTest::newRow("never learnt: once")
            << QList<int>{unknown, unknown, unknown} << false << "WGGSS";
        QTest::newRow("closed in the wait") << QList<int>{unknown} << true << "WCSS";
        QTest::newRow("known at open") << QList<int>{TQ7310_ECHO_PRESENT} << false << "SS";
        QTest::newRow("the library cannot tell") << QList<int>{} << false << "SS";
    }

    void firstWriteWaitsForTheEcho() {
        QFETCH(QList<int>, echo);
        QFETCH(bool, closeInWait);
        QFETCH(QString, calls);
        RecordingDriver driver;
        const auto echoAfter = [&](qsizetype reads) {
            driver.echoReply =
                echo.isEmpty() ? std::nullopt : std::optional(Tq7310Echo(echo.value(reads, 0)));
        };
        echoAfter(0);
        FirstWriteGate gate(driver, 1500ms, [&](const std::function<bool()>& ready, auto) {
            driver.calls << "W";
            for (qsizetype reads = 1; !ready() && reads < echo.size(); echoAfter(reads++)) {
                std::int32_t buffer[101];
                gate.Get_1X_B16(3, 1, 1, buffer);
            }
            if (closeInWait) {
                gate.ClosePort_Modbus(3);
                QVERIFY(ready());
            }
        });
        gate.OpenPort_Modbus(3, 3, 0);
        gate.Set_0X_Bit1(3, 1, 2);
        gate.Set_0X_Bit1(3, 1, 2);
        QString made;
        for (const QString& call : driver.calls.mid(1)) {
            made += call.front();
        }
        QCOMPARE(made, calls);
    }

    void eventsRunOnlyUntilReady() {
        bool ready = false;
        QTimer::singleShot(0, [&] { ready = true; });
        FirstWriteGate::runEventsUntil([&] { return ready; }, 24h);  // a wait to the end hangs
        QVERIFY(ready);
    }
};

QTEST_GUILESS_MAIN(TstFirstWriteGate)
#include "tst_firstwritegate.moc"
