// The simulator on the network: Modbus TCP with its unit ids and
// transaction ids, several clients on one module, RTU frames over TCP, and
// the line's faults on both.

#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "ModuleMap.h"
#include "PortTarget.h"
#include "RtuFrames.h"
#include "SimProcess.h"

namespace mm = module_map;
using Bytes = std::vector<std::uint8_t>;
using Registers = std::vector<std::uint16_t>;

namespace {

constexpr int kAddress = 1;
constexpr int kOtherUnit = 9;
constexpr int kFirst = mm::kCount16Register - 1;
constexpr int kCount = mm::kCount16Values;
// Far past any reply held on purpose: only a reply never sent misses it.
constexpr int kReplyMs = 1000;
const Bytes kReadPdu{0x04, 0, kFirst, 0, kCount};

// A connection to a simulator's network target; libmodbus connects it.
class Client {
  public:
    explicit Client(const QString& target) {
        const auto t = module_line::parsePortTarget(target.toStdString());
        ctx_ =
            t ? modbus_new_tcp_pi(t->device.c_str(), std::to_string(t->tcpPort).c_str()) : nullptr;
        if (ctx_ != nullptr && modbus_connect(ctx_) != 0) {
            modbus_free(std::exchange(ctx_, nullptr));
        }
        if (ctx_ != nullptr) {
            modbus_set_response_timeout(ctx_, 0, kReplyMs * 1000);
        }
    }
    ~Client() {
        if (ctx_ != nullptr) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
    }
    bool ok() const { return ctx_ != nullptr; }

    // A Modbus TCP read from `unit`: 0 and the values, or errno.
    int read(int unit, Registers& values) {
        values.assign(kCount, 0);
        modbus_set_slave(ctx_, unit);
        const int read = modbus_read_input_registers(ctx_, kFirst, kCount, values.data());
        return read == kCount ? 0 : errno;
    }

    // Bytes written as they are, and all that comes back within the time.
    Bytes exchange(const Bytes& out, std::size_t expected) {
        const int fd = modbus_get_socket(ctx_);
        Bytes in(expected);
        std::size_t got = 0;
        pollfd p{fd, POLLIN, 0};
        if (::write(fd, out.data(), out.size()) == ssize_t(out.size())) {
            for (ssize_t n = 1; n > 0 && got != expected && ::poll(&p, 1, kReplyMs) > 0;) {
                n = ::read(fd, in.data() + got, expected - got);
                got += std::size_t(std::max<ssize_t>(n, 0));
            }
        }
        in.resize(got);
        return in;
    }

  private:
    modbus_t* ctx_ = nullptr;
};

}  // namespace

class TestSimNetwork : public QObject {
    Q_OBJECT

  private slots:
    void modbusTcp_data();
    void modbusTcp();
    void rtuOverTcp_data();
    void rtuOverTcp();
};

void TestSimNetwork::modbusTcp_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("clients");
    QTest::addColumn<int>("error");
    QTest::newRow("the module's unit") << QStringList{} << kAddress << 1 << 0;
    QTest::newRow("two clients at once") << QStringList{} << kAddress << 2 << 0;
    // libmodbus takes no reply under another transaction id.
    QTest::newRow("late reply") << QStringList{"--late", "1:100"} << kAddress << 1 << 0;
    QTest::newRow("another unit") << QStringList{} << kOtherUnit << 1 << ETIMEDOUT;
    QTest::newRow("another unit through a gateway")
        << QStringList{"--gateway"} << kOtherUnit << 1 << int(EMBXGTAR);
    QTest::newRow("reply dropped") << QStringList{"--drop", "1"} << kAddress << 1 << ETIMEDOUT;
}

void TestSimNetwork::modbusTcp() {
    QFETCH(QStringList, args);
    QFETCH(int, unit);
    QFETCH(int, clients);
    QFETCH(int, error);
    SimProcess sim;
    QVERIFY2(sim.start(QStringList{"--stamp", "--tcp", "0"} + args), qPrintable(sim.transcript()));
    std::vector<std::unique_ptr<Client>> connected;
    for (int i = 0; i < clients; ++i) {
        connected.push_back(std::make_unique<Client>(sim.target(u"tcp:")));
        QVERIFY(connected.back()->ok());
    }
    // Each answered while the others stay connected, from the one module:
    // its stamp counts the requests of all.
    for (int i = 0; i < clients; ++i) {
        Registers values;
        QCOMPARE(connected[i]->read(unit, values), error);
        if (error == 0) {
            QCOMPARE(values, Registers(kCount, std::uint16_t(i + 1)));
        }
    }
}

void TestSimNetwork::rtuOverTcp_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("answered");
    QTest::newRow("the module's address") << QStringList{} << kAddress << true;
    QTest::newRow("another slave's") << QStringList{} << kOtherUnit << false;
    QTest::newRow("reply dropped") << QStringList{"--drop", "1"} << kAddress << false;
}

void TestSimNetwork::rtuOverTcp() {
    QFETCH(QStringList, args);
    QFETCH(int, address);
    QFETCH(bool, answered);
    SimProcess sim;
    QVERIFY2(sim.start(QStringList{"--stamp", "--rtu-tcp", "0"} + args),
             qPrintable(sim.transcript()));
    Client client(sim.target(u"rtu-tcp:"));
    QVERIFY(client.ok());
    RtuFrames frames;
    const Bytes reply = client.exchange(frames.frame(address, kReadPdu), 3 + 2 * kCount + 2);
    if (!answered) {
        QVERIFY(reply.empty());
        return;
    }
    QCOMPARE(reply, frames.frame(kAddress, {0x04, 2 * kCount, 0, 1, 0, 1, 0, 1, 0, 1}));
}

QTEST_GUILESS_MAIN(TestSimNetwork)
#include "tst_sim_network.moc"
