// Every operation against the test slave: which protocol address a point
// number reaches, how values are packed, what comes back, and which
// arguments are refused before anything is sent.
#include <QtTest>

#include <climits>
#include <functional>
#include <memory>

#include "DriverTestSupport.h"
#include "ModbusRTU.h"
#include "TestSlave.h"

using namespace driver_test;
using test_slave::ScopedPortEnv;
using test_slave::TestSlave;
using test_slave::WriteRecord;

using Operation = std::function<int32_t(int32_t* buffer)>;
Q_DECLARE_METATYPE(Operation)

namespace {

constexpr int32_t kPort = 7;
// Not 1, so a driver that ignores the address is caught.
constexpr int32_t kSlave = 5;
constexpr int kWaitMs = 2000;

}  // namespace

class TstDriverOperations : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TestSlave> slave_;
    std::unique_ptr<ScopedPortEnv> env_;

    // Proves the refused call sent nothing: the pty delivers in order, so if
    // the next good request is the slave's first, nothing went before it.
    void verifyNothingSent() {
        Buffer b = sentinelBuffer();
        QVERIFY(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()) != MODBUSRTU_FAILED);
        QVERIFY(slave_->waitForRequests(1, kWaitMs));
        QCOMPARE(slave_->requests(), 1);
        QVERIFY(slave_->writes().empty());
    }

  private slots:
    void init() {
        slave_ = std::make_unique<TestSlave>(kSlave);
        env_ = std::make_unique<ScopedPortEnv>(kPort, slave_->devicePath());
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityEven), 0);
    }

    void cleanup() {
        ClosePort_Modbus(kPort);
        env_.reset();
        slave_.reset();
    }

    void registerReads_data() {
        QTest::addColumn<bool>("holding");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addRow("input register 1") << false << 1 << 1;
        QTest::addRow("input registers 1..4") << false << 1 << 4;
        QTest::addRow("input registers 100") << false << 100 << 1;
        QTest::addRow("holding register 1004") << true << 1004 << 1;
        QTest::addRow("holding registers 1..16") << true << 1 << 16;
        QTest::addRow("holding registers 125 at once") << true << 1 << 125;
    }

    void registerReads() {
        QFETCH(bool, holding);
        QFETCH(int, first);
        QFETCH(int, count);
        // Values above 32767 catch a sign-extending copy.
        for (int i = 0; i < count; ++i) {
            const auto v = static_cast<uint16_t>(40000 + 7 * i);
            holding ? slave_->setHoldingRegister(first + i, v)
                    : slave_->setInputRegister(first + i, v);
        }
        Buffer b = sentinelBuffer();
        const int32_t result = holding ? Get_4X_UnDX(kPort, kSlave, first, count, b.data())
                                       : Get_3X_UnDX(kPort, kSlave, first, count, b.data());
        QCOMPARE(result, 40000);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(b[i], 40000 + 7 * i);
        }
        QCOMPARE(b[count], kSentinel);
    }

    void bitReads_data() {
        QTest::addColumn<bool>("coils");
        QTest::addColumn<int>("first");
        QTest::addColumn<QList<int>>("closed");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addRow("inputs 1 and 3") << false << 1 << QList<int>{1, 3} << 5 << 0;
        QTest::addRow("input 9 lands in element 1") << false << 1 << QList<int>{9} << 0 << 1;
        QTest::addRow("input 16 is the top bit") << false << 1 << QList<int>{16} << 0 << 0x80;
        QTest::addRow("input 17 is outside") << false << 1 << QList<int>{17} << 0 << 0;
        QTest::addRow("inputs from 2") << false << 2 << QList<int>{2, 3} << 3 << 0;
        QTest::addRow("coil 1") << true << 1 << QList<int>{1} << 1 << 0;
        QTest::addRow("coil 1000") << true << 1000 << QList<int>{1000} << 1 << 0;
        QTest::addRow("coils 1..16 all")
            << true << 1 << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}
            << 0xFF << 0xFF;
    }

    void bitReads() {
        QFETCH(bool, coils);
        QFETCH(int, first);
        QFETCH(QList<int>, closed);
        QFETCH(int, low);
        QFETCH(int, high);
        for (int point : closed) {
            coils ? slave_->setCoil(point, true) : slave_->setInput(point, true);
        }
        Buffer b = sentinelBuffer();
        const int32_t result = coils ? Get_0X_B16(kPort, kSlave, first, b.data())
                                     : Get_1X_B16(kPort, kSlave, first, b.data());
        QCOMPARE(result, low);
        QCOMPARE(b[0], low);
        QCOMPARE(b[1], high);
        QCOMPARE(b[2], kSentinel);
    }

    void longReads_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<QList<int>>("words");
        QTest::addColumn<QList<int>>("expected");
        QTest::addRow("0x00010002") << 11 << QList<int>{1, 2} << QList<int>{0x00010002};
        QTest::addRow("4294967295 reads -1") << 11 << QList<int>{0xFFFF, 0xFFFF} << QList<int>{-1};
        QTest::addRow("high word first") << 1 << QList<int>{0x8000, 0} << QList<int>{INT_MIN};
        QTest::addRow("two values")
            << 11 << QList<int>{0, 7, 0x1234, 0x5678} << QList<int>{7, 0x12345678};
    }

    void longReads() {
        QFETCH(int, first);
        QFETCH(QList<int>, words);
        QFETCH(QList<int>, expected);
        for (int i = 0; i < words.size(); ++i) {
            slave_->setInputRegister(first + i, static_cast<uint16_t>(words[i]));
        }
        Buffer b = sentinelBuffer();
        const auto count = static_cast<int32_t>(expected.size());
        QCOMPARE(Get_3X_LUNDX(kPort, kSlave, first, count, b.data()), expected[0]);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(b[i], expected[i]);
        }
        QCOMPARE(b[count], kSentinel);
    }

    // The most at once: 62 values, 124 input registers.
    void longReadOfTheMost() {
        for (int point = 1; point <= 124; ++point) {
            slave_->setInputRegister(point, static_cast<uint16_t>(point));
        }
        Buffer b = sentinelBuffer();
        QCOMPARE(Get_3X_LUNDX(kPort, kSlave, 1, 62, b.data()), (1 << 16) | 2);
        QCOMPARE(b[61], (123 << 16) | 124);
        QCOMPARE(b[62], kSentinel);
    }

    void coilWrites_data() {
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("coil");
        QTest::addColumn<int>("address");
        QTest::addRow("set coil 1") << true << 1 << 0;
        QTest::addRow("set coil 1000") << true << 1000 << 999;
        QTest::addRow("reset coil 1000") << false << 1000 << 999;
    }

    void coilWrites() {
        QFETCH(bool, on);
        QFETCH(int, coil);
        QFETCH(int, address);
        slave_->setCoil(coil, !on);
        QVERIFY(readFirst(kPort, kSlave));
        const int32_t result =
            on ? Set_0X_Bit1(kPort, kSlave, coil) : Rst_0X_Bit1(kPort, kSlave, coil);
        QCOMPARE(result, 0);
        const auto writes = slave_->writes();
        QCOMPARE(writes.size(), std::size_t{1});
        QCOMPARE(writes[0].function, 5);
        QCOMPARE(writes[0].address, address);
        QCOMPARE(writes[0].value, on ? 0xFF00 : 0x0000);
        QCOMPARE(slave_->coil(coil), on);
    }

    void registerWrites_data() {
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("value");
        QTest::addRow("register 1004") << 1004 << 1234;
        QTest::addRow("register 1, 0") << 1 << 0;
        QTest::addRow("register 2000, 65535") << 2000 << 65535;
    }

    void registerWrites() {
        QFETCH(int, reg);
        QFETCH(int, value);
        slave_->setHoldingRegister(reg, 777);
        QVERIFY(readFirst(kPort, kSlave));
        QCOMPARE(Set_4X_D1(kPort, kSlave, reg, value), 0);
        const auto writes = slave_->writes();
        QCOMPARE(writes.size(), std::size_t{1});
        QCOMPARE(writes[0].function, 6);
        QCOMPARE(writes[0].address, reg - 1);
        QCOMPARE(writes[0].value, value);
        QCOMPARE(int{slave_->holdingRegister(reg)}, value);
    }

    void refusedArguments_data() {
        QTest::addColumn<Operation>("operation");
        const int32_t p = kPort;
        const int32_t s = kSlave;
        QTest::addRow("address 0 (broadcast)")
            << Operation([=](int32_t* b) { return Get_4X_UnDX(p, 0, 1, 1, b); });
        QTest::addRow("address 248")
            << Operation([=](int32_t* b) { return Get_3X_UnDX(p, 248, 1, 1, b); });
        QTest::addRow("address -1") << Operation([=](int32_t*) { return Set_0X_Bit1(p, -1, 1); });
        QTest::addRow("null buffer")
            << Operation([=](int32_t*) { return Get_4X_UnDX(p, s, 1, 1, nullptr); });
        QTest::addRow("null bit buffer")
            << Operation([=](int32_t*) { return Get_1X_B16(p, s, 1, nullptr); });
        QTest::addRow("point 0") << Operation([=](int32_t* b) { return Get_1X_B16(p, s, 0, b); });
        QTest::addRow("16 points past 65536")
            << Operation([=](int32_t* b) { return Get_0X_B16(p, s, 65522, b); });
        QTest::addRow("registers past 65536")
            << Operation([=](int32_t* b) { return Get_4X_UnDX(p, s, 65500, 100, b); });
        QTest::addRow("huge first point")
            << Operation([=](int32_t* b) { return Get_3X_UnDX(p, s, INT_MAX, 125, b); });
        QTest::addRow("most negative first point")
            << Operation([=](int32_t* b) { return Get_3X_LUNDX(p, s, INT_MIN, 1, b); });
        QTest::addRow("count 0") << Operation(
            [=](int32_t* b) { return Get_3X_UnDX(p, s, 1, 0, b); });
        QTest::addRow("count 126")
            << Operation([=](int32_t* b) { return Get_4X_UnDX(p, s, 1, 126, b); });
        QTest::addRow("count -1") << Operation(
            [=](int32_t* b) { return Get_4X_UnDX(p, s, 1, -1, b); });
        QTest::addRow("LUNDX count 63")
            << Operation([=](int32_t* b) { return Get_3X_LUNDX(p, s, 1, 63, b); });
        QTest::addRow("LUNDX count 0")
            << Operation([=](int32_t* b) { return Get_3X_LUNDX(p, s, 1, 0, b); });
        QTest::addRow("LUNDX pair past 65536")
            << Operation([=](int32_t* b) { return Get_3X_LUNDX(p, s, 65536, 1, b); });
        QTest::addRow("coil 0") << Operation([=](int32_t*) { return Rst_0X_Bit1(p, s, 0); });
        QTest::addRow("coil 65537")
            << Operation([=](int32_t*) { return Set_0X_Bit1(p, s, 65537); });
        QTest::addRow("register value 65536")
            << Operation([=](int32_t*) { return Set_4X_D1(p, s, 1, 65536); });
        QTest::addRow("register value -1")
            << Operation([=](int32_t*) { return Set_4X_D1(p, s, 1, -1); });
        QTest::addRow("register 0") << Operation([=](int32_t*) { return Set_4X_D1(p, s, 0, 1); });
    }

    void refusedArguments() {
        QFETCH(Operation, operation);
        Buffer b = sentinelBuffer();
        QCOMPARE(operation(b.data()), MODBUSRTU_FAILED);
        QVERIFY(untouched(b));
        const Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.outcome, int32_t{TQ7310_BAD_ARGUMENT});
        QCOMPARE(status.transactions, 0);
        verifyNothingSent();
    }

    void badPortNumbers_data() {
        QTest::addColumn<int>("port");
        QTest::addRow("0") << 0;
        QTest::addRow("-1") << -1;
        QTest::addRow("256") << 256;
        QTest::addRow("INT_MAX") << INT_MAX;
        QTest::addRow("INT_MIN") << INT_MIN;
    }

    void badPortNumbers() {
        QFETCH(int, port);
        Buffer b = sentinelBuffer();
        QCOMPARE(OpenPort_Modbus(port, kBaud38400, kParityNone), -1);
        QCOMPARE(Get_1X_B16(port, kSlave, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(Get_0X_B16(port, kSlave, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(Get_3X_UnDX(port, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(Get_4X_UnDX(port, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(Get_3X_LUNDX(port, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(Set_0X_Bit1(port, kSlave, 1), MODBUSRTU_FAILED);
        QCOMPARE(Rst_0X_Bit1(port, kSlave, 1), MODBUSRTU_FAILED);
        QCOMPARE(Set_4X_D1(port, kSlave, 1, 1), MODBUSRTU_FAILED);
        ClosePort_Modbus(port);
        Tq7310LinkStatus status{};
        QCOMPARE(TQ7310_GetLinkStatus(port, &status), -1);
        QVERIFY(untouched(b));
        verifyNothingSent();
    }

    void badLineCodes_data() {
        QTest::addColumn<int>("baudCode");
        QTest::addColumn<int>("parityCode");
        QTest::addRow("baud 0") << 0 << kParityNone;
        QTest::addRow("baud 4") << 4 << kParityNone;
        QTest::addRow("baud -1") << -1 << kParityEven;
        QTest::addRow("baud 9600 given as is") << 9600 << kParityNone;
        QTest::addRow("parity 3") << kBaud9600 << 3;
        QTest::addRow("parity -1") << kBaud9600 << -1;
    }

    void badLineCodes() {
        QFETCH(int, baudCode);
        QFETCH(int, parityCode);
        // The port is open from init(): a refused reopen must leave it closed
        // rather than still talking at the old settings.
        QCOMPARE(OpenPort_Modbus(kPort, baudCode, parityCode), -1);
        Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.outcome, int32_t{TQ7310_BAD_ARGUMENT});
        QCOMPARE(status.is_open, 0);
        Buffer b = sentinelBuffer();
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QVERIFY(untouched(b));
        QCOMPARE(linkStatus(kPort).outcome, int32_t{TQ7310_NOT_OPEN});
        QCOMPARE(slave_->requests(), 0);
    }

    void closeOfPortsNotOpen() {
        ClosePort_Modbus(0);
        ClosePort_Modbus(200);
        ClosePort_Modbus(kPort);
        ClosePort_Modbus(kPort);
        QCOMPARE(linkStatus(kPort).is_open, 0);
        Buffer b = sentinelBuffer();
        QCOMPARE(Get_3X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QVERIFY(untouched(b));
        QCOMPARE(linkStatus(kPort).outcome, int32_t{TQ7310_NOT_OPEN});
        QCOMPARE(slave_->requests(), 0);
        // A closed port names the device its number leads to now.
        env_.reset();
        env_ = std::make_unique<ScopedPortEnv>(kPort, "/dev/plugged-in-since");
        QCOMPARE(QByteArray(linkStatus(kPort).device), "/dev/plugged-in-since");
        // A port nobody ever opened.
        QVERIFY(linkStatus(201).device[0] != '\0');
        QCOMPARE(linkStatus(201).round_trip_us, -1);
        QCOMPARE(Get_3X_UnDX(201, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(201).outcome, int32_t{TQ7310_NOT_OPEN});
    }

    void statusArguments() {
        QCOMPARE(TQ7310_GetLinkStatus(kPort, nullptr), -1);
        Tq7310LinkStatus status{};
        QCOMPARE(TQ7310_GetLinkStatus(kPort, &status), 0);
        QCOMPARE(status.is_open, 1);
        QCOMPARE(status.baud, 38400);
        QCOMPARE(status.parity, 'E');
        QCOMPARE(QByteArray(status.device), QByteArray::fromStdString(slave_->devicePath()));
        QCOMPARE(TQ7310_GetLinkStatus(255, &status), 0);
        QCOMPARE(status.outcome, int32_t{TQ7310_NONE});
        QCOMPARE(status.is_open, 0);
    }
};

QTEST_GUILESS_MAIN(TstDriverOperations)
#include "tst_driver_operations.moc"
