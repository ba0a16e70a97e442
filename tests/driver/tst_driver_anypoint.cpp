// The exports that reach any points by function code, against the test
// slave: every function at the edges of its count, refusals that send
// nothing, failures of each kind, and the counters that add them up.
#include <QtTest>

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <memory>
#include <vector>

#include "DriverTestSupport.h"
#include "RtuFrames.h"
#include "TestSlave.h"

using namespace driver_test;
using test_slave::Misbehaviour;
using Call = std::function<int32_t()>;
using Kinds = std::vector<int32_t Tq7310LinkCounters::*>;
Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(Misbehaviour)
Q_DECLARE_METATYPE(Kinds)

namespace {

constexpr int32_t kPort = 9;
constexpr int32_t kSlave = 5;
constexpr uint8_t kUnwritten = 0x5A;
using Answer = test_slave::TestSlave::Answer;
const std::vector<uint8_t> kEcho{};

const Kinds kEveryKind{&Tq7310LinkCounters::timeouts,   &Tq7310LinkCounters::bad_frames,
                       &Tq7310LinkCounters::exceptions, &Tq7310LinkCounters::wrong_slaves,
                       &Tq7310LinkCounters::echoes,     &Tq7310LinkCounters::ambiguous,
                       &Tq7310LinkCounters::io_errors,  &Tq7310LinkCounters::open_failures,
                       &Tq7310LinkCounters::refused};

std::vector<uint8_t> frame(const std::vector<uint8_t>& pdu) {
    static RtuFrames frames;
    return frames.frame(kSlave, pdu);
}

// What the tests put at a point and read back: neighbours differ.
int valueAt(int function, int point) {
    return function <= 2 ? int{point % 3 == 1} : 40000 + point;
}

}  // namespace

