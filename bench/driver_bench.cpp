// What the driver's per-transaction work (flush, checks, status, copies)
// costs next to calling libmodbus directly: the same poll mix against the
// same test slave, in alternating blocks so neither side gets the warmer
// caches or the quieter moments of the machine.
//
// A request sent within a few microseconds of the last reply finds the test
// slave's thread and the pty's kernel worker still awake; a little later they
// have gone to sleep and must be woken, which costs 10-15 us on a small
// machine: 2 us of work added before each plain libmodbus read made it 14 us
// slower. So each request goes out after the line has been idle for a while
// (kIdleUs, not timed), as on a real line between polls, and both sides meet
// the slave in the same state; the thread's CPU time per transaction is
// reported beside the wall time.
//
// With --tcp both sides read the simulator over Modbus TCP on loopback
// instead, each on a connection of its own: the driver through a port whose
// TQ7310_COM<n> is the simulator's tcp: target, libmodbus through its own
// TCP context.
#include <time.h>

#include <modbus/modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <memory>

#include "ModbusRTU.h"
#include "PortTarget.h"
#include "SimProcess.h"
#include "TestSlave.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kPort = 42;
constexpr int32_t kSlave = 1;
constexpr int kMixesPerBlock = 50;
constexpr int kReadsPerMix = 5;
// Long past the moment the slave's thread and the pty's worker go to sleep.
constexpr auto kIdle = std::chrono::microseconds(200);

struct Side {
    const char* name;
    std::vector<double> latencyUs;
    double totalUs = 0;
    double cpuUs = 0;
    int failures = 0;
};

double threadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// One mix: the reads the panel's status and counter polls make.
template <typename Read>
void runMix(Side& side, Read&& read) {
    for (int which = 0; which < kReadsPerMix; ++which) {
        // Idle without a system call, which would itself be a wake-up.
        for (const auto until = Clock::now() + kIdle; Clock::now() < until;) {
        }
        const double cpuStart = threadCpuUs();
        const auto start = Clock::now();
        const bool ok = read(which);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        side.cpuUs += threadCpuUs() - cpuStart;
        side.latencyUs.push_back(us);
        side.totalUs += us;
        if (!ok) {
            ++side.failures;
        }
    }
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[at];
}

// What both sides read from: the test slave on a pty, or the simulator
// over Modbus TCP. Null `raw` when it could not be set up.
struct Line {
    std::unique_ptr<test_slave::TestSlave> slave;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<test_slave::ScopedPortEnv> env;
    modbus_t* raw = nullptr;
    const char* label = "";
};

void fillSlave(test_slave::TestSlave& slave) {
    for (int point = 1; point <= 20; ++point) {
        slave.setInput(point, point % 3 == 0);
        slave.setCoil(point, point % 2 == 0);
        slave.setInputRegister(point, static_cast<uint16_t>(1000 + point));
        slave.setHoldingRegister(point, static_cast<uint16_t>(2000 + point));
    }
}

