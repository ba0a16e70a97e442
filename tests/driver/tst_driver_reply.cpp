// What the driver makes of each kind of reply, byte for byte: the checks
// libmodbus's high-level calls would make, and the cases it cannot tell
// apart (an echo, junk against a frame of another address).
#include <QtTest>

#include "Frame.h"
#include "RtuFrames.h"

using modbusrtu::Request;
using Bytes = RtuFrames::Bytes;

Q_DECLARE_METATYPE(Request)
Q_DECLARE_METATYPE(Bytes)

namespace {

constexpr std::uint8_t kSlave = 7;
const Request kReadTwo{kSlave, 0x03, 10, 2};
const Request kReadBits{kSlave, 0x02, 0, 16};
const Request kCoilOn{kSlave, 0x05, 3, 0xFF00};

Bytes requestFrame(const Request& r) {
    const auto f = r.frame();
    return Bytes(f.begin(), f.begin() + r.length() + 2);
}

Bytes damaged(Bytes frame) {
    frame.back() ^= 0x5A;
    return frame;
}

Bytes cut(Bytes frame, std::size_t length) {
    frame.resize(length);
    return frame;
}

}  // namespace

class TstDriverReply : public QObject {
    Q_OBJECT

  private slots:
    void verdict_data() {
        QTest::addColumn<Request>("request");
        QTest::addColumn<Bytes>("reply");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("detail");  // exception code or other address

        RtuFrames f;
        const Bytes good = f.frame(kSlave, {0x03, 4, 0x12, 0x34, 0xAB, 0xCD});
        QTest::newRow("good") << kReadTwo << good << int(TQ7310_OK) << 0;
        QTest::newRow("good bits")
            << kReadBits << f.frame(kSlave, {0x02, 2, 0x81, 0x00}) << int(TQ7310_OK) << 0;
        QTest::newRow("exception")
            << kReadTwo << f.frame(kSlave, {0x83, 0x02}) << int(TQ7310_EXCEPTION) << 2;
        QTest::newRow("gateway exception")
            << kReadTwo << f.frame(kSlave, {0x83, 0x0B}) << int(TQ7310_EXCEPTION) << 0x0B;
        QTest::newRow("exception code past the standard ones")
            << kReadTwo << f.frame(kSlave, {0x83, 0x40}) << int(TQ7310_EXCEPTION) << 0x40;
        QTest::newRow("exception to another function")
            << kReadTwo << f.frame(kSlave, {0x84, 0x02}) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("another address")
            << kReadTwo << f.readdressed(9, good) << int(TQ7310_WRONG_SLAVE) << 9;
        QTest::newRow("another address, bad CRC")
            << kReadTwo << damaged(f.readdressed(9, good)) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("bad CRC") << kReadTwo << damaged(good) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("wrong function")
            << kReadTwo << f.frame(kSlave, {0x04, 4, 1, 2, 3, 4}) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("too few registers")
            << kReadTwo << f.frame(kSlave, {0x03, 2, 1, 2}) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("byte count against length")
            << kReadTwo << f.frame(kSlave, {0x03, 4, 1, 2, 3}) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("junk") << kReadTwo << Bytes{0x13, 0x37, 0xFF, 0x00, 0x55, 0xAA, 0x42}
                              << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("too short") << kReadTwo << cut(good, 3) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("echo as read")
            << kReadTwo << cut(requestFrame(kReadTwo), 5) << int(TQ7310_ECHO) << 0;
        QTest::newRow("whole echo") << kReadTwo << requestFrame(kReadTwo) << int(TQ7310_ECHO) << 0;
        // Address and function alone could be anything's start.
        QTest::newRow("two bytes of the request")
            << kReadTwo << cut(requestFrame(kReadTwo), 2) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("write answered") << kCoilOn << requestFrame(kCoilOn) << int(TQ7310_OK) << 0;
        QTest::newRow("write answered for another value")
            << kCoilOn << f.frame(kSlave, {0x05, 0, 3, 0, 0}) << int(TQ7310_BAD_FRAME) << 0;
        QTest::newRow("write answered for another coil")
            << kCoilOn << f.frame(kSlave, {0x05, 0, 4, 0xFF, 0}) << int(TQ7310_BAD_FRAME) << 0;
    }

    void verdict() {
        QFETCH(Request, request);
        QFETCH(Bytes, reply);
        QFETCH(int, outcome);
        QFETCH(int, detail);
        const auto v = modbusrtu::checkReply(request, reply.data(), int(reply.size()));
        QCOMPARE(int(v.outcome), outcome);
        QCOMPARE(v.outcome == TQ7310_EXCEPTION ? v.exceptionCode : v.otherAddress, detail);
        if (outcome != TQ7310_EXCEPTION) {
            QCOMPARE(v.exceptionCode, 0);
        }
    }

