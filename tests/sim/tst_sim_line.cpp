// The simulator on its line: other slaves' traffic, garbage, pacing, and
// how it comes and goes.

#include <fcntl.h>
#include <modbus.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "LineFaults.h"
#include "ModuleMap.h"
#include "Options.h"
#include "RtuFrames.h"
#include "SimProcess.h"

namespace mm = module_map;
using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(sim::FaultSettings)

namespace {

constexpr int kAddress = 1;
constexpr int kOtherSlave = 9;
constexpr int kLogMs = 3000;
// Pseudo-terminals carry no parity, and Linux can refuse a parity setting on
// one, so master and simulator both run without.
const QStringList kLineArgs{"--parity", "none"};

// A libmodbus master on the simulator's device.
class Master {
  public:
    explicit Master(const QString& device, int baud = 9600)
        : ctx_(modbus_new_rtu(device.toLocal8Bit().constData(), baud, 'N', 8, 1)) {
        if (ctx_ == nullptr) {
            return;
        }
        modbus_set_response_timeout(ctx_, 0, 300000);
        if (modbus_connect(ctx_) != 0) {
            modbus_free(ctx_);
            ctx_ = nullptr;
        }
    }
    ~Master() {
        if (ctx_ != nullptr) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
    }
    bool ok() const { return ctx_ != nullptr; }
    void setResponseMs(int ms) { modbus_set_response_timeout(ctx_, 0, std::uint32_t(ms) * 1000); }

    // Sends address, function and data as they are; returns the reply's
    // address, function and data, or nothing.
    Bytes raw(const Bytes& request) { return send(request) ? receive() : Bytes{}; }
    bool send(const Bytes& request) {
        modbus_set_slave(ctx_, request.front());
        return modbus_send_raw_request(ctx_, request.data(), int(request.size())) >= 0;
    }
    // The next reply on the line, whatever request it answers.
    Bytes receive() {
        std::uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH];
        const int n = modbus_receive_confirmation(ctx_, reply);
        return n < 2 ? Bytes{} : Bytes(reply, reply + n - 2);
    }

    // Input registers first..first+count-1 from `slave`; empty when no reply.
    std::vector<int> readInputRegisters(int slave, int first, int count) {
        modbus_set_slave(ctx_, slave);
        std::vector<std::uint16_t> regs(count);
        if (modbus_read_input_registers(ctx_, first - 1, count, regs.data()) != count) {
            return {};
        }
        return {regs.begin(), regs.end()};
    }

  private:
    modbus_t* ctx_;
};

Bytes frame(int address, const Bytes& pdu) {
    RtuFrames frames;
    return frames.frame(address, pdu);
}

Bytes readRequest(int address) {
    const int a = mm::kCount16Register - 1;
    return frame(address, {0x04, std::uint8_t(a >> 8), std::uint8_t(a), 0,
                           std::uint8_t(mm::kCount16Values)});
}

// Writes straight onto the line, as a confused device on the bus would.
bool writeRaw(const QString& device, const Bytes& bytes) {
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ::close(fd);
    return ok;
}

}  // namespace

class TestSimLine : public QObject {
    Q_OBJECT

  private slots:
    void requestAfterAnotherSlaveIsAnswered();
    void survivesGarbage_data();
    void survivesGarbage();
    void refusesUnknownFunctions_data();
    void refusesUnknownFunctions();
    void keepsServingAfterEndOfInput();
    void dropsOverlongControlLines();
    void stopsAndRemovesLink_data();
    void stopsAndRemovesLink();
    void pacesLikeARealLine_data();
    void pacesLikeARealLine();
    void faultsFollowTheSeed_data();
    void faultsFollowTheSeed();
    void faultsOfASeed_data();
    void faultsOfASeed();
    void muteWindow_data();
    void muteWindow();
};

void TestSimLine::requestAfterAnotherSlaveIsAnswered() {
    SimProcess sim;
    QVERIFY2(sim.start(kLineArgs + QStringList{"--verbose"}), qPrintable(sim.transcript()));
    QVERIFY(sim.command("x 1 0"));
    QVERIFY(sim.command("count 1 4242"));
    Master master(sim.device());
    QVERIFY(master.ok());
    // libmodbus 3.1.6 on the slave side takes the frame after one for
    // another slave as that slave's reply and drops it: each request to us
    // right after one to somebody else would go unanswered.
    for (int round = 0; round < 3; ++round) {
        QVERIFY(master.readInputRegisters(kOtherSlave, mm::kCount16Register, 1).empty());
        QVERIFY2(sim.waitForLine(QRegularExpression("^ignored a request for address 9"), kLogMs),
                 qPrintable(sim.transcript()));
        const std::vector<int> regs = master.readInputRegisters(kAddress, mm::kCount16Register, 1);
        QVERIFY2(!regs.empty(), qPrintable(sim.transcript()));
        QCOMPARE(regs.front(), 4242);
    }
}

