// How each way a transaction can go wrong comes back: -8888 with the
// caller's buffer untouched, and the kind of failure in the link status.
#include <QFile>
#include <QtTest>

#include <cerrno>
#include <memory>

#include "DriverTestSupport.h"
#include "ModbusRTU.h"
#include "TestSlave.h"

using namespace driver_test;
using test_slave::Misbehaviour;
using test_slave::ScopedPortEnv;
using test_slave::TestSlave;

Q_DECLARE_METATYPE(Misbehaviour)

namespace {

constexpr int32_t kPort = 9;
constexpr int32_t kSlave = 3;

}  // namespace

class TstDriverFailures : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TestSlave> slave_;
    std::unique_ptr<ScopedPortEnv> env_;

  private slots:
    void init() {
        slave_ = std::make_unique<TestSlave>(kSlave);
        env_ = std::make_unique<ScopedPortEnv>(kPort, slave_->devicePath());
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        for (int point = 1; point <= 20; ++point) {
            slave_->setHoldingRegister(point, static_cast<uint16_t>(100 + point));
            slave_->setInputRegister(point, static_cast<uint16_t>(200 + point));
        }
    }

    void cleanup() {
        ClosePort_Modbus(kPort);
        env_.reset();
        slave_.reset();
    }

    // Bytes left on the line after an answer (an echo, noise) are flushed
    // before the next request, so they never pass for part of its answer.
    void strayBytesBetweenRequestsAreDropped() {
        slave_->misbehave(Misbehaviour::TrailingEcho);
        for (int point = 1; point <= 3; ++point) {
            Buffer b = sentinelBuffer();
            QCOMPARE(Get_4X_UnDX(kPort, kSlave, point, 2, b.data()), 100 + point);
            QCOMPARE(b[1], 101 + point);
            QCOMPARE(linkStatus(kPort).outcome, int{TQ7310_OK});
        }
        QVERIFY(slave_->waitForRequests(3, 1000));
    }

    void misbehavingSlave_data() {
        QTest::addColumn<Misbehaviour>("misbehaviour");
        QTest::addColumn<int>("exceptionCode");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("answered");  // a round trip only where the slave answered
        QTest::addRow("no answer") << Misbehaviour::Silent << 0 << int{TQ7310_TIMEOUT} << false;
        QTest::addRow("illegal function")
            << Misbehaviour::Exception << 1 << int{TQ7310_EXCEPTION} << true;
        QTest::addRow("illegal data address")
            << Misbehaviour::Exception << 2 << int{TQ7310_EXCEPTION} << true;
        QTest::addRow("slave device busy")
            << Misbehaviour::Exception << 6 << int{TQ7310_EXCEPTION} << true;
        QTest::addRow("bad CRC") << Misbehaviour::BadCrc << 0 << int{TQ7310_BAD_FRAME} << false;
        QTest::addRow("another slave answers")
            << Misbehaviour::WrongSlave << 0 << int{TQ7310_WRONG_SLAVE} << false;
        QTest::addRow("reply cut short")
            << Misbehaviour::Truncated << 0 << int{TQ7310_BAD_FRAME} << false;
    }

    void misbehavingSlave() {
        QFETCH(Misbehaviour, misbehaviour);
        QFETCH(int, exceptionCode);
        QFETCH(int, outcome);
        QFETCH(bool, answered);
        slave_->misbehave(misbehaviour, exceptionCode == 0 ? 2 : exceptionCode);

        Buffer b = sentinelBuffer();
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 4, b.data()), MODBUSRTU_FAILED);
        QVERIFY(untouched(b));
        QCOMPARE(Get_3X_LUNDX(kPort, kSlave, 1, 2, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(Get_1X_B16(kPort, kSlave, 1, b.data()), MODBUSRTU_FAILED);
        QVERIFY(untouched(b));
        QCOMPARE(Set_4X_D1(kPort, kSlave, 20, 5), MODBUSRTU_FAILED);

        const Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.outcome, outcome);
        QCOMPARE(status.exception_code, exceptionCode);
        QCOMPARE(status.system_error, 0);
        QCOMPARE(status.transactions, 4);
        QCOMPARE(status.failures, 4);
        QCOMPARE(status.is_open, 1);
        QCOMPARE(status.round_trip_us > 0, answered);
        QCOMPARE(slave_->requests(), 4);

        // The port is still good once the slave behaves (a read of another
        // length, which no late answer to the failed ones could pass for).
        slave_->misbehave(Misbehaviour::None);
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 5, b.data()), 101);
        QCOMPARE(b[4], 105);
        QCOMPARE(linkStatus(kPort).outcome, int32_t{TQ7310_OK});
    }

    // A probe reads the four blocks of the module's map and says who
    // answered; it never writes.
    void probeAnswers_data() {
        QTest::addColumn<Misbehaviour>("misbehaviour");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("exceptionCode");
        QTest::addColumn<int>("requests");
        QTest::addRow("all four blocks") << Misbehaviour::None << int{TQ7310_OK} << 0 << 4;
        QTest::addRow("exception") << Misbehaviour::Exception << int{TQ7310_EXCEPTION} << 2 << 1;
        QTest::addRow("no answer") << Misbehaviour::Silent << int{TQ7310_TIMEOUT} << 0 << 1;
        QTest::addRow("bad CRC") << Misbehaviour::BadCrc << int{TQ7310_BAD_FRAME} << 0 << 1;
        QTest::addRow("another slave")
            << Misbehaviour::WrongSlave << int{TQ7310_WRONG_SLAVE} << 0 << 1;
    }

    void probeAnswers() {
        QFETCH(Misbehaviour, misbehaviour);
        QFETCH(int, outcome);
        QFETCH(int, exceptionCode);
        QFETCH(int, requests);
        slave_->misbehave(misbehaviour);
        Tq7310Probe probe{};
        QCOMPARE(TQ7310_ProbeModule(kPort, kSlave, 200'000, &probe), 0);
        QCOMPARE(probe.outcome, outcome);
        QCOMPARE(probe.exception_code, exceptionCode);
        QCOMPARE(probe.fits, outcome == TQ7310_OK ? 1 : 0);
        QCOMPARE(probe.round_trip_us > 0, outcome == TQ7310_OK);
        if (outcome == TQ7310_OK) {
            QCOMPARE(probe.holding_registers[0], 101);
            QCOMPARE(probe.input_registers[0], 211);  // input register 11
        }
        QVERIFY(slave_->waitForRequests(requests, 1000));
        QCOMPARE(slave_->requests(), requests);
        QVERIFY(slave_->writes().empty());
        Tq7310Traffic last{};  // the log marks the probe's reads
        for (std::uint32_t after = 0; TQ7310_ReadTraffic(kPort, after, &last, 1, nullptr) == 1;) {
            after = last.sequence;
        }
        QCOMPARE(last.probe, 1);
        QCOMPARE(TQ7310_ProbeModule(kPort, 0, 50'000, &probe), -1);
        QCOMPARE(TQ7310_ProbeModule(kPort, kSlave, 0, &probe), -1);
        QCOMPARE(TQ7310_ProbeModule(kPort, kSlave, 50'000, nullptr), -1);
    }

    void successStatus() {
        QVERIFY(readFirst(kPort, kSlave));
        QCOMPARE(Set_0X_Bit1(kPort, kSlave, 3), 0);
        const Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.outcome, int32_t{TQ7310_OK});
        QCOMPARE(status.system_error, 0);
        QCOMPARE(status.exception_code, 0);
        QVERIFY(status.round_trip_us > 0);
        QVERIFY(status.round_trip_us < 1'000'000);
        QCOMPARE(status.transactions, 3);
        QCOMPARE(status.failures, 0);
        QCOMPARE(status.is_open, 1);
        QCOMPARE(status.baud, 38400);
        QCOMPARE(status.parity, 'N');
    }

    void countersResetAtOpen() {
        Buffer b = sentinelBuffer();
        QVERIFY(Get_3X_UnDX(kPort, kSlave, 1, 1, b.data()) != MODBUSRTU_FAILED);
        slave_->misbehave(Misbehaviour::Exception, 2);
        QCOMPARE(Get_3X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.transactions, 2);
        QCOMPARE(status.failures, 1);

        QCOMPARE(OpenPort_Modbus(kPort, kBaud19200, kParityOdd), 0);
        status = linkStatus(kPort);
        QCOMPARE(status.transactions, 0);
        QCOMPARE(status.failures, 0);
        QCOMPARE(status.round_trip_us, -1);
        QCOMPARE(status.outcome, int32_t{TQ7310_OK});
        QCOMPARE(status.baud, 19200);
        QCOMPARE(status.parity, 'O');
    }

    void missingDevice() {
        const QByteArray missing =
            QByteArray::fromStdString(slave_->devicePath()) + ".no-such-device";
        ScopedPortEnv env(kPort + 1, missing.toStdString());
        QCOMPARE(OpenPort_Modbus(kPort + 1, kBaud9600, kParityNone), -2);
        Tq7310LinkStatus status = linkStatus(kPort + 1);
        QCOMPARE(status.outcome, int32_t{TQ7310_OPEN_FAILED});
        QCOMPARE(status.system_error, ENOENT);
        QCOMPARE(status.is_open, 0);
        QCOMPARE(QByteArray(status.device), missing);
        {
            // A name longer than the report's field is cut to it, still ended.
            const QByteArray longer = missing + QByteArray("/x").repeated(150);
            ScopedPortEnv longEnv(kPort + 2, longer.toStdString());
            OpenPort_Modbus(kPort + 2, kBaud9600, kParityNone);
            const Tq7310LinkStatus cut = linkStatus(kPort + 2);
            const QByteArray field(cut.device, sizeof cut.device);
            QCOMPARE(field.indexOf('\0'), qsizetype(sizeof cut.device - 1));
            QVERIFY(longer.startsWith(field.left(field.indexOf('\0'))));
        }

        // Every operation tries the device again and says why it failed.
        Buffer b = sentinelBuffer();
        QCOMPARE(Get_4X_UnDX(kPort + 1, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QVERIFY(untouched(b));
        status = linkStatus(kPort + 1);
        QCOMPARE(status.outcome, int32_t{TQ7310_OPEN_FAILED});
        QCOMPARE(status.system_error, ENOENT);
        QCOMPARE(status.failures, 1);
        QCOMPARE(slave_->requests(), 0);

        // The adapter turns up: the port works without another open.
        QVERIFY(QFile::link(QString::fromStdString(slave_->devicePath()), missing));
        slave_->setHoldingRegister(1, 4321);
        QCOMPARE(Get_4X_UnDX(kPort + 1, kSlave, 1, 1, b.data()), 4321);
        QCOMPARE(linkStatus(kPort + 1).is_open, 1);
        QFile::remove(missing);
        ClosePort_Modbus(kPort + 1);
    }

    // A silent slave costs the caller the response time-out, 200 ms plus the
    // wire time of a request and the longest reply, and not much more.
    void timeOutBound_data() {
        QTest::addColumn<int>("baudCode");
        QTest::addColumn<int>("expectedMs");
        QTest::addRow("9600") << int{kBaud9600} << 503;
        QTest::addRow("38400") << int{kBaud38400} << 276;
    }

    void timeOutBound() {
        QFETCH(int, baudCode);
        QFETCH(int, expectedMs);
        QCOMPARE(OpenPort_Modbus(kPort, baudCode, kParityEven), 0);
        slave_->misbehave(Misbehaviour::Silent);
        Buffer b = sentinelBuffer();
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= expectedMs - 20, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed < 1500, qPrintable(QString::number(elapsed)));
        QCOMPARE(linkStatus(kPort).outcome, int32_t{TQ7310_TIMEOUT});
    }
};

QTEST_GUILESS_MAIN(TstDriverFailures)
#include "tst_driver_failures.moc"