void openPty(Line& line) {
    line.label = "pty at 38400 8N1";
    line.slave = std::make_unique<test_slave::TestSlave>(kSlave);
    fillSlave(*line.slave);
    const std::string device = line.slave->devicePath();
    line.env = std::make_unique<test_slave::ScopedPortEnv>(kPort, device);
    line.raw = modbus_new_rtu(device.c_str(), 38400, 'N', 8, 1);
    // The driver's time-outs at 38400, so both wait alike.
    if (line.raw != nullptr) {
        modbus_set_response_timeout(line.raw, 0, 275'000);
        modbus_set_byte_timeout(line.raw, 0, 20'000);
    }
}

void openTcp(Line& line) {
    line.label = "Modbus TCP on loopback";
    line.sim = std::make_unique<SimProcess>();
    if (!line.sim->start({QStringLiteral("--address"), QString::number(kSlave),
                          QStringLiteral("--tcp"), QStringLiteral("0")})) {
        return;
    }
    const std::string target = line.sim->target(u"tcp:").toStdString();
    const auto where = module_line::parsePortTarget(target);
    line.env = std::make_unique<test_slave::ScopedPortEnv>(kPort, target);
    line.raw = modbus_new_tcp_pi(where->device.c_str(), std::to_string(where->tcpPort).c_str());
    // The driver's response time-out over Modbus TCP.
    if (line.raw != nullptr) {
        modbus_set_response_timeout(line.raw, 1, 500'000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool tcp = argc > 1 && std::string(argv[argc - 1]) == "--tcp";
    const int counted = tcp ? argc - 1 : argc;
    const int mixes = counted > 1 ? std::max(kMixesPerBlock, std::atoi(argv[1])) : 2000;

    Line line;
    tcp ? openTcp(line) : openPty(line);
    if (line.raw == nullptr || modbus_connect(line.raw) != 0) {
        std::fprintf(stderr, "libmodbus could not reach the %s\n", line.label);
        return 1;
    }
    modbus_set_slave(line.raw, kSlave);
    // 38400 8N1 for both: parity means nothing on a pty anyway.
    if (OpenPort_Modbus(kPort, 3, 0) != 0) {
        std::fprintf(stderr, "the driver could not reach the %s\n", line.label);
        return 1;
    }
    modbus_t* raw = line.raw;

    Side driver{"driver", {}, 0, 0};
    Side direct{"libmodbus", {}, 0, 0};
    auto driverRead = [](int which) {
        int32_t b[20];
        switch (which) {
            case 0:
                return Get_1X_B16(kPort, kSlave, 1, b) != MODBUSRTU_FAILED;
            case 1:
                return Get_0X_B16(kPort, kSlave, 1, b) != MODBUSRTU_FAILED;
            case 2:
                return Get_3X_UnDX(kPort, kSlave, 1, 4, b) != MODBUSRTU_FAILED;
            case 3:
                return Get_3X_LUNDX(kPort, kSlave, 11, 8, b) != MODBUSRTU_FAILED;
            default:
                return Get_4X_UnDX(kPort, kSlave, 1, 16, b) != MODBUSRTU_FAILED;
        }
    };
    auto directRead = [raw](int which) {
        uint8_t bits[16];
        uint16_t words[16];
        switch (which) {
            case 0:
                return modbus_read_input_bits(raw, 0, 16, bits) == 16;
            case 1:
                return modbus_read_bits(raw, 0, 16, bits) == 16;
            case 2:
                return modbus_read_input_registers(raw, 0, 4, words) == 4;
            case 3:
                return modbus_read_input_registers(raw, 10, 16, words) == 16;
            default:
                return modbus_read_registers(raw, 0, 16, words) == 16;
        }
    };

    const int blocks = mixes / kMixesPerBlock;
    for (int block = 0; block < blocks; ++block) {
        // Swap who goes first every block pair.
        const bool driverFirst = block % 2 == 0;
        for (int half = 0; half < 2; ++half) {
            const bool useDriver = (half == 0) == driverFirst;
            for (int m = 0; m < kMixesPerBlock; ++m) {
                if (useDriver) {
                    runMix(driver, driverRead);
                } else {
                    runMix(direct, directRead);
                }
            }
        }
    }
    modbus_close(raw);
    modbus_free(raw);
    ClosePort_Modbus(kPort);

    std::printf("driver_bench: %d mixes of %d reads each side, %s, blocks of %d\n",
                blocks * kMixesPerBlock, kReadsPerMix, line.label, kMixesPerBlock);
    double rate[2] = {0, 0};
    double cpu[2] = {0, 0};
    const Side* sides[2] = {&driver, &direct};
    for (int i = 0; i < 2; ++i) {
        const Side& s = *sides[i];
        const auto n = static_cast<double>(s.latencyUs.size());
        rate[i] = n / (s.totalUs / 1e6);
        cpu[i] = s.cpuUs / n;
        std::printf(
            "%-10s %8.0f transactions/s   p50 %7.1f us   p99 %7.1f us   CPU %5.1f us   "
            "failures %d\n",
            s.name, rate[i], percentile(s.latencyUs, 0.50), percentile(s.latencyUs, 0.99), cpu[i],
            s.failures);
    }
    std::printf("ratio driver/libmodbus: %.3f   CPU a transaction: +%.1f us\n", rate[0] / rate[1],
                cpu[0] - cpu[1]);
    return driver.failures + direct.failures == 0 ? 0 : 1;
}