void TestSimLine::survivesGarbage_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("logged");
    Bytes badCrc = readRequest(kAddress);
    badCrc.back() ^= 0xFF;
    const Bytes good = readRequest(kAddress);
    // Made at its full length: growing it makes GCC 12 at -O3 see an
    // out-of-bounds copy (-Warray-bounds) that is not there.
    const Bytes head{0x01, 0x10, 0x00, 0x00, 0x00, 0x7B, 0xFF};
    Bytes tooLong(head.size() + 20, 0x55);
    std::copy(head.begin(), head.end(), tooLong.begin());
    Bytes otherThenNoise = readRequest(kOtherSlave);
    otherThenNoise.insert(otherThenNoise.end(), {0x01, 0x02, 0x03});

    QTest::newRow("bad CRC") << badCrc << R"(^dropped a frame \(bad CRC\)$)";
    QTest::newRow("truncated") << Bytes(good.begin(), good.begin() + 5)
                               << R"(^dropped a frame \(truncated frame\)$)";
    QTest::newRow("lone byte") << Bytes{kAddress} << R"(^dropped a frame \(truncated frame\)$)";
    QTest::newRow("too long") << tooLong
                              << R"(^dropped a frame \(frame too long\) and 20 bytes after it$)";
    QTest::newRow("noise") << Bytes{0x01, 0x03, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x11, 0x22, 0x33}
                           << R"(^dropped a frame \(bad CRC\) and 2 bytes after it$)";
    QTest::newRow("another slave, then noise")
        << otherThenNoise << R"(^ignored a request for address 9 and 3 bytes after it$)";
}

void TestSimLine::survivesGarbage() {
    QFETCH(Bytes, bytes);
    QFETCH(QString, logged);
    SimProcess sim;
    QVERIFY2(sim.start(kLineArgs + QStringList{"--verbose"}), qPrintable(sim.transcript()));
    for (int x = 1; x <= mm::kCountingInputs; ++x) {
        QVERIFY(sim.command("x " + QByteArray::number(x) + " 0"));
        QVERIFY(sim.command("count " + QByteArray::number(x) + " " + QByteArray::number(100 * x)));
    }
    QVERIFY(writeRaw(sim.device(), bytes));
    QVERIFY2(sim.waitForLine(QRegularExpression(logged), kLogMs), qPrintable(sim.transcript()));
    Master master(sim.device());
    QVERIFY(master.ok());
    const std::vector<int> regs =
        master.readInputRegisters(kAddress, mm::kCount16Register, mm::kCount16Values);
    QCOMPARE(regs, (std::vector<int>{100, 200, 300, 400}));
    QVERIFY(sim.stop());
}

void TestSimLine::refusesUnknownFunctions_data() {
    QTest::addColumn<Bytes>("request");
    QTest::newRow("07 exception status") << Bytes{kAddress, 0x07};
    QTest::newRow("08 diagnostics") << Bytes{kAddress, 0x08, 0x00, 0x00, 0x12, 0x34};
    QTest::newRow("11 report slave id") << Bytes{kAddress, 0x11};
    QTest::newRow("16 mask write") << Bytes{kAddress, 0x16, 0, 0, 0xFF, 0xFF, 0, 0};
    QTest::newRow("2B device identification") << Bytes{kAddress, 0x2B, 0x0E, 0x01, 0x00};
}

void TestSimLine::refusesUnknownFunctions() {
    QFETCH(Bytes, request);
    SimProcess sim;
    QVERIFY2(sim.start(kLineArgs), qPrintable(sim.transcript()));
    Master master(sim.device());
    QVERIFY(master.ok());
    const Bytes reply = master.raw(request);
    QCOMPARE(reply, (Bytes{kAddress, std::uint8_t(request[1] | 0x80), 0x01}));
    // And the line is in step for what follows.
    QCOMPARE(master.readInputRegisters(kAddress, mm::kCount16Register, 1).size(), 1u);
}

