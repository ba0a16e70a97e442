// The driver's operations on every kind of line a module can sit behind,
// against the simulator: its serial line, Modbus TCP and RTU over TCP.
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

#include "DriverTestSupport.h"
#include "ModbusRTU.h"
#include "SimProcess.h"
#include "TestSlave.h"

using namespace driver_test;
using test_slave::ScopedPortEnv;

namespace {

constexpr int32_t kPort = 9;
constexpr int32_t kUnmappedPort = 201;
constexpr int32_t kSlave = 5;
constexpr int32_t kSilentSlave = 9;
constexpr int32_t kPresetRegister = 6;  // takes any value
constexpr int32_t kAbsentRegister = 3000;

// The port's log entries after `after`, oldest first.
QList<Tq7310Traffic> traffic(uint32_t after = 0) {
    QList<Tq7310Traffic> all;
    for (QList<Tq7310Traffic> chunk(64);;) {
        const int n = TQ7310_ReadTraffic(kPort, after, chunk.data(), int(chunk.size()), nullptr);
        all += chunk.mid(0, qMax(n, 0));
        if (n < int(chunk.size())) {
            return all;
        }
        after = chunk.constLast().sequence;
    }
}

// A Modbus TCP server on loopback that answers its one client's first
// request with the frames given, as they are but for the first two bytes:
// the request's transaction id plus their value. Then it stays silent, the
// connection open, until it goes.
class ScriptedTcpServer {
  public:
    explicit ScriptedTcpServer(QList<QByteArray> frames) : frames_(std::move(frames)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&at), size);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedTcpServer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::shutdown(client_, SHUT_RDWR);
        thread_.join();
        ::close(client_);
        ::close(listener_);
    }
    QString target() const { return QStringLiteral("tcp:127.0.0.1:%1").arg(port_); }

  private:
    void serve() {
        client_ = ::accept(listener_, nullptr, nullptr);
        unsigned char request[12];
        if (client_ < 0 || ::recv(client_, request, sizeof request, MSG_WAITALL) != 12) {
            return;
        }
        for (QByteArray frame : frames_) {
            const int id =
                (request[0] << 8 | request[1]) + (uchar(frame[0]) << 8 | uchar(frame[1]));
            frame[0] = char(id >> 8);
            frame[1] = char(id);
            ::send(client_, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL);
        }
        unsigned char rest[1];
        ::recv(client_, rest, 1, 0);  // until the end
    }

    QList<QByteArray> frames_;
    int listener_ = -1;
    std::atomic<int> client_ = -1;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace

class TstDriverNetwork : public QObject {
    Q_OBJECT

    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<ScopedPortEnv> env_;

    // The simulator serving the module at kSlave, and the port led to it by
    // `service` ("" for its pseudo-terminal, else --tcp or --rtu-tcp).
    bool serve(const QString& service, QStringList more = {}) {
        sim_ = std::make_unique<SimProcess>();
        more << QStringLiteral("--address") << QString::number(kSlave);
        if (!service.isEmpty()) {
            more << QStringLiteral("--") + service << QStringLiteral("0");
        }
        if (!sim_->start(more)) {
            return false;
        }
        const QString target =
            service.isEmpty() ? sim_->device() : sim_->target(QString(service + ':'));
        env_ = std::make_unique<ScopedPortEnv>(kPort, target.toStdString());
        return OpenPort_Modbus(kPort, kBaud9600, kParityNone) == 0;
    }

  private slots:
    void cleanup() {
        ClosePort_Modbus(kPort);
        env_.reset();
        sim_.reset();
    }

    void operations_data() {
        QTest::addColumn<QString>("service");
        QTest::addColumn<int>("unitAt");  // where the address sits in a request
        QTest::addColumn<int>("readBytes");
        QTest::addRow("serial line") << QString() << 0 << 8;
        QTest::addRow("Modbus TCP") << QStringLiteral("tcp") << 6 << 12;
        QTest::addRow("RTU over TCP") << QStringLiteral("rtu-tcp") << 0 << 8;
    }

