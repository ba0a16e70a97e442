// The exports that reach any points, against the test slave: every function at the edges of its
// count, refusals that send nothing, failures of each kind and the counters that add them up.
#include <QtTest>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

#include "DriverTestSupport.h"
#include "RtuFrames.h"
#include "TestSlave.h"

using namespace driver_test;
using test_slave::Misbehaviour;
using C = Tq7310LinkCounters;
using Call = std::function<int32_t()>;
using Kinds = std::vector<int32_t C::*>;
Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(Kinds)

namespace {

constexpr int32_t kPort = 9;
constexpr int32_t kSlave = 5;
constexpr uint8_t kUnwritten = 0x5A;
const Kinds kEveryKind{&C::timeouts,     &C::bad_frames,    &C::exceptions,
                       &C::wrong_slaves, &C::echoes,        &C::ambiguous,
                       &C::io_errors,    &C::open_failures, &C::refused};

std::vector<uint8_t> frame(const std::vector<uint8_t>& pdu) {
    static RtuFrames frames;
    return frames.frame(kSlave, pdu);
}

// What a test puts at a point of table 1..4 (coils .. input registers):
// neighbours differ.
int valueAt(int table, int point) {
    return table <= 2 ? int{point % 3 == 1} : 40000 + point;
}

}  // namespace

class TstDriverAnyPoint : public QObject {
    Q_OBJECT

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

    void put(int table, int point, int v) {
        table == 1   ? slave_->setCoil(point, v != 0)
        : table == 2 ? slave_->setInput(point, v != 0)
        : table == 3 ? slave_->setHoldingRegister(point, uint16_t(v))
                     : slave_->setInputRegister(point, uint16_t(v));
    }

    int32_t read(int function, int first, int count) {
        return function <= 2
                   ? TQ7310_ReadBits(kPort, kSlave, function, first, count, bits_.data())
                   : TQ7310_ReadRegisters(kPort, kSlave, function, first, count, values_.data());
    }