void TestSimLine::keepsServingAfterEndOfInput() {
    SimProcess sim;
    QVERIFY2(sim.start(kLineArgs), qPrintable(sim.transcript()));
    QVERIFY(sim.command("x 2 0"));
    QVERIFY(sim.command("count 2 7"));
    sim.process().closeWriteChannel();
    Master master(sim.device());
    QVERIFY(master.ok());
    const std::vector<int> regs = master.readInputRegisters(kAddress, mm::kCount16Register + 1, 1);
    QCOMPARE(regs, std::vector<int>{7});
    QCOMPARE(sim.process().state(), QProcess::Running);
    QVERIFY(sim.stop());
}

void TestSimLine::dropsOverlongControlLines() {
    SimProcess sim;
    QVERIFY2(sim.start(kLineArgs), qPrintable(sim.transcript()));
    // Far past what is held of a line, however standard input is cut.
    sim.send(QByteArray(8000, 'x'));
    QVERIFY2(sim.waitForLine(QRegularExpression("^error: line too long$"), kLogMs),
             qPrintable(sim.transcript()));
    QVERIFY(sim.command("count 1 5"));
    QVERIFY(sim.stop());
}

void TestSimLine::stopsAndRemovesLink_data() {
    QTest::addColumn<bool>("byCommand");
    QTest::newRow("quit") << true;
    QTest::newRow("SIGTERM") << false;
}

void TestSimLine::stopsAndRemovesLink() {
    QFETCH(bool, byCommand);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("tq7310");
    SimProcess sim;
    QVERIFY2(sim.start(kLineArgs + QStringList{"--link", link}), qPrintable(sim.transcript()));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.device());
    {
        Master master(link);
        QVERIFY(master.ok());
        QCOMPARE(master.readInputRegisters(kAddress, mm::kCount16Register, 1).size(), 1u);
    }
    if (byCommand) {
        sim.send("quit");
        QVERIFY(sim.process().waitForFinished(SimProcess::kStartMs));
    }
    QVERIFY(sim.stop());
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

void TestSimLine::pacesLikeARealLine_data() {
    QTest::addColumn<int>("baud");
    QTest::newRow("9600") << 9600;
    QTest::newRow("38400") << 38400;
}

void TestSimLine::pacesLikeARealLine() {
    QFETCH(int, baud);
    SimProcess sim;
    QVERIFY2(sim.start(kLineArgs + QStringList{"--pace", "--baud", QString::number(baud)}),
             qPrintable(sim.transcript()));
    Master master(sim.device(), baud);
    QVERIFY(master.ok());
    // 8 bytes out, 5 + 2 * count back, 11 bits each, plus the turnaround.
    const int count = mm::kCount16Values;
    const qint64 wireUs = qint64(8 + 5 + 2 * count) * 11 * 1000000 / baud;
    const qint64 floorUs = wireUs + 3000;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        QCOMPARE(int(master.readInputRegisters(kAddress, mm::kCount16Register, count).size()),
                 count);
        const qint64 tookUs = t.nsecsElapsed() / 1000;
        QVERIFY2(tookUs >= floorUs, qPrintable(QString("%1 us < %2 us").arg(tookUs).arg(floorUs)));
        QVERIFY2(tookUs < floorUs + 250000, qPrintable(QString("%1 us").arg(tookUs)));
    }
}

void TestSimLine::faultsFollowTheSeed_data() {
    QTest::addColumn<QStringList>("faults");
    QTest::newRow("drop") << QStringList{"--drop", "0.3", "--seed", "7"};
    QTest::newRow("late") << QStringList{"--late", "0.3:20", "--seed", "7"};
    QTest::newRow("both") << QStringList{"--drop", "0.2", "--late", "0.3:20", "--seed", "99"};
}

