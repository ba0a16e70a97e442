// Thousands of generated replies on a pseudo-terminal, each taken once by
// libmodbus's own high-level call and once by the driver's raw exchange:
// same values, same class of error, except where the driver is more exact on
// purpose (see deliberate()).
#include <QtTest>

#include <modbus/modbus.h>

#include <map>
#include <random>

#include "ErrorKind.h"
#include "Exchange.h"
#include "RtuFrames.h"
#include "TestSlave.h"

using modbusrtu::Request;
using Bytes = RtuFrames::Bytes;

namespace {

constexpr int kSlave = 7;
constexpr int kCases = 2000;

enum class Kind {
    Good,
    Exception,
    OtherAddress,
    OtherAddressBadCrc,
    WrongFunction,
    Short,
    Long,
    WrongCount,
    BadCrc,
    Noise,
    Echo,
    Count
};

struct Outcome {
    int outcome = TQ7310_NONE;
    std::vector<int> values;
};

modbus_t* master(const std::string& device) {
    modbus_t* ctx = modbus_new_rtu(device.c_str(), 38400, 'N', 8, 1);
    if (ctx == nullptr || modbus_connect(ctx) != 0) {
        qFatal("cannot open %s", device.c_str());
    }
    modbus_set_slave(ctx, kSlave);
    modbus_set_error_recovery(ctx, MODBUS_ERROR_RECOVERY_NONE);
    // Every reply is written whole at once: a byte gap only ends a short one.
    modbus_set_response_timeout(ctx, 2, 0);
    modbus_set_byte_timeout(ctx, 0, 5'000);
    return ctx;
}

Outcome throughLibmodbus(modbus_t* ctx, const Request& r) {
    std::uint8_t bits[64] = {};
    std::uint16_t words[64] = {};
    errno = 0;
    int rc = -1;
    switch (r.function) {
        case 0x01:
            rc = modbus_read_bits(ctx, r.first, r.quantity, bits);
            break;
        case 0x02:
            rc = modbus_read_input_bits(ctx, r.first, r.quantity, bits);
            break;
        case 0x03:
            rc = modbus_read_registers(ctx, r.first, r.quantity, words);
            break;
        case 0x04:
            rc = modbus_read_input_registers(ctx, r.first, r.quantity, words);
            break;
        case 0x05:
            rc = modbus_write_bit(ctx, r.first, r.quantity != 0);
            break;
        default:
            rc = modbus_write_register(ctx, r.first, r.quantity);
            break;
    }
    Outcome o;
    if (rc < 0) {
        o.outcome = modbusrtu::classifyModbusError(errno).outcome;
        return o;
    }
    o.outcome = TQ7310_OK;
    for (int i = 0; r.isRead() && i < r.quantity; ++i) {
        o.values.push_back(r.function <= 0x02 ? bits[i] : words[i]);
    }
    return o;
}

Outcome throughDriver(modbus_t* ctx, const Request& r) {
    modbusrtu::Exchange ex;
    modbusrtu::exchange(ctx, r, ex);
    Outcome o;
    o.outcome = ex.verdict.outcome;
    if (o.outcome != TQ7310_OK || !r.isRead()) {
        return o;
    }
    std::uint8_t bits[64] = {};
    std::uint16_t words[64] = {};
    modbusrtu::unpackBits(ex.reply.data(), r.function <= 0x02 ? r.quantity : 0, bits);
    modbusrtu::unpackRegisters(ex.reply.data(), r.function <= 0x02 ? 0 : r.quantity, words);
    for (int i = 0; i < r.quantity; ++i) {
        o.values.push_back(r.function <= 0x02 ? bits[i] : words[i]);
    }
    return o;
}

// Where the driver says more than libmodbus, and why.
const char* deliberate(const Request& r, const Bytes& reply, const Outcome& lib,
                       const Outcome& ours) {
    // libmodbus reads the first bytes of our own request as a frame with a
    // bad CRC; the driver names the echo.
    if (ours.outcome == TQ7310_ECHO) {
        return r.isRead() && lib.outcome == TQ7310_BAD_FRAME ? "echo" : nullptr;
    }
    // libmodbus skips the CRC of a frame whose first byte is not our address
    // and calls it another slave; with a CRC that fails, such bytes are junk.
    if (lib.outcome == TQ7310_WRONG_SLAVE && ours.outcome == TQ7310_BAD_FRAME) {
        const int length = modbusrtu::receivedLength(reply.data(), int(reply.size()));
        return reply[0] != kSlave && !modbusrtu::crcHolds(reply.data(), length) ? "junk" : nullptr;
    }
    // An exception code past the ones libmodbus names is still one.
    if (lib.outcome == TQ7310_BAD_FRAME && ours.outcome == TQ7310_EXCEPTION) {
        return reply.size() > 2 && reply[2] >= MODBUS_EXCEPTION_MAX ? "exception code" : nullptr;
    }
    // libmodbus takes any reply to a single write of the right length and
    // function; the driver wants back the coil or register and value written.
    if (lib.outcome == TQ7310_OK && ours.outcome == TQ7310_BAD_FRAME) {
        const auto sent = r.frame();
        const bool echoed = std::equal(sent.begin(), sent.begin() + Request::kBytes, reply.begin());
        return !r.isRead() && !echoed ? "write not echoed" : nullptr;
    }
    return nullptr;
}

class Generator {
  public:
    explicit Generator(unsigned seed) : random_(seed) {}

    Request request() {
        static constexpr std::uint8_t kFunctions[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
        const std::uint8_t function = kFunctions[pick(0, 5)];
        const auto first = static_cast<std::uint16_t>(pick(0, 300));
        if (function == 0x05) {
            return {kSlave, function, first, static_cast<std::uint16_t>(pick(0, 1) * 0xFF00)};
        }
        if (function == 0x06) {
            return {kSlave, function, first, static_cast<std::uint16_t>(pick(0, 0xFFFF))};
        }
        return {kSlave, function, first,
                static_cast<std::uint16_t>(pick(1, function <= 2 ? 40 : 20))};
    }

    Bytes reply(Kind kind, const Request& r, RtuFrames& f) {
        const Bytes good = goodReply(r, f);
        switch (kind) {
            case Kind::Good:
                return good;
            case Kind::Exception:
                return f.frame(kSlave, {static_cast<std::uint8_t>(r.function | 0x80),
                                        static_cast<std::uint8_t>(pick(1, 20))});
            case Kind::OtherAddress:
                return f.readdressed(otherAddress(), good);
            case Kind::OtherAddressBadCrc:
                return flipLast(f.readdressed(otherAddress(), good));
            case Kind::WrongFunction: {
                Bytes pdu(good.begin() + 1, good.end() - 2);
                pdu[0] = static_cast<std::uint8_t>(r.function % 6 + 1);
                return f.frame(kSlave, pdu);
            }
            case Kind::Short:
                return Bytes(good.begin(), good.begin() + pick(1, int(good.size()) - 1));
            case Kind::Long: {
                Bytes longer = good;
                for (int i = pick(1, 6); i > 0; --i)
                    longer.push_back(byte());
                return longer;
            }
            case Kind::WrongCount: {
                Bytes pdu(good.begin() + 1, good.end() - 2);
                pdu[1] = static_cast<std::uint8_t>(pdu[1] + pick(1, 3));
                return f.frame(kSlave, pdu);
            }
            case Kind::BadCrc:
                return flipLast(good);
            case Kind::Noise: {
                Bytes noise;
                for (int i = pick(4, 20); i > 0; --i)
                    noise.push_back(byte());
                return noise;
            }
            default: {
                const auto sent = r.frame();
                Bytes echo(sent.begin(), sent.begin() + r.length() + 2);
                if (pick(0, 1) == 1)
                    echo.insert(echo.end(), good.begin(), good.end());
                return echo;
            }
        }
    }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  private:
    std::uint8_t byte() { return static_cast<std::uint8_t>(pick(0, 255)); }
    int otherAddress() { return (kSlave + pick(1, 246)) % 248; }
    static Bytes flipLast(Bytes b) {
        b.back() ^= 0x5A;
        return b;
    }
    Bytes goodReply(const Request& r, RtuFrames& f) {
        if (!r.isRead()) {
            const auto pdu = r.bytes();
            return f.frame(kSlave, Bytes(pdu.begin() + 1, pdu.end()));
        }
        const int dataBytes = r.function <= 2 ? (r.quantity + 7) / 8 : 2 * r.quantity;
        Bytes pdu{r.function, static_cast<std::uint8_t>(dataBytes)};
        for (int i = 0; i < dataBytes; ++i)
            pdu.push_back(byte());
        return f.frame(kSlave, pdu);
    }

    std::mt19937 random_;
};

const char* kindName(Kind k) {
    static const char* kNames[] = {
        "good",           "exception", "other address", "other address, bad CRC",
        "wrong function", "short",     "long",          "wrong count",
        "bad CRC",        "noise",     "echo"};
    return kNames[int(k)];
}

}  // namespace

class TstDriverDifferential : public QObject {
    Q_OBJECT

  private slots:
    void sameAsLibmodbus() {
        test_slave::TestSlave slave(kSlave);
        modbus_t* lib = master(slave.devicePath());
        modbus_t* ours = master(slave.devicePath());
        RtuFrames frames;
        Generator gen(20261208);
        int compared = 0;
        std::map<QByteArray, int> moreExact;
        for (int i = 0; i < kCases; ++i) {
            const auto kind = Kind(i % int(Kind::Count));
            const Request r = gen.request();
            const Bytes reply = gen.reply(kind, r, frames);
            slave.answerWith(reply);
            modbus_flush(lib);
            const Outcome a = throughLibmodbus(lib, r);
            modbus_flush(ours);
            const Outcome b = throughDriver(ours, r);
            const QByteArray what =
                QStringLiteral("case %1 (%2): request %3, reply %4")
                    .arg(i)
                    .arg(kindName(kind))
                    .arg(QByteArray(reinterpret_cast<const char*>(r.frame().data()), 8).toHex(' '))
                    .arg(QByteArray(reinterpret_cast<const char*>(reply.data()), int(reply.size()))
                             .toHex(' '))
                    .toUtf8();
            if (const char* reason = deliberate(r, reply, a, b)) {
                ++moreExact[reason];
                continue;
            }
            QVERIFY2(a.outcome == b.outcome, what + QByteArray(" libmodbus ") +
                                                 QByteArray::number(a.outcome) + " driver " +
                                                 QByteArray::number(b.outcome));
            QVERIFY2(a.values == b.values, what);
            ++compared;
        }
        modbus_close(lib);
        modbus_free(lib);
        modbus_close(ours);
        modbus_free(ours);
        qInfo("%d replies alike", compared);
        for (const auto& [reason, count] : moreExact) {
            qInfo("%d more exact on purpose: %s", count, reason.constData());
        }
        QCOMPARE(int(moreExact.size()), 4);
    }
};

QTEST_APPLESS_MAIN(TstDriverDifferential)
#include "tst_driver_differential.moc"
