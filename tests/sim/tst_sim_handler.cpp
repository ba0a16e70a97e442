// Request frames in, reply frames out: the map as the line sees it.

#include <QRandomGenerator>
#include <QtTest>

#include <vector>

#include "ManualClock.h"
#include "ModuleMap.h"
#include "RequestHandler.h"
#include "RtuFrames.h"

using namespace std::chrono_literals;
namespace mm = module_map;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kAddress = 1;

RtuFrames& master() {
    static RtuFrames frames;
    return frames;
}

Bytes frame(int address, const Bytes& pdu) {
    return master().frame(address, pdu);
}

// Point n goes out as protocol address n - 1.
Bytes request(int function, int point, int quantityOrValue) {
    const int a = point - 1;
    return {static_cast<std::uint8_t>(function), static_cast<std::uint8_t>(a >> 8),
            static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(quantityOrValue >> 8),
            static_cast<std::uint8_t>(quantityOrValue)};
}

Bytes writeMany(int function, int point, int count, const Bytes& payload) {
    Bytes pdu = request(function, point, count);
    pdu.push_back(static_cast<std::uint8_t>(payload.size()));
    pdu.insert(pdu.end(), payload.begin(), payload.end());
    return pdu;
}

QByteArray hexOf(const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())).toHex(' ');
}

struct Fixture {
    ManualClock clock;
    sim::ModuleModel model{clock.clock()};
    sim::RequestHandler handler{model, kAddress};

    Fixture() {
        // Hold every input still so the values stay put between requests.
        for (int x = 0; x < sim::ModuleModel::kPulseInputs; ++x) {
            model.setPulseLevel(x, false);
        }
    }
    Bytes send(const Bytes& pdu) { return handler.handle(frame(kAddress, pdu)).reply; }
    // The reply's PDU, once a master has taken the frame around it.
    Bytes pdu(const Bytes& request) { return master().accept(kAddress, send(request)); }
    std::vector<int> registers(int function, int point, int count) {
        const Bytes p = pdu(request(function, point, count));
        std::vector<int> out;
        for (std::size_t i = 2; i + 1 < p.size(); i += 2) {
            out.push_back((p[i] << 8) | p[i + 1]);
        }
        return out;
    }
    std::vector<bool> bits(int function, int point, int count) {
        const Bytes p = pdu(request(function, point, count));
        std::vector<bool> out;
        for (int i = 0; i < count && 2 + i / 8 < int(p.size()); ++i) {
            out.push_back((p[2 + i / 8] >> (i % 8)) & 1);
        }
        return out;
    }
};

}  // namespace

class TestSimHandler : public QObject {
    Q_OBJECT

  private slots:
    void framesMatchKnownBytes();
    void answers_data();
    void answers();
    void inputsShowXAndDi();
    void countRegistersPutHighWordFirst();
    void frequencyValues();
    void coilsShowOutputs();
    void clearCoils_data();
    void clearCoils();
    void clearCode();
    void writeRegistersIsAllOrNothing();
    void writeCoilsAndRegisters();
    void framesNotAnswered_data();
    void framesNotAnswered();
    void broadcastWritesWithoutReply();
    void survivesRandomFrames();
};

void TestSimHandler::framesMatchKnownBytes() {
    const Bytes f = frame(1, {0x03, 0x00, 0x00, 0x00, 0x10});
    QCOMPARE(hexOf(f), QByteArray("01 03 00 00 00 10 44 06"));
    const Bytes g = frame(1, {0x02, 0x00, 0x00, 0x00, 0x10});
    QCOMPARE(hexOf(g), QByteArray("01 02 00 00 00 10 79 c6"));
    // Whole replies, CRC and all, as a line trace shows them.
    Fixture fixture;
    QCOMPARE(hexOf(fixture.send(request(0x03, mm::kConfigRegister + mm::kConfigRegistersRead, 1))),
             QByteArray("01 83 02 c0 f1"));
    QCOMPARE(hexOf(fixture.send(request(0x03, mm::kModeRegister, 1))),
             QByteArray("01 03 02 00 00 b8 44"));
}

