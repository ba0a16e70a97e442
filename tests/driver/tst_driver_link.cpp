// The link over time: a slave that answers too late, a device that goes away
// and comes back, reopening, two ports at once, and pty opens with parity.
#include <QtTest>

#include <modbus/modbus.h>

#include <cerrno>
#include <memory>

#include "DriverTestSupport.h"
#include "ModbusRTU.h"
#include "TestSlave.h"

using namespace driver_test;
using test_slave::Misbehaviour;
using test_slave::ScopedPortEnv;
using test_slave::TestSlave;

namespace {

constexpr int32_t kPort = 11;
constexpr int32_t kOtherPort = 12;
constexpr int32_t kSlave = 1;
constexpr int kWaitMs = 3000;

}  // namespace

class TstDriverLink : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TestSlave> slave_;
    std::unique_ptr<ScopedPortEnv> env_;

    int32_t readHolding(int32_t port, int32_t point) {
        Buffer b = sentinelBuffer();
        return Get_4X_UnDX(port, kSlave, point, 1, b.data());
    }

  private slots:
    void init() {
        slave_ = std::make_unique<TestSlave>(kSlave);
        env_ = std::make_unique<ScopedPortEnv>(kPort, slave_->devicePath());
        slave_->setHoldingRegister(1, 111);
        slave_->setHoldingRegister(2, 222);
    }

    void cleanup() {
        ClosePort_Modbus(kPort);
        ClosePort_Modbus(kOtherPort);
        env_.reset();
        slave_.reset();
    }

    // Both reads have the same shape, so only the data tells the late reply
    // to the first from the answer to the second.
    void lateReplyNeverTakenForTheNext_data() {
        QTest::addColumn<int>("baudCode");
        QTest::addRow("9600") << int{kBaud9600};
        QTest::addRow("19200") << int{kBaud19200};
        QTest::addRow("38400") << int{kBaud38400};
    }

    void lateReplyNeverTakenForTheNext() {
        QFETCH(int, baudCode);
        QCOMPARE(OpenPort_Modbus(kPort, baudCode, kParityEven), 0);
        slave_->misbehave(Misbehaviour::Late);
        QCOMPARE(readHolding(kPort, 1), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, int32_t{TQ7310_TIMEOUT});
        slave_->misbehave(Misbehaviour::None);
        QCOMPARE(readHolding(kPort, 2), 222);
        QCOMPARE(readHolding(kPort, 1), 111);
        QCOMPARE(readHolding(kPort, 2), 222);
    }

    // Polls in a row while the slave keeps answering late: none may return
    // another request's data.
    void lateSlavePolledInARow() {
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        slave_->misbehave(Misbehaviour::Late, 2, 350);
        for (int i = 0; i < 4; ++i) {
            const int32_t point = 1 + i % 2;
            const int32_t result = readHolding(kPort, point);
            QVERIFY2(result == MODBUSRTU_FAILED || result == (point == 1 ? 111 : 222),
                     qPrintable(QString::number(result)));
        }
        slave_->misbehave(Misbehaviour::None);
        QCOMPARE(readHolding(kPort, 2), 222);
        QCOMPARE(readHolding(kPort, 1), 111);
    }

    // Bytes left on the line are read with a byte's gap as their time-out;
    // the next reply still gets the whole response time.
    void slowReplyAfterBytesLeftWaiting() {
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        slave_->misbehave(Misbehaviour::TrailingEcho);
        QCOMPARE(readHolding(kPort, 1), 111);
        slave_->misbehave(Misbehaviour::Late, 2, 100);
        QCOMPARE(readHolding(kPort, 2), 222);
    }

    // On a dead line a poll's requests differ in shape, so none of them waits
    // for the previous one's straggler: each costs one time-out, no more.
    void deadLineCostsOneTimeOutPerRequest() {
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        slave_->misbehave(Misbehaviour::Silent);
        int32_t bits[2] = {};
        int32_t registers[16] = {};
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(Get_1X_B16(kPort, kSlave, 1, bits), MODBUSRTU_FAILED);
        const qint64 first = clock.restart();
        QCOMPARE(Get_0X_B16(kPort, kSlave, 1, bits), MODBUSRTU_FAILED);
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 16, registers), MODBUSRTU_FAILED);
        const qint64 nextTwo = clock.elapsed();
        QVERIFY2(first >= 200 && first < 600, qPrintable(QString::number(first)));
        QVERIFY2(nextTwo < 2 * first + 200, qPrintable(QString::number(nextTwo)));
    }

    // The repeat of a write that timed out is the same request: a late echo
    // of the first confirms it, so the repeat goes out at once.
    void repeatedWriteCostsOneTimeOut() {
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        slave_->misbehave(Misbehaviour::Silent);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(Set_4X_D1(kPort, kSlave, 6, 100), MODBUSRTU_FAILED);
        const qint64 first = clock.restart();
        QCOMPARE(Set_4X_D1(kPort, kSlave, 6, 100), MODBUSRTU_FAILED);
        const qint64 repeat = clock.elapsed();
        QVERIFY2(repeat < first + 150, qPrintable(QString("%1 then %2").arg(first).arg(repeat)));
    }

    void hangUpAndReconnect() {
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityEven), 0);
        QCOMPARE(readHolding(kPort, 1), 111);
        slave_->hangUp();
        slave_->reconnect();

        Buffer b = sentinelBuffer();
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 2, 1, b.data()), MODBUSRTU_FAILED);
        QVERIFY(untouched(b));
        Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.outcome, int32_t{TQ7310_IO_ERROR});
        QVERIFY(status.system_error != 0);

        // Reopened by the driver itself, with the settings of the last open.
        QCOMPARE(readHolding(kPort, 2), 222);
        status = linkStatus(kPort);
        QCOMPARE(status.outcome, int32_t{TQ7310_OK});
        QCOMPARE(status.is_open, 1);
        QCOMPARE(status.baud, 38400);
        QCOMPARE(status.parity, 'E');
        // Counted from the open, across the driver's own reopen.
        QCOMPARE(status.transactions, 3);
        QCOMPARE(status.failures, 1);
    }

    void deviceAwayForSeveralPolls() {
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        QCOMPARE(readHolding(kPort, 1), 111);
        slave_->hangUp();
        QCOMPARE(readHolding(kPort, 1), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, int32_t{TQ7310_IO_ERROR});
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(readHolding(kPort, 1), MODBUSRTU_FAILED);
            const Tq7310LinkStatus status = linkStatus(kPort);
            QCOMPARE(status.outcome, int32_t{TQ7310_OPEN_FAILED});
            QCOMPARE(status.system_error, ENOENT);
            QCOMPARE(status.is_open, 0);
            QCOMPARE(status.failures, 2 + i);
        }
        slave_->reconnect();
        QCOMPARE(readHolding(kPort, 1), 111);
        QCOMPARE(linkStatus(kPort).is_open, 1);
        QCOMPARE(linkStatus(kPort).failures, 4);
    }

    void reopenWithNewSettings() {
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityEven), 0);
        QCOMPARE(readHolding(kPort, 1), 111);
        QCOMPARE(OpenPort_Modbus(kPort, kBaud9600, kParityNone), 0);
        Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.baud, 9600);
        QCOMPARE(status.parity, 'N');
        QCOMPARE(status.transactions, 0);
        QCOMPARE(readHolding(kPort, 2), 222);
        QCOMPARE(OpenPort_Modbus(kPort, kBaud19200, kParityOdd), 0);
        QCOMPARE(readHolding(kPort, 1), 111);
        status = linkStatus(kPort);
        QCOMPARE(status.baud, 19200);
        QCOMPARE(status.parity, 'O');
        QCOMPARE(status.transactions, 1);
    }

    void twoPortsAtOnce() {
        TestSlave other(kSlave);
        other.setHoldingRegister(1, 333);
        ScopedPortEnv otherEnv(kOtherPort, other.devicePath());
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        QCOMPARE(OpenPort_Modbus(kOtherPort, kBaud9600, kParityEven), 0);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(readHolding(kPort, 1), 111);
            QCOMPARE(readHolding(kOtherPort, 1), 333);
        }
        ClosePort_Modbus(kOtherPort);
        QCOMPARE(readHolding(kPort, 1), 111);
        QCOMPARE(readHolding(kOtherPort, 1), MODBUSRTU_FAILED);
        QCOMPARE(slave_->requests(), 4);
        QCOMPARE(other.requests(), 3);
    }

    // glibc's tcsetattr reports EINVAL on a pty asked for parity whenever
    // nothing else changes, which is the case while another descriptor has
    // left the pty at the same settings. The driver must open every time.
    void ptyWithEvenParityOpensEveryTime() {
        modbus_t* holder = modbus_new_rtu(slave_->devicePath().c_str(), 38400, 'E', 8, 1);
        QVERIFY(holder != nullptr);
        const bool holderOpen = modbus_connect(holder) == 0;
        if (holderOpen) {
            modbus_t* plain = modbus_new_rtu(slave_->devicePath().c_str(), 38400, 'E', 8, 1);
            if (modbus_connect(plain) == 0) {
                qWarning("a plain connect with even parity worked here; the case is not exercised");
                modbus_close(plain);
            } else {
                QCOMPARE(errno, EINVAL);
            }
            modbus_free(plain);
        }
        int failures = 0;
        for (int i = 0; i < 300; ++i) {
            if (OpenPort_Modbus(kPort, kBaud38400, kParityEven) != 0) {
                ++failures;
            }
            // Half the rounds reopen without closing.
            if (i % 2 == 0) {
                ClosePort_Modbus(kPort);
            }
        }
        if (holderOpen) {
            modbus_close(holder);
        }
        modbus_free(holder);
        QCOMPARE(failures, 0);
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityEven), 0);
        QCOMPARE(linkStatus(kPort).parity, 'E');
        QCOMPARE(readHolding(kPort, 1), 111);
    }

    void noRequestLeftBehind() {
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(readHolding(kPort, 1 + i % 2), i % 2 == 0 ? 111 : 222);
        }
        QVERIFY(slave_->waitForRequests(20, kWaitMs));
        QCOMPARE(slave_->requests(), 20);
    }
};

QTEST_GUILESS_MAIN(TstDriverLink)
#include "tst_driver_link.moc"