void TestSimLine::faultsFollowTheSeed() {
    QFETCH(QStringList, faults);
    std::vector<std::string> storage;
    for (const QString& a : faults) {
        storage.push_back(a.toStdString());
    }
    const std::vector<std::string_view> views(storage.begin(), storage.end());
    std::string error;
    const auto options = sim::parseOptions(views, error);
    QVERIFY(options);
    const sim::LineFaults plan(options->faults);
    // Enough requests for faults of every kind asked for, the last one answered.
    int n = 24;
    while (plan.fateOf(n).drop) {
        ++n;
    }
    SimProcess sim;
    QVERIFY2(sim.start(kLineArgs + faults + QStringList{"--any-baud", "--stamp", "--verbose"}),
             qPrintable(sim.transcript()));
    Master master(sim.device());
    QVERIFY(master.ok());
    master.setResponseMs(kLogMs);
    // Request k reads inputs 1..16 when odd, input registers 11..26 when even. All
    // go out before any reply is read: a held reply keeps the later ones back.
    for (int k = 1; k <= n; ++k) {
        QVERIFY(master.send(
            {kAddress, std::uint8_t(k % 2 ? 0x02 : 0x04), 0, std::uint8_t(k % 2 ? 0 : 10), 0, 16}));
    }
    const QRegularExpression frameLine("^[0-9A-F]{2}( [0-9A-F]{2})*: ");
    int faulty = 0;
    for (int k = 1; k <= n; ++k) {
        const sim::Fate fate = plan.fateOf(k);
        faulty += fate.drop || fate.holdMs > 0;
        QString line;
        QVERIFY2(sim.waitForLine(frameLine, kLogMs, &line), qPrintable(sim.transcript()));
        const char* end = fate.drop ? "reply lost" : fate.holdMs > 0 ? "reply held 20 ms" : "-> ok";
        QVERIFY2(line.endsWith(end), qPrintable(QString("request %1: %2").arg(k).arg(line)));
        if (fate.drop) {
            continue;
        }
        // Stamped k: the bits low byte first, each register high byte first.
        const auto lo = std::uint8_t(k), hi = std::uint8_t(k >> 8);
        Bytes expected = k % 2 ? Bytes{kAddress, 0x02, 2, lo, hi} : Bytes{kAddress, 0x04, 32};
        for (int i = 0; k % 2 == 0 && i < 16; ++i) {
            expected.insert(expected.end(), {hi, lo});
        }
        QCOMPARE(master.receive(), expected);
    }
    QVERIFY(faulty > 0);
}

// A seed names one run of faults, in this build and every later one: "D"
// a reply lost, "L" one held, "." one on time, for requests 1..24.
void TestSimLine::faultsOfASeed_data() {
    QTest::addColumn<sim::FaultSettings>("settings");
    QTest::addColumn<QString>("fates");
    QTest::newRow("drop 0.3, seed 7")
        << sim::FaultSettings{0.3, 0, 0, 7} << ".D.D..D.....DDD.D..D.D.D";
    QTest::newRow("late 0.5, seed 7")
        << sim::FaultSettings{0, 0.5, 20, 7} << "....LL.L.......LL.LL.L..";
    QTest::newRow("both, seed 99")
        << sim::FaultSettings{0.4, 0.6, 20, 99} << ".DLDL.LLLDL.DL.DDD.LL.DL";
    QTest::newRow("every reply lost, none held")
        << sim::FaultSettings{1, 1, 20, 5} << QString(24, 'D');
}

void TestSimLine::faultsOfASeed() {
    QFETCH(sim::FaultSettings, settings);
    QFETCH(QString, fates);
    const sim::LineFaults plan(settings);
    QString drawn;
    for (int k = 1; k <= 24; ++k) {
        const sim::Fate fate = plan.fateOf(k);
        drawn += fate.drop ? (fate.holdMs > 0 ? '!' : 'D') : fate.holdMs == 20 ? 'L' : '.';
    }
    QCOMPARE(drawn, fates);
}

// Mute after request 3 for 100 ms: from the first request after it, timed
// from when that one came.
void TestSimLine::muteWindow_data() {
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("atMs");  // after request 4 came
    QTest::addColumn<bool>("muted");
    QTest::newRow("request 3") << 3 << 0 << false;
    QTest::newRow("request 5, 99 ms on") << 5 << 99 << true;
    QTest::newRow("request 5, 100 ms on") << 5 << 100 << false;
}

void TestSimLine::muteWindow() {
    QFETCH(int, request);
    QFETCH(int, atMs);
    QFETCH(bool, muted);
    sim::LineFaults plan(sim::FaultSettings{0, 0, 0, 1, 3, 100});
    const auto start = std::chrono::steady_clock::now();
    QVERIFY(plan.muted(4, start));
    QCOMPARE(plan.muted(request, start + std::chrono::milliseconds(atMs)), muted);
    QVERIFY(!sim::LineFaults(sim::FaultSettings{}).muted(request, start));
}

QTEST_GUILESS_MAIN(TestSimLine)
#include "tst_sim_line.moc"