class TstDriverAnyPoint : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test_slave::TestSlave> slave_;
    std::unique_ptr<test_slave::ScopedPortEnv> env_;
    // Fixed, so the rows' calls can take their addresses before init().
    std::array<uint8_t, 2001> bits_{};
    std::array<uint16_t, 126> values_{};
    uint32_t before_ = 0;  // the log's last entry before the test

    std::vector<Tq7310Traffic> traffic() const {
        std::vector<Tq7310Traffic> seen(512);
        const int n = TQ7310_ReadTraffic(kPort, before_, seen.data(), 512, nullptr);
        seen.resize(std::size_t(std::max(n, 0)));
        return seen;
    }

    void set(int function, int point, int v) {
        function == 1   ? slave_->setCoil(point, v != 0)
        : function == 2 ? slave_->setInput(point, v != 0)
        : function == 3 ? slave_->setHoldingRegister(point, uint16_t(v))
                        : slave_->setInputRegister(point, uint16_t(v));
    }

    int32_t read(int function, int first, int count) {
        return function <= 2
                   ? TQ7310_ReadBits(kPort, kSlave, function, first, count, bits_.data())
                   : TQ7310_ReadRegisters(kPort, kSlave, function, first, count, values_.data());
    }

  private slots:
    void init() {
        slave_ = std::make_unique<test_slave::TestSlave>(kSlave);
        env_ = std::make_unique<test_slave::ScopedPortEnv>(kPort, slave_->devicePath());
        bits_.fill(kUnwritten);
        values_.fill(kUnwritten);
        before_ = 0;
        before_ = traffic().empty() ? 0 : traffic().back().sequence;
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
    }

    void cleanup() {
        ClosePort_Modbus(kPort);
        env_.reset();
        slave_.reset();
    }

    void reads_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        for (int function = 1; function <= 4; ++function) {
            const int most = function <= 2 ? 2000 : 125;
            QTest::addRow("function %d, point 7", function) << function << 7 << 1;
            QTest::addRow("function %d, %d points", function, most) << function << 1 << most;
        }
    }

    void reads() {
        QFETCH(int, function);
        QFETCH(int, first);
        QFETCH(int, count);
        for (int point = first; point < first + count; ++point) {
            set(function, point, valueAt(function, point));
        }
        QCOMPARE(read(function, first, count), 0);
        for (int i = 0; i <= count; ++i) {
            const int expected = i < count ? valueAt(function, first + i) : kUnwritten;
            QCOMPARE(function <= 2 ? int{bits_[i]} : int{values_[i]}, expected);
        }
    }

    void writes_data() {
        QTest::addColumn<bool>("coils");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("function");
        QTest::addRow("one coil on") << true << 7 << 1 << 5;
        QTest::addRow("one coil off") << true << 8 << 1 << 5;
        QTest::addRow("two coils") << true << 7 << 2 << 15;
        QTest::addRow("1968 coils") << true << 1 << 1968 << 15;
        QTest::addRow("one register") << false << 7 << 1 << 6;
        QTest::addRow("two registers") << false << 7 << 2 << 16;
        QTest::addRow("123 registers") << false << 1 << 123 << 16;
    }

    void writes() {
        QFETCH(bool, coils);
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(int, function);
        const int table = coils ? 1 : 3;
        for (int i = 0; i <= count; ++i) {
            if (coils) {
                bits_[i] = uint8_t(valueAt(table, first + i) * 7);  // any byte but 0 is on
            } else {
                values_[i] = uint16_t(valueAt(table, first + i));
            }
            set(table, first + i, valueAt(table, first + i) ^ 1);
        }
        QCOMPARE(coils ? TQ7310_WriteCoils(kPort, kSlave, first, count, bits_.data())
                       : TQ7310_WriteRegisters(kPort, kSlave, first, count, values_.data()),
                 0);
        QCOMPARE(int{traffic().back().request[1]}, function);
        // The point after the last keeps what it had.
        for (int point = first; point <= first + count; ++point) {
            const int expected = valueAt(table, point) ^ int { point == first + count };
            QCOMPARE(coils ? int{slave_->coil(point)} : int{slave_->holdingRegister(point)},
                     expected);
        }
    }

    void refused_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("outcome");
        const auto add = [](const char* name, Call call, int outcome = TQ7310_BAD_ARGUMENT) {
            QTest::newRow(name) << call << outcome;
        };
        uint8_t* b = bits_.data();
        uint16_t* v = values_.data();
        const int32_t p = kPort;
        const int32_t s = kSlave;
        add(
            "port 0", [=] { return TQ7310_ReadRegisters(0, s, 3, 1, 1, v); }, TQ7310_OK);
        add(
            "port 256", [=] { return TQ7310_WriteCoils(256, s, 1, 1, b); }, TQ7310_OK);
        add("address 0", [=] { return TQ7310_ReadBits(p, 0, 1, 1, 1, b); });
        add("address 0, a write", [=] { return TQ7310_WriteRegisters(p, 0, 1, 1, v); });
        add("address 248", [=] { return TQ7310_WriteCoils(p, 248, 1, 1, b); });
        add("function 3 of bits", [=] { return TQ7310_ReadBits(p, s, 3, 1, 1, b); });
        add("function 0 of bits", [=] { return TQ7310_ReadBits(p, s, 0, 1, 1, b); });
        add("function 2 of registers", [=] { return TQ7310_ReadRegisters(p, s, 2, 1, 1, v); });
        add("function 5 of registers", [=] { return TQ7310_ReadRegisters(p, s, 5, 1, 1, v); });
        add("0 bits", [=] { return TQ7310_ReadBits(p, s, 2, 1, 0, b); });
        add("2001 bits", [=] { return TQ7310_ReadBits(p, s, 1, 1, 2001, b); });
        add("0 registers", [=] { return TQ7310_ReadRegisters(p, s, 4, 1, 0, v); });
        add("126 registers", [=] { return TQ7310_ReadRegisters(p, s, 3, 1, 126, v); });
        add("0 coils written", [=] { return TQ7310_WriteCoils(p, s, 1, 0, b); });
        add("1969 coils written", [=] { return TQ7310_WriteCoils(p, s, 1, 1969, b); });
        add("-1 registers written", [=] { return TQ7310_WriteRegisters(p, s, 1, -1, v); });
        add("124 registers written", [=] { return TQ7310_WriteRegisters(p, s, 1, 124, v); });
        add("point 0", [=] { return TQ7310_ReadRegisters(p, s, 4, 0, 1, v); });
        add("points past 65536", [=] { return TQ7310_WriteCoils(p, s, 65536, 2, b); });
        add("huge first point", [=] { return TQ7310_ReadBits(p, s, 1, INT_MAX, 2000, b); });
        add("null bits", [=] { return TQ7310_ReadBits(p, s, 1, 1, 1, nullptr); });
        add("null registers", [=] { return TQ7310_ReadRegisters(p, s, 3, 1, 1, nullptr); });
        add("null coils written", [=] { return TQ7310_WriteCoils(p, s, 1, 1, nullptr); });
        add("null registers written", [=] { return TQ7310_WriteRegisters(p, s, 1, 1, nullptr); });
    }

    void refused() {
        QFETCH(Call, call);
        QFETCH(int, outcome);
        QCOMPARE(call(), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, outcome);
        QVERIFY(traffic().empty());
        // The pty delivers in order: if this read is the slave's first
        // request, nothing went before it.
        QCOMPARE(read(3, 1, 1), 0);
        QVERIFY(slave_->waitForRequests(1, 2000));
        QCOMPARE(slave_->requests(), 1);
    }

    void failures_data() {
        QTest::addColumn<Misbehaviour>("how");
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<Kinds>("kinds");  // of each failure
        using C = Tq7310LinkCounters;
        const auto write = [this](int first, uint16_t value) {
            values_[0] = values_[1] = value;
            return TQ7310_WriteRegisters(kPort, kSlave, first, 2, values_.data());
        };
        const auto script = [this](std::vector<Answer> turns, Call calls) {
            return Call([=, this] { return slave_->answerInTurn(turns), calls(); });
        };
        QTest::newRow("a good read")
            << Misbehaviour::None << Call([=, this] { return read(2, 1, 9); }) << int{TQ7310_OK}
            << Kinds{};
        QTest::newRow("exception to a bit read")
            << Misbehaviour::Exception << Call([=, this] { return read(2, 1, 9); })
            << int{TQ7310_EXCEPTION} << Kinds{&C::exceptions};
        QTest::newRow("time-out of a register write")
            << Misbehaviour::Silent << Call([=] { return write(7, 1); }) << int{TQ7310_TIMEOUT}
            << Kinds{&C::timeouts};
        QTest::newRow("bad CRC on a coil write") << Misbehaviour::BadCrc << Call([=, this] {
            return TQ7310_WriteCoils(kPort, kSlave, 1, 10, bits_.data());
        }) << int{TQ7310_BAD_FRAME} << Kinds{&C::bad_frames};
        QTest::newRow("another address answers")
            << Misbehaviour::WrongSlave << Call([=, this] { return read(4, 1, 3); })
            << int{TQ7310_WRONG_SLAVE} << Kinds{&C::wrong_slaves};
        QTest::newRow("echo, then a write of several registers")
            << Misbehaviour::None
            << script({{kEcho}, {kEcho, frame({0x10, 0, 6, 0, 2})}},
                      [=, this] { return read(3, 1, 1), write(7, 1); })
            << int{TQ7310_OK} << Kinds{&C::echoes};
        QTest::newRow("late reply to a write of other values")
            << Misbehaviour::None
            << script({{}, {frame({0x10, 0, 6, 0, 2})}}, [=] { return write(7, 1), write(7, 2); })
            << int{TQ7310_AMBIGUOUS} << Kinds{&C::timeouts, &C::ambiguous};
        QTest::newRow("device gone") << Misbehaviour::None << Call([=, this] {
            return slave_->hangUp(), read(1, 1, 1), read(1, 1, 1);
        }) << int{TQ7310_OPEN_FAILED} << Kinds{&C::io_errors, &C::open_failures};
    }

    void failures() {
        QFETCH(Misbehaviour, how);
        QFETCH(Call, call);
        QFETCH(int, outcome);
        QFETCH(Kinds, kinds);
        slave_->misbehave(how);
        QCOMPARE(call(), outcome == TQ7310_OK ? 0 : MODBUSRTU_FAILED);
        QVERIFY(outcome == TQ7310_OK || std::count(bits_.begin(), bits_.end(), kUnwritten) == 2001);
        const Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.outcome, outcome);
        Tq7310LinkCounters c{};
        c.size = sizeof c;
        QCOMPARE(TQ7310_GetLinkCounters(kPort, &c), 0);
        int32_t sum = 0;
        for (const auto kind : kEveryKind) {
            QCOMPARE(c.*kind, int32_t(std::count(kinds.begin(), kinds.end(), kind)));
            sum += c.*kind;
        }
        QCOMPARE(sum, status.failures);
        QCOMPARE(c.failures, status.failures);
        QCOMPARE(c.transactions, status.transactions);
        // Every transaction that reached the line is in the log.
        const auto log = traffic();
        const auto logged = std::count_if(log.begin(), log.end(), [](const Tq7310Traffic& t) {
            return t.kind == TQ7310_TRAFFIC_EXCHANGE;
        });
        QCOMPARE(int32_t(logged), c.transactions - c.open_failures);
        QVERIFY(c.round_trip_min_us <= c.round_trip_median_us);
        QVERIFY(c.round_trip_median_us <= c.round_trip_p95_us);
        QVERIFY(c.round_trip_p95_us <= c.round_trip_max_us);
        QCOMPARE(c.round_trips == 0, c.round_trip_max_us == -1);
    }

    void countersArguments() {
        Tq7310LinkCounters c{};
        QCOMPARE(TQ7310_GetLinkCounters(kPort, &c), -1);  // no size given
        c.size = sizeof c;
        QCOMPARE(TQ7310_GetLinkCounters(kPort, nullptr), -1);
        QCOMPARE(TQ7310_GetLinkCounters(0, &c), -1);
        QCOMPARE(TQ7310_GetLinkCounters(kPort, &c), 0);
        QCOMPARE(c.round_trips, 0);
        QCOMPARE(c.round_trip_median_us, -1);
    }
};

QTEST_GUILESS_MAIN(TstDriverAnyPoint)
#include "tst_driver_anypoint.moc"
