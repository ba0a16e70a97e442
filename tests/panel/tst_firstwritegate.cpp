// A write right after the port opens waits, once, for the port to learn
// whether its adapter echoes; the polls teach it meanwhile.
#include <QtTest>

#include "FirstWriteGate.h"
#include "RecordingDriver.h"

using namespace std::chrono_literals;

namespace {
constexpr std::int32_t kPort = 3;
}

class TstFirstWriteGate : public QObject {
    Q_OBJECT

  private slots:
    void firstWriteWaitsForTheEcho_data() {
        QTest::addColumn<QList<int>>("echo");  // at open, then after each read in the wait
        QTest::addColumn<bool>("closeInWait");
        QTest::addColumn<QStringList>("calls");
        const QString open = "OpenPort_Modbus(3,3,0)";
        const QString read = "Get_1X_B16(3,1,1)";
        const QString set = "Set_0X_Bit1(3,1,2)";
        const QString wait = "wait";
        QTest::newRow("learnt by the polls' second answer")
            << QList<int>{TQ7310_ECHO_UNKNOWN, TQ7310_ECHO_UNKNOWN, TQ7310_ECHO_ABSENT} << false
            << QStringList{open, wait, read, read, set, set};
        QTest::newRow("never learnt: once, then no more")
            << QList<int>{TQ7310_ECHO_UNKNOWN, TQ7310_ECHO_UNKNOWN, TQ7310_ECHO_UNKNOWN} << false
            << QStringList{open, wait, read, read, set, set};
        QTest::newRow("closed in the wait")
            << QList<int>{TQ7310_ECHO_UNKNOWN} << true
            << QStringList{open, wait, "ClosePort_Modbus(3)", set, set};
        QTest::newRow("known at open")
            << QList<int>{TQ7310_ECHO_PRESENT} << false << QStringList{open, set, set};
        QTest::newRow("the library cannot tell")
            << QList<int>{} << false << QStringList{open, set, set};
    }

    void firstWriteWaitsForTheEcho() {
        QFETCH(QList<int>, echo);
        QFETCH(bool, closeInWait);
        QFETCH(QStringList, calls);
        RecordingDriver driver;
        const auto echoAfter = [&](qsizetype reads) {
            driver.echoReply = echo.isEmpty()
                                   ? std::nullopt
                                   : std::optional(Tq7310Echo(echo.value(reads, echo.last())));
        };
        echoAfter(0);
        FirstWriteGate gate(driver, 1500ms, [&](const std::function<bool()>& ready, auto bound) {
            QCOMPARE(bound, 1500ms);
            driver.calls << "wait";
            for (qsizetype reads = 1; !ready() && reads < echo.size(); ++reads) {
                std::int32_t buffer[101];
                gate.Get_1X_B16(kPort, 1, 1, buffer);
                echoAfter(reads);
            }
            if (closeInWait) {
                gate.ClosePort_Modbus(kPort);
                QVERIFY(ready());
            }
        });
        gate.OpenPort_Modbus(kPort, 3, 0);
        gate.Set_0X_Bit1(kPort, 1, 2);
        gate.Set_0X_Bit1(kPort, 1, 2);
        QCOMPARE(driver.calls, calls);
    }

    void eventsRunUntilReadyOrBound() {
        bool ready = false;
        QTimer::singleShot(10ms, [&] { ready = true; });
        FirstWriteGate::runEventsUntil([&] { return ready; }, 60s);
        QVERIFY(ready);
        QElapsedTimer waited;
        waited.start();
        FirstWriteGate::runEventsUntil([] { return false; }, 50ms);
        QVERIFY(waited.elapsed() >= 50);
    }
};

QTEST_GUILESS_MAIN(TstFirstWriteGate)
#include "tst_firstwritegate.moc"