    int32_t writeTwo(int first, uint16_t value) {
        values_[0] = values_[1] = value;
        return TQ7310_WriteRegisters(kPort, kSlave, first, 2, values_.data());
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
            put(function, point, valueAt(function, point));
        }
        QCOMPARE(read(function, first, count), 0);
        for (int i = 0; i <= count; ++i) {
            const int expected = i < count ? valueAt(function, first + i) : kUnwritten;
            QCOMPARE(function <= 2 ? int{bits_[i]} : int{values_[i]}, expected);
        }
    }

    void writes_data() {
        QTest::addColumn<int>("function");  // the one that goes out
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addRow("one coil on") << 5 << 7 << 1;
        QTest::addRow("one coil off") << 5 << 8 << 1;
        QTest::addRow("two coils") << 15 << 7 << 2;
        QTest::addRow("1968 coils") << 15 << 1 << 1968;
        QTest::addRow("one register") << 6 << 7 << 1;
        QTest::addRow("two registers") << 16 << 7 << 2;
        QTest::addRow("123 registers") << 16 << 1 << 123;
    }

    void writes() {
        QFETCH(int, function);
        QFETCH(int, first);
        QFETCH(int, count);
        const int table = function % 5 == 0 ? 1 : 3;  // coils or holding registers
        for (int i = 0; i <= count; ++i) {
            const int v = valueAt(table, first + i);
            (table == 1 ? bits_[i] = uint8_t(v * 7) : values_[i] = uint16_t(v));  // 7: any but 0
            put(table, first + i, v ^ 1);
        }
        QVERIFY(readFirst(kPort, kSlave));
        QCOMPARE(table == 1 ? TQ7310_WriteCoils(kPort, kSlave, first, count, bits_.data())
                            : TQ7310_WriteRegisters(kPort, kSlave, first, count, values_.data()),
                 0);
        QCOMPARE(int{traffic().back().request[1]}, function);
        for (int point = first; point <= first + count; ++point) {  // the one after keeps its own
            const int v = table == 1 ? slave_->coil(point) : slave_->holdingRegister(point);
            QCOMPARE(v, valueAt(table, point) ^ int{point == first + count});
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
        add("address 0", [=] { return TQ7310_ReadBits(p, 0, 1, 1, 1, b); });
        add("address 248", [=] { return TQ7310_WriteCoils(p, 248, 1, 1, b); });
        add("function 3 of bits", [=] { return TQ7310_ReadBits(p, s, 3, 1, 1, b); });
        add("function 2 of registers", [=] { return TQ7310_ReadRegisters(p, s, 2, 1, 1, v); });
        add("0 bits", [=] { return TQ7310_ReadBits(p, s, 2, 1, 0, b); });
        add("2001 bits", [=] { return TQ7310_ReadBits(p, s, 1, 1, 2001, b); });
        add("0 registers", [=] { return TQ7310_ReadRegisters(p, s, 4, 1, 0, v); });
        add("126 registers", [=] { return TQ7310_ReadRegisters(p, s, 3, 1, 126, v); });
        add("0 coils written", [=] { return TQ7310_WriteCoils(p, s, 1, 0, b); });
        add("1969 coils written", [=] { return TQ7310_WriteCoils(p, s, 1, 1969, b); });
        add("0 registers written", [=] { return TQ7310_WriteRegisters(p, s, 1, 0, v); });
        add("124 registers written", [=] { return TQ7310_WriteRegisters(p, s, 1, 124, v); });
        add("point 0", [=] { return TQ7310_ReadRegisters(p, s, 4, 0, 1, v); });
        add("points past 65536", [=] { return TQ7310_WriteCoils(p, s, 65536, 2, b); });
        add("null bits", [=] { return TQ7310_ReadBits(p, s, 1, 1, 1, nullptr); });
        add("null registers", [=] { return TQ7310_ReadRegisters(p, s, 3, 1, 1, nullptr); });
        add("null coils written", [=] { return TQ7310_WriteCoils(p, s, 1, 1, nullptr); });
        add("null registers written", [=] { return TQ7310_WriteRegisters(p, s, 1, 1, nullptr); });
        add("a wait of 99999 us",
            [=] { return TQ7310_ReadRegistersWithin(p, s, 3, 1, 1, v, 99'999); });
        add("a wait of 10000001 us",
            [=] { return TQ7310_WriteCoilsWithin(p, s, 1, 1, b, 10'000'001); });
    }

    void refused() {
        QFETCH(Call, call);
        QFETCH(int, outcome);
        QCOMPARE(call(), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, outcome);
        QVERIFY(traffic().empty());
        QCOMPARE(slave_->requests(), 0);
    }

    void failures_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<Kinds>("kinds");  // of each failure
        const auto add = [this](const char* name, Misbehaviour how, Call call, int outcome,
                                Kinds kinds) {
            QTest::newRow(name) << Call([=, this] { return slave_->misbehave(how), call(); })
                                << outcome << kinds;
        };
        const auto reply16 = frame({0x10, 0, 6, 0, 2});
        add("a good read", Misbehaviour::None, [=, this] { return read(2, 1, 9); }, TQ7310_OK, {});
        add("exception to a bit read", Misbehaviour::Exception, [=, this] { return read(2, 1, 9); },
            TQ7310_EXCEPTION, {&C::exceptions});
        add("time-out of a register write", Misbehaviour::Silent,
            [=, this] { return writeTwo(7, 1); }, TQ7310_TIMEOUT, {&C::timeouts});
        add("bad CRC on a coil write", Misbehaviour::BadCrc,
            [=, this] { return TQ7310_WriteCoils(kPort, kSlave, 1, 10, bits_.data()); },
            TQ7310_BAD_FRAME, {&C::bad_frames});
        add("point 65536 goes out", Misbehaviour::None, [=, this] { return read(4, 65536, 1); },
            TQ7310_EXCEPTION, {&C::exceptions});
        add("coil 65536 goes out", Misbehaviour::None,
            [] { return Set_0X_Bit1(kPort, kSlave, 65536); }, TQ7310_EXCEPTION, {&C::exceptions});
        add("another address answers", Misbehaviour::WrongSlave,
            [=, this] { return read(4, 1, 3); }, TQ7310_WRONG_SLAVE, {&C::wrong_slaves});
        // The echo ({}) of the read teaches the port; the write's, however
        // long, is then read whole before its reply.
        add("echo, then a write of several registers", Misbehaviour::None,
            [=, this] {
                return slave_->answerInTurn({{{}}, {{}, reply16}}), read(3, 1, 1), writeTwo(7, 1);
            },
            TQ7310_OK, {&C::echoes});
        add("late reply to a write of other values", Misbehaviour::None,
            [=, this] {
                return slave_->answerInTurn({{}, {reply16}}), writeTwo(7, 1), writeTwo(7, 2);
            },
            TQ7310_AMBIGUOUS, {&C::timeouts, &C::ambiguous});
        add("nobody answers within 100 ms", Misbehaviour::Silent,
            [=, this] {
                return TQ7310_ReadBitsWithin(kPort, kSlave, 1, 1, 8, bits_.data(), 100'000);
            },
            TQ7310_TIMEOUT, {&C::timeouts});
        // Read first as an echo might be, within the same wait.
        add("nobody answers a write of two within 1.5 s", Misbehaviour::Silent,
            [=, this] {
                return TQ7310_WriteRegistersWithin(kPort, kSlave, 7, 2, values_.data(), 1'500'000);
            },
            TQ7310_TIMEOUT, {&C::timeouts});
        add("the line's own wait, given as 0", Misbehaviour::None,
            [=, this] {
                return TQ7310_ReadRegistersWithin(kPort, kSlave, 4, 1, 3, values_.data(), 0);
            },
            TQ7310_OK, {});
        // Answered 600 ms after each request: within the 2 s asked for, not
        // within the line's 276 ms at 38400, which the next read waits again.
        add("a late answer within its own wait alone", Misbehaviour::Late,
            [=, this] {
                return TQ7310_ReadRegistersWithin(kPort, kSlave, 3, 1, 1, values_.data(),
                                                  2'000'000),
                       read(3, 1, 1);
            },
            TQ7310_TIMEOUT, {&C::timeouts});
        add("device gone", Misbehaviour::None,
            [=, this] { return slave_->hangUp(), read(1, 1, 1), read(1, 1, 1); },
            TQ7310_OPEN_FAILED, {&C::io_errors, &C::open_failures});
    }

    void failures() {
        QFETCH(Call, call);
        QFETCH(int, outcome);
        QFETCH(Kinds, kinds);
        QCOMPARE(call(), outcome == TQ7310_OK ? 0 : MODBUSRTU_FAILED);
        QVERIFY(outcome == TQ7310_OK || std::count(bits_.begin(), bits_.end(), kUnwritten) == 2001);
        const Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.outcome, outcome);
        C c{};
        QCOMPARE(TQ7310_GetLinkCounters(kPort, &c), -1);  // no size given
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
        QCOMPARE(int32_t(std::count_if(log.begin(), log.end(),
                                       [](auto& t) { return t.kind == TQ7310_TRAFFIC_EXCHANGE; })),
                 c.transactions - c.open_failures);
        for (const auto& t : log) {  // only a reply times the round trip
            QVERIFY(t.kind != TQ7310_TRAFFIC_EXCHANGE ||
                    (t.round_trip_us == -1) == (t.reply_length == 0));
        }
        QVERIFY(c.round_trip_min_us <= c.round_trip_median_us &&
                c.round_trip_median_us <= c.round_trip_p95_us &&
                c.round_trip_p95_us <= c.round_trip_max_us &&
                (c.round_trips == 0) == (c.round_trip_max_us == -1));
    }
};

QTEST_GUILESS_MAIN(TstDriverAnyPoint)
#include "tst_driver_anypoint.moc"