void TestSimHandler::answers_data() {
    QTest::addColumn<Bytes>("pdu");
    QTest::addColumn<int>("exception");  // 0: a normal reply
    const int lastConfig = mm::kConfigRegister + mm::kConfigRegistersRead - 1;
    const int last32 = mm::kCount32Register + 2 * mm::kCount32Values - 1;
    const int doFunction1 = mm::kDoFunctionRegister;
    const int doPreset1 = mm::kDoPresetRegister;

    QTest::newRow("function 07") << Bytes{0x07} << 0x01;
    QTest::newRow("function 2B") << Bytes{0x2B, 0x0E, 0x01, 0x00} << 0x01;
    QTest::newRow("function 17") << writeMany(0x17, 1, 1, {0, 0, 0, 1, 2, 0, 0}) << 0x01;

    QTest::newRow("inputs 1..16") << request(0x02, mm::kFirstInput, mm::kInputsRead) << 0;
    QTest::newRow("inputs 1..17") << request(0x02, mm::kFirstInput, mm::kInputsRead + 1) << 0x02;
    QTest::newRow("inputs, none") << request(0x02, 1, 0) << 0x03;
    QTest::newRow("inputs, 2001") << request(0x02, 1, 2001) << 0x03;

    QTest::newRow("coils 1..16") << request(0x01, mm::kFirstCoil, mm::kCoilsRead) << 0;
    QTest::newRow("coil 17") << request(0x01, mm::kFirstCoil + mm::kCoilsRead, 1) << 0x02;
    QTest::newRow("clear coils") << request(0x01, mm::kClear16Coil, 2 * mm::kCountingInputs) << 0;
    QTest::newRow("before the clear coils") << request(0x01, mm::kClear16Coil - 1, 1) << 0x02;
    QTest::newRow("after the clear coils")
        << request(0x01, mm::kClear32Coil + mm::kCountingInputs, 1) << 0x02;

    QTest::newRow("16-bit counts") << request(0x04, mm::kCount16Register, mm::kCount16Values) << 0;
    QTest::newRow("after the 16-bit counts")
        << request(0x04, mm::kCount16Register + mm::kCount16Values, 1) << 0x02;
    QTest::newRow("32-bit values")
        << request(0x04, mm::kCount32Register, 2 * mm::kCount32Values) << 0;
    QTest::newRow("before the 32-bit values") << request(0x04, mm::kCount32Register - 1, 1) << 0x02;
    QTest::newRow("after the 32-bit values") << request(0x04, last32 + 1, 1) << 0x02;
    QTest::newRow("across the gap") << request(0x04, mm::kCount16Register, last32) << 0x02;
    QTest::newRow("126 registers") << request(0x04, 1, 126) << 0x03;

    QTest::newRow("configuration")
        << request(0x03, mm::kConfigRegister, mm::kConfigRegistersRead) << 0;
    QTest::newRow("after the configuration") << request(0x03, lastConfig + 1, 1) << 0x02;
    QTest::newRow("clear code register") << request(0x03, mm::kClearCodeRegister, 1) << 0;
    QTest::newRow("beside the clear code") << request(0x03, mm::kClearCodeRegister - 1, 2) << 0x02;

    QTest::newRow("DI1 function 2") << request(0x06, mm::kDiFunctionRegister, 2) << 0;
    QTest::newRow("DI1 function 3") << request(0x06, mm::kDiFunctionRegister, 3) << 0x03;
    QTest::newRow("DO1 function 1") << request(0x06, doFunction1, 1) << 0;
    QTest::newRow("DO1 function 2") << request(0x06, doFunction1, 2) << 0x03;
    QTest::newRow("DO1 preset 65535") << request(0x06, doPreset1, 65535) << 0;
    QTest::newRow("mode 2") << request(0x06, mm::kModeRegister, 2) << 0;
    QTest::newRow("mode 3") << request(0x06, mm::kModeRegister, 3) << 0x03;
    QTest::newRow("spare register") << request(0x06, lastConfig, 4321) << 0;
    QTest::newRow("clear code") << request(0x06, mm::kClearCodeRegister, mm::kClearCode) << 0;
    QTest::newRow("wrong clear code")
        << request(0x06, mm::kClearCodeRegister, mm::kClearCode + 1) << 0x03;
    QTest::newRow("write register 17") << request(0x06, lastConfig + 1, 0) << 0x02;

    QTest::newRow("coil on") << request(0x05, mm::kFirstCoil, 0xFF00) << 0;
    QTest::newRow("coil, bad value") << request(0x05, mm::kFirstCoil, 0x1234) << 0x03;
    QTest::newRow("write coil 17")
        << request(0x05, mm::kFirstCoil + mm::kCoilsRead, 0xFF00) << 0x02;
    QTest::newRow("read, short") << Bytes{0x03, 0x00, 0x00} << 0x03;
    QTest::newRow("write many, byte count off")
        << writeMany(0x10, mm::kConfigRegister, 2, {0, 1}) << 0x03;
}