    // A Modbus TCP reply is judged as the frame it carries, once its header
    // is sound.
    void tcpVerdict_data() {
        QTest::addColumn<Bytes>("header");  // transaction, protocol, length
        QTest::addColumn<Bytes>("unitAndPdu");
        QTest::addColumn<int>("outcome");
        const Bytes good{kSlave, 0x03, 4, 0x12, 0x34, 0xAB, 0xCD};
        QTest::newRow("good") << Bytes{0, 9, 0, 0, 0, 7} << good << int(TQ7310_OK);
        QTest::newRow("gateway: no answer from the unit")
            << Bytes{0, 9, 0, 0, 0, 3} << Bytes{kSlave, 0x83, 0x0B} << int(TQ7310_EXCEPTION);
        QTest::newRow("another unit")
            << Bytes{0, 9, 0, 0, 0, 7} << Bytes{9, 0x03, 4, 0x12, 0x34, 0xAB, 0xCD}
            << int(TQ7310_WRONG_SLAVE);
        QTest::newRow("another protocol")
            << Bytes{0, 9, 0, 1, 0, 7} << good << int(TQ7310_BAD_FRAME);
        QTest::newRow("length says more")
            << Bytes{0, 9, 0, 0, 0, 8} << good << int(TQ7310_BAD_FRAME);
        QTest::newRow("length's high byte")
            << Bytes{0, 9, 0, 0, 1, 7} << good << int(TQ7310_BAD_FRAME);
        QTest::newRow("header alone")
            << Bytes{0, 9, 0, 0, 0, 1} << Bytes{kSlave} << int(TQ7310_BAD_FRAME);
    }

    void tcpVerdict() {
        QFETCH(Bytes, header);
        QFETCH(Bytes, unitAndPdu);
        QFETCH(int, outcome);
        Bytes adu = header;
        adu.insert(adu.end(), unitAndPdu.begin(), unitAndPdu.end());
        QCOMPARE(int(modbusrtu::checkTcpReply(kReadTwo, adu.data(), int(adu.size())).outcome),
                 outcome);
    }

    // As many bytes as libmodbus's receive takes for a frame that starts so.
    void receivedLength_data() {
        QTest::addColumn<Bytes>("start");
        QTest::addColumn<int>("length");
        QTest::newRow("read, 4 data bytes") << Bytes{7, 0x03, 4} << 9;
        QTest::newRow("read, none") << Bytes{7, 0x01, 0} << 5;
        QTest::newRow("input registers") << Bytes{7, 0x04, 2} << 7;
        QTest::newRow("exception") << Bytes{7, 0x83, 2} << 5;
        QTest::newRow("single write") << Bytes{7, 0x06, 0} << 8;
        QTest::newRow("mask write") << Bytes{7, 0x16, 0} << 10;
        QTest::newRow("report id") << Bytes{7, 0x11, 3} << 8;
        QTest::newRow("byte count overruns") << Bytes{7, 0x03, 255} << 3;
        QTest::newRow("just the function") << Bytes{7, 0x03} << 2;
    }

    void receivedLength() {
        QFETCH(Bytes, start);
        QFETCH(int, length);
        Bytes buffer = start;
        buffer.resize(modbusrtu::kMaxFrameBytes);
        const int available = start.size() > 2 ? modbusrtu::kMaxFrameBytes : int(start.size());
        QCOMPARE(modbusrtu::receivedLength(buffer.data(), available), length);
    }

    // An answer libmodbus read as a request, cut where a request would end:
    // how many of its bytes still wait on the line.
    void bytesShort_data() {
        QTest::addColumn<Request>("request");
        QTest::addColumn<Bytes>("start");
        QTest::addColumn<int>("missing");
        RtuFrames f;
        const Request twoWritten{kSlave, 0x10, 4, 2};
        QTest::newRow("write of several, cut at its CRC")
            << twoWritten << cut(f.frame(kSlave, {0x10, 0, 4, 0, 2}), 7) << 1;
        QTest::newRow("exception to it") << twoWritten << Bytes{kSlave, 0x90, 2} << 2;
        QTest::newRow("exception, whole") << twoWritten << f.frame(kSlave, {0x90, 2}) << 0;
        QTest::newRow("a read's answer") << kReadTwo << Bytes{kSlave, 0x03, 4, 0x12} << 0;
        QTest::newRow("address alone") << twoWritten << Bytes{kSlave} << 0;
    }

    void bytesShort() {
        QFETCH(Request, request);
        QFETCH(Bytes, start);
        QFETCH(int, missing);
        QCOMPARE(modbusrtu::bytesShort(request, start.data(), int(start.size())), missing);
    }

    void valuesUnpacked() {
        RtuFrames f;
        const Bytes regs = f.frame(kSlave, {0x03, 4, 0x12, 0x34, 0xAB, 0xCD});
        std::uint16_t values[2] = {};
        modbusrtu::unpackRegisters(regs.data(), 2, values);
        QCOMPARE(values[0], 0x1234);
        QCOMPARE(values[1], 0xABCD);
        const Bytes bits = f.frame(kSlave, {0x02, 2, 0x81, 0x02});
        std::uint8_t on[16] = {};
        modbusrtu::unpackBits(bits.data(), 16, on);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(on), 16),
                 QByteArray::fromHex("01000000000000010001000000000000"));
    }

    void requestOnTheLine() {
        RtuFrames f;
        QCOMPARE(requestFrame(kReadTwo), f.frame(kSlave, {0x03, 0, 10, 0, 2}));
        QCOMPARE(requestFrame(kCoilOn), f.frame(kSlave, {0x05, 0, 3, 0xFF, 0}));
        QCOMPARE(kReadBits.replyLength(), 7);
        QCOMPARE(kReadTwo.replyLength(), 9);
        QCOMPARE(kCoilOn.replyLength(), 8);
    }
};

QTEST_APPLESS_MAIN(TstDriverReply)
#include "tst_driver_reply.moc"