    void operations() {
        QFETCH(QString, service);
        QFETCH(int, unitAt);
        QFETCH(int, readBytes);
        QVERIFY2(serve(service), qPrintable(sim_->transcript()));
        QVERIFY(readFirst(kPort, kSlave));
        QCOMPARE(TQ7310_GetEcho(kPort), TQ7310_ECHO_ABSENT);
        Buffer b = sentinelBuffer();
        QCOMPARE(Set_4X_D1(kPort, kSlave, kPresetRegister, 54321), 0);
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, kPresetRegister, 1, b.data()), 54321);
        QCOMPARE(Set_0X_Bit1(kPort, kSlave, 2), 0);
        QCOMPARE(Get_0X_B16(kPort, kSlave, 1, b.data()) & 0x2, 0x2);
        // Past 255 requests a Modbus TCP transaction id needs its high byte.
        int answered = 0;
        for (int read = 0; read < 300; ++read) {
            answered += Get_4X_UnDX(kPort, kSlave, kPresetRegister, 1, b.data()) == 54321;
        }
        QCOMPARE(answered, 300);
        // A request nobody answers goes out again after the wait for its
        // late answer; then the module answers at once.
        for (int ask = 0; ask < 2; ++ask) {
            QCOMPARE(Get_4X_UnDX(kPort, kSilentSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
            QCOMPARE(linkStatus(kPort).outcome, int32_t(TQ7310_TIMEOUT));
            QCOMPARE(traffic().constLast().request_length, readBytes);
        }
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, kPresetRegister, 1, b.data()), 54321);
        const Tq7310Traffic read = traffic().constLast();
        QCOMPARE(read.request_length, readBytes);
        QCOMPARE(read.request[unitAt], uint8_t(kSlave));
        QCOMPARE(read.reply[unitAt], uint8_t(kSlave));
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, kAbsentRegister, 1, b.data()), MODBUSRTU_FAILED);
        const Tq7310LinkStatus status = linkStatus(kPort);
        QCOMPARE(status.outcome, int32_t(TQ7310_EXCEPTION));
        QCOMPARE(status.exception_code, 2);
        QCOMPARE(QString::fromUtf8(status.device),
                 service.isEmpty() ? sim_->device() : sim_->target(QString(service + ':')));
    }

    // A read's own wait holds for it alone, on every line: a module that
    // answers 250 ms after each request is too slow for 100 ms, not for the
    // line's own wait (503 ms and more at 9600), which the next read has again.
    void ownWait_data() { operations_data(); }

    void ownWait() {
        QFETCH(QString, service);
        QVERIFY2(serve(service, {QStringLiteral("--turnaround"), QStringLiteral("250")}),
                 qPrintable(sim_->transcript()));
        uint16_t value = 0;
        QCOMPARE(TQ7310_ReadRegistersWithin(kPort, kSlave, 3, 1, 1, &value, 100'000),
                 MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, int32_t(TQ7310_TIMEOUT));
        QCOMPARE(TQ7310_ReadRegisters(kPort, kSlave, 3, 1, 1, &value), 0);
    }

    // Nothing to connect to: the open fails and says why.
    void unreachable_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("error");
        QTest::addRow("nobody listening") << "tcp:127.0.0.1:1" << ECONNREFUSED;
        QTest::addRow("no such host") << "rtu-tcp:tq7310.invalid:4001" << EHOSTUNREACH;
        QTest::addRow("written wrongly") << "tcp:127.0.0.1:" << EINVAL;
    }

    void unreachable() {
        QFETCH(QString, target);
        QFETCH(int, error);
        env_ = std::make_unique<ScopedPortEnv>(kPort, target.toStdString());
        QCOMPARE(OpenPort_Modbus(kPort, kBaud9600, kParityNone), -2);
        QCOMPARE(QString::fromUtf8(linkStatus(kPort).device), target);
        // An operation tries again, or within the pause after a failed
        // connection does not: it fails either way, for the same reason.
        Buffer b = sentinelBuffer();
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, int32_t(TQ7310_OPEN_FAILED));
        QCOMPARE(linkStatus(kPort).system_error, error);
        QCOMPARE(linkStatus(kPort).failures, 1);
    }

    // Without a variable the number leads to the platform's serial device.
    void serialByDefault() {
        const QString usb = QStringLiteral("/dev/ttyUSB%1").arg(kUnmappedPort - 1);
        QCOMPARE(QString::fromUtf8(linkStatus(kUnmappedPort).device),
                 QFile::exists(usb) ? usb : QStringLiteral("/dev/ttyS%1").arg(kUnmappedPort - 1));
    }

    // What a Modbus TCP server sends is judged by its header first; only the
    // frame with the request's id is its answer.
    void framesOverModbusTcp_data() {
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("replyBytes");  // logged as the answer
        QTest::addColumn<int>("strays");      // logged beside it
        const QByteArray header = QByteArray::fromHex("0000000000070103");
        const QByteArray answer = header + QByteArray::fromHex("0400070100");
        const QByteArray otherId = QByteArray::fromHex("0064") + answer.mid(2);
        QTest::addRow("its answer") << QList{answer} << int(TQ7310_OK) << 13 << 0;
        QTest::addRow("another id's frame first")
            << QList{otherId, answer} << int(TQ7310_OK) << 13 << 1;
        QTest::addRow("cut short") << QList{answer.left(10)} << int(TQ7310_BAD_FRAME) << 10 << 0;
        QTest::addRow("another protocol")
            << QList{QByteArray::fromHex("0000000100070103") + answer.mid(8)}
            << int(TQ7310_BAD_FRAME) << 13 << 0;
        QTest::addRow("a gateway: no answer from the unit")
            << QList{QByteArray::fromHex("00000000000301830b")} << int(TQ7310_EXCEPTION) << 9 << 0;
        QTest::addRow("nothing with its id")
            << QList<QByteArray>(18, otherId) << int(TQ7310_BAD_FRAME) << 0 << 18;
    }

    void framesOverModbusTcp() {
        QFETCH(QList<QByteArray>, frames);
        QFETCH(int, outcome);
        QFETCH(int, replyBytes);
        QFETCH(int, strays);
        ScriptedTcpServer server(frames);
        env_ = std::make_unique<ScopedPortEnv>(kPort, server.target().toStdString());
        QCOMPARE(OpenPort_Modbus(kPort, kBaud9600, kParityNone), 0);
        const QList<Tq7310Traffic> before = traffic();
        Buffer b = sentinelBuffer();
        const int32_t read = Get_4X_UnDX(kPort, 1, 1, 2, b.data());
        QCOMPARE(linkStatus(kPort).outcome, outcome);
        QCOMPARE(read == 7, outcome == TQ7310_OK);
        const QList<Tq7310Traffic> after =
            traffic(before.isEmpty() ? 0 : before.constLast().sequence);
        QCOMPARE(after.size(), 1 + strays);
        QCOMPARE(after.constFirst().reply_length, replyBytes);
    }

    void reconnectsAfterRestart_data() {
        QTest::addColumn<QString>("service");
        QTest::addRow("Modbus TCP") << QStringLiteral("tcp");
        QTest::addRow("RTU over TCP") << QStringLiteral("rtu-tcp");
    }

    // The connection drops with the simulator, is refused while nothing
    // listens, and is made again once it does, no sooner than the pause
    // after a failed connection: an operation within it does not connect.
    void reconnectsAfterRestart() {
        QFETCH(QString, service);
        QVERIFY2(serve(service), qPrintable(sim_->transcript()));
        const QString target = sim_->target(QString(service + ':'));
        const QString port = target.section(QLatin1Char(':'), -1);
        Buffer b = sentinelBuffer();
        QVERIFY(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()) != MODBUSRTU_FAILED);
        QVERIFY(sim_->stop());
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, int32_t(TQ7310_IO_ERROR));
        QCOMPARE(linkStatus(kPort).system_error, ECONNRESET);
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, int32_t(TQ7310_OPEN_FAILED));
        QCOMPARE(linkStatus(kPort).system_error, ECONNREFUSED);
        QCOMPARE(OpenPort_Modbus(kPort, kBaud9600, kParityNone), -2);
        QElapsedTimer sinceRefused;
        sinceRefused.start();
        sim_ = std::make_unique<SimProcess>();
        QVERIFY(sim_->start({QStringLiteral("--address"), QString::number(kSlave),
                             QStringLiteral("--") + service, port}));
        const bool withinPause = Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()) == MODBUSRTU_FAILED;
        // A restart slower than the pause leaves nothing to tell.
        QVERIFY(withinPause || sinceRefused.elapsed() >= 2000);
        QCOMPARE(OpenPort_Modbus(kPort, kBaud9600, kParityNone), 0);
        QVERIFY(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()) != MODBUSRTU_FAILED);
    }

    void lateReplyFoundWaiting_data() {
        QTest::addColumn<QString>("service");
        QTest::addRow("Modbus TCP") << QStringLiteral("tcp");
        QTest::addRow("RTU over TCP") << QStringLiteral("rtu-tcp");
    }

    // A reply that came after its request gave up, while nothing was out,
    // is found before the next request and named the late reply it is.
    void lateReplyFoundWaiting() {
        QFETCH(QString, service);
        QVERIFY2(serve(service, {"--verbose", "--late", "1:2500"}), qPrintable(sim_->transcript()));
        const QList<Tq7310Traffic> before = traffic();
        const uint32_t start = before.isEmpty() ? 0 : before.constLast().sequence;
        Buffer b = sentinelBuffer();
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QVERIFY(sim_->waitForLine(QRegularExpression("held reply sent"), 5000));
        QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        QCOMPARE(linkStatus(kPort).outcome, int32_t(TQ7310_TIMEOUT));
        const QList<Tq7310Traffic> entries = traffic(start);
        QVERIFY(entries.size() >= 3);
        QCOMPARE(entries[1].kind, int32_t(TQ7310_TRAFFIC_LATE_REPLY));
        QCOMPARE(entries[1].follows, entries[0].sequence);
        QCOMPARE(entries[1].late_us, -1);
    }

    // Every reply comes 2 s late, past the 1.5 s a Modbus TCP request
    // waits: each one is told by its transaction id as the late reply it is,
    // never taken for the answer to the request then out.
    void lateReplyToldById() {
        QVERIFY2(serve(QStringLiteral("tcp"), {QStringLiteral("--late"), QStringLiteral("1:2000")}),
                 qPrintable(sim_->transcript()));
        const QList<Tq7310Traffic> before = traffic();
        const uint32_t start = before.isEmpty() ? 0 : before.constLast().sequence;
        Buffer b = sentinelBuffer();
        for (int reads = 0; reads < 3; ++reads) {
            QCOMPARE(Get_4X_UnDX(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
            QCOMPARE(linkStatus(kPort).outcome, int32_t(TQ7310_TIMEOUT));
        }
        QList<uint32_t> asked;
        QList<uint32_t> answered;
        for (const Tq7310Traffic& entry : traffic(start)) {
            if (entry.kind == TQ7310_TRAFFIC_EXCHANGE) {
                asked << entry.sequence;
            } else if (entry.kind == TQ7310_TRAFFIC_LATE_REPLY) {
                answered << entry.follows;
            }
        }
        QCOMPARE(answered, asked.mid(0, 2));
    }
};

QTEST_GUILESS_MAIN(TstDriverNetwork)
#include "tst_driver_network.moc"