void TestSimHandler::answers() {
    QFETCH(Bytes, pdu);
    QFETCH(int, exception);
    Fixture f;
    const Bytes reply = f.pdu(pdu);
    QVERIFY2(!reply.empty(), "no valid reply");
    if (exception == 0) {
        QCOMPARE(reply[0], pdu[0]);
        return;
    }
    QCOMPARE(hexOf(reply),
             hexOf(Bytes{static_cast<std::uint8_t>(pdu[0] | 0x80), std::uint8_t(exception)}));
}

void TestSimHandler::inputsShowXAndDi() {
    Fixture f;
    f.model.setPulseLevel(0, true);
    f.model.setPulseLevel(2, true);
    f.model.setDigitalInput(0, true);
    f.model.setDigitalInput(mm::kDigitalInputs - 1, true);
    std::vector<bool> expected(mm::kInputsRead, false);
    expected[mm::kFirstInput - 1 + 0] = true;
    expected[mm::kFirstInput - 1 + 2] = true;
    expected[mm::kFirstDigitalInput - 1] = true;
    expected[mm::kFirstDigitalInput - 1 + mm::kDigitalInputs - 1] = true;
    QCOMPARE(f.bits(0x02, mm::kFirstInput, mm::kInputsRead), expected);
}

void TestSimHandler::countRegistersPutHighWordFirst() {
    Fixture f;
    const std::uint32_t counts[] = {0x12345678u, 70000u, 0xFFFFFFFFu, 5u};
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        f.model.setCount(x, counts[x]);
    }
    const auto sixteen = f.registers(0x04, mm::kCount16Register, mm::kCount16Values);
    QCOMPARE(sixteen, (std::vector<int>{0x5678, 70000 - 65536, 0xFFFF, 5}));
    const auto wide = f.registers(0x04, mm::kCount32Register, 2 * mm::kCountingInputs);
    QCOMPARE(wide, (std::vector<int>{0x1234, 0x5678, 1, 70000 - 65536, 0xFFFF, 0xFFFF, 0, 5}));
}

void TestSimHandler::frequencyValues() {
    Fixture f;
    const std::uint32_t hz[] = {1, 3, 100000, sim::kMaxFrequencyHz};
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        f.model.setFrequency(x, hz[x]);
    }
    const int first = mm::kCount32Register + 2 * mm::kFrequencyValueOffset;
    QCOMPARE(f.registers(0x04, first, 2 * mm::kCountingInputs),
             (std::vector<int>(2 * mm::kCountingInputs, 0)));  // counting mode measures nothing
    QVERIFY(!f.pdu(request(0x06, mm::kModeRegister, int(sim::Mode::Frequency))).empty());
    std::vector<int> expected;
    for (std::uint32_t v : hz) {
        expected.push_back(int(v >> 16));
        expected.push_back(int(v & 0xFFFF));
    }
    QCOMPARE(f.registers(0x04, first, 2 * mm::kCountingInputs), expected);
}

void TestSimHandler::coilsShowOutputs() {
    Fixture f;
    QVERIFY(!f.pdu(request(0x05, mm::kFirstCoil + 1, 0xFF00)).empty());
    QVERIFY(!f.pdu(request(0x05, mm::kFirstCoil + mm::kOutputs - 1, 0xFF00)).empty());
    QVERIFY(!f.pdu(request(0x05, mm::kFirstCoil + mm::kOutputs, 0xFF00)).empty());  // spare
    // DO1 in alarm function with preset 0 is on at once.
    QVERIFY(!f.pdu(request(0x06, mm::kDoFunctionRegister, 1)).empty());
    std::vector<bool> expected(mm::kCoilsRead, false);
    expected[0] = true;
    expected[1] = true;
    expected[mm::kOutputs - 1] = true;
    QCOMPARE(f.bits(0x01, mm::kFirstCoil, mm::kCoilsRead), expected);
}

void TestSimHandler::clearCoils_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("wide");
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        QTest::addRow("X%d 16-bit", x + 1) << x << false;
        QTest::addRow("X%d 32-bit", x + 1) << x << true;
    }
}

void TestSimHandler::clearCoils() {
    QFETCH(int, x);
    QFETCH(bool, wide);
    Fixture f;
    for (int i = 0; i < mm::kCountingInputs; ++i) {
        f.model.setCount(i, 1000);
    }
    const int coil = (wide ? mm::kClear32Coil : mm::kClear16Coil) + x;
    QVERIFY(!f.pdu(request(0x05, coil, 0x0000)).empty());
    QCOMPARE(f.model.count32(x), 1000u);  // writing off does nothing
    QVERIFY(!f.pdu(request(0x05, coil, 0xFF00)).empty());
    for (int i = 0; i < mm::kCountingInputs; ++i) {
        QCOMPARE(f.model.count16(i), quint16(i == x && !wide ? 0 : 1000));
        QCOMPARE(f.model.count32(i), i == x && wide ? 0u : 1000u);
    }
    QCOMPARE(f.bits(0x01, mm::kClear16Coil, 2 * mm::kCountingInputs),
             std::vector<bool>(2 * mm::kCountingInputs, false));
}

void TestSimHandler::clearCode() {
    Fixture f;
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        f.model.setCount(x, 1000);
    }
    QCOMPARE(f.pdu(request(0x06, mm::kClearCodeRegister, 1)), (Bytes{0x86, 0x03}));
    QCOMPARE(f.model.count32(0), 1000u);
    QVERIFY(!f.pdu(request(0x06, mm::kClearCodeRegister, mm::kClearCode)).empty());
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        QCOMPARE(f.model.count16(x), 0);
        QCOMPARE(f.model.count32(x), 0u);
    }
    QCOMPARE(f.registers(0x03, mm::kClearCodeRegister, 1), std::vector<int>{0});
}

void TestSimHandler::writeRegistersIsAllOrNothing() {
    Fixture f;
    const Bytes bad = writeMany(0x10, mm::kConfigRegister, 2, {0, 1, 0, 3});
    QCOMPARE(f.pdu(bad), (Bytes{0x90, 0x03}));
    QCOMPARE(f.model.config(mm::kConfigRegister), 0);
}

void TestSimHandler::writeCoilsAndRegisters() {
    Fixture f;
    QCOMPARE(f.pdu(writeMany(0x10, mm::kConfigRegister, 2, {0, 1, 0, 2})),
             (Bytes{0x10, 0x00, 0x00, 0x00, 0x02}));
    QCOMPARE(f.registers(0x03, mm::kConfigRegister, 2), (std::vector<int>{1, 2}));
    QCOMPARE(f.pdu(writeMany(0x0F, mm::kFirstCoil, mm::kOutputs, {0x15})),
             (Bytes{0x0F, 0x00, 0x00, 0x00, std::uint8_t(mm::kOutputs)}));
    QCOMPARE(f.bits(0x01, mm::kFirstCoil, mm::kOutputs),
             (std::vector<bool>{true, false, true, false, true}));
}

void TestSimHandler::framesNotAnswered_data() {
    QTest::addColumn<Bytes>("bytes");
    const Bytes good = frame(kAddress, request(0x03, mm::kConfigRegister, 1));
    Bytes badCrc = good;
    badCrc.back() ^= 0x01;
    QTest::newRow("other slave") << frame(kAddress + 1, request(0x03, mm::kConfigRegister, 1));
    QTest::newRow("bad CRC") << badCrc;
    QTest::newRow("truncated") << Bytes(good.begin(), good.begin() + 3);
    QTest::newRow("empty") << Bytes{};
}

void TestSimHandler::framesNotAnswered() {
    QFETCH(Bytes, bytes);
    Fixture f;
    const sim::Handled h = f.handler.handle(bytes);
    QVERIFY(h.reply.empty());
    QVERIFY(!h.note.empty());
}

void TestSimHandler::broadcastWritesWithoutReply() {
    Fixture f;
    const sim::Handled h = f.handler.handle(
        frame(sim::RequestHandler::kBroadcast, request(0x06, mm::kModeRegister, 1)));
    QVERIFY(h.reply.empty());
    QCOMPARE(f.model.mode(), sim::Mode::Frequency);
}

void TestSimHandler::survivesRandomFrames() {
    // Well-formed frames with random content reach every branch past the CRC.
    Fixture f;
    QRandomGenerator random(7310);
    for (int i = 0; i < 20000; ++i) {
        Bytes pdu(random.bounded(0, 20));
        for (auto& b : pdu) {
            b = static_cast<std::uint8_t>(random.bounded(256));
        }
        if (!pdu.empty() && random.bounded(2)) {
            pdu[0] = static_cast<std::uint8_t>(random.bounded(1, 0x11));
        }
        const Bytes reply = f.send(pdu);
        if (pdu.empty()) {
            QVERIFY(reply.empty());
            continue;
        }
        QVERIFY(reply.size() >= 5);
        QCOMPARE(reply[0], std::uint8_t(kAddress));
        QCOMPARE(reply[1] & 0x7F, pdu[0] & 0x7F);
        QVERIFY2(!master().accept(kAddress, reply).empty(), hexOf(reply).constData());
    }
}

QTEST_GUILESS_MAIN(TestSimHandler)
#include "tst_sim_handler.moc"
