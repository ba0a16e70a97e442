// The Windows driver over a real line: ModbusRTU.dll under Wine, port 12
// opened as \\.\COM12, which the harness (run-under-wine) maps to the
// pseudo-terminal of a tq7310-sim serving address 1. Port 3 is the same
// line under a one-digit name; port 13 is mapped to nothing until a case
// asks for it. Cases that need the line changed (simulator stopped, gone,
// back) ask the harness through wintest::control.
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "DriverLibrary.h"
#include "DriverTestSupport.h"
#include "WinTest.h"

namespace {

using namespace driver_test;
using Clock = std::chrono::steady_clock;
using wintest::control;
using wintest::msSince;

constexpr int32_t kPort = 12;
constexpr int32_t kSameLinePort = 3;
constexpr int32_t kMissingPort = 13;
constexpr int32_t kSlave = 1;
constexpr int32_t kSilentSlave = 2;  // the simulator ignores requests for it

// Holding registers that take any value 0..65535: the count presets of Y1, Y2.
constexpr int32_t kPresetY1 = 6;
constexpr int32_t kPresetY2 = 8;
constexpr int32_t kModeRegister = 13;

DriverLibrary dll;

int32_t readHolding(int32_t port, int32_t point) {
    Buffer b = sentinelBuffer();
    return dll.Get4X(port, kSlave, point, 1, b.data());
}

bool simulator(const std::string& command) {
    return control("sim " + command);
}

void deviceNames() {
    CHECK_EQ(std::string(dll.status(kPort).device) == "\\\\.\\COM12", true);
    CHECK_EQ(std::string(dll.status(kSameLinePort).device) == "\\\\.\\COM3", true);
    CHECK_EQ(std::string(dll.status(255).device) == "\\\\.\\COM255", true);
    Tq7310LinkStatus s{};
    CHECK_EQ(dll.GetLinkStatus(0, &s), -1);
    CHECK_EQ(dll.GetLinkStatus(256, &s), -1);
    CHECK_EQ(dll.OpenPort(0, kBaud9600, kParityNone), -1);
    CHECK_EQ(dll.OpenPort(256, kBaud9600, kParityNone), -1);
}

void openAtEveryBaudAndParity() {
    const int bauds[] = {9600, 19200, 38400};
    const char parities[] = {'N', 'O', 'E'};
    for (int32_t baud = 1; baud <= 3; ++baud) {
        for (int32_t parity = 0; parity <= 2; ++parity) {
            CHECK_EQ(dll.OpenPort(kPort, baud, parity), 0);
            const Tq7310LinkStatus s = dll.status(kPort);
            CHECK_EQ(s.is_open, 1);
            CHECK_EQ(s.outcome, TQ7310_OK);
            CHECK_EQ(s.baud, bauds[baud - 1]);
            CHECK_EQ(s.parity, parities[parity]);
            CHECK_EQ(readHolding(kPort, kModeRegister), 0);
            // Every other round reopens without closing first.
            if (parity != 1) {
                dll.ClosePort(kPort);
                CHECK_EQ(dll.status(kPort).is_open, 0);
            }
        }
    }
    dll.ClosePort(kPort);
    // The same line by a one-digit port number.
    CHECK_EQ(dll.OpenPort(kSameLinePort, kBaud9600, kParityEven), 0);
    CHECK_EQ(readHolding(kSameLinePort, kModeRegister), 0);
    dll.ClosePort(kSameLinePort);
}

void evenParityOpensEveryTime() {
    int failures = 0;
    for (int i = 0; i < 50; ++i) {
        if (dll.OpenPort(kPort, kBaud38400, kParityEven) != 0) {
            ++failures;
        }
        if (i % 2 == 0) {
            dll.ClosePort(kPort);
        }
    }
    CHECK_EQ(failures, 0);
    CHECK_EQ(dll.OpenPort(kPort, kBaud38400, kParityEven), 0);
    CHECK_EQ(readHolding(kPort, kModeRegister), 0);
    dll.ClosePort(kPort);
}

void badCodesLeaveThePortClosed() {
    CHECK_EQ(dll.OpenPort(kPort, kBaud9600, kParityNone), 0);
    CHECK_EQ(dll.OpenPort(kPort, 4, kParityNone), -1);
    CHECK_EQ(dll.status(kPort).is_open, 0);
    CHECK_EQ(dll.status(kPort).outcome, TQ7310_BAD_ARGUMENT);
    CHECK_EQ(dll.OpenPort(kPort, kBaud9600, 3), -1);
    CHECK_EQ(readHolding(kPort, kModeRegister), MODBUSRTU_FAILED);
    CHECK_EQ(dll.status(kPort).outcome, TQ7310_NOT_OPEN);
}

void everyReadAndWrite() {
    CHECK_EQ(dll.OpenPort(kPort, kBaud38400, kParityEven), 0);
    // Hold the pulse inputs still so the counts stay where they are put.
    for (int x = 1; x <= 4; ++x) {
        CHECK(simulator("x " + std::to_string(x) + " 0"));
    }
    CHECK(simulator("count 1 70000"));
    CHECK(simulator("count 2 4294967295"));
    CHECK(simulator("count 3 5"));
    CHECK(simulator("count 4 0"));

    Buffer b = sentinelBuffer();
    CHECK_EQ(dll.Get3X(kPort, kSlave, 1, 4, b.data()), 4464);  // 70000 mod 65536
    CHECK_EQ(b[1], 65535);
    CHECK_EQ(b[2], 5);
    CHECK_EQ(b[3], 0);
    CHECK_EQ(b[4], kSentinel);

    b = sentinelBuffer();
    CHECK_EQ(dll.Get3XL(kPort, kSlave, 11, 4, b.data()), 70000);
    CHECK_EQ(b[1], -1);  // 4294967295
    CHECK_EQ(b[2], 5);
    CHECK_EQ(b[3], 0);
    CHECK_EQ(b[4], kSentinel);

    // Discrete inputs: X1..X4 are 1..4, DI1..DI6 are 5..10.
    CHECK(simulator("x 2 1"));
    CHECK(simulator("di 1 1"));
    CHECK(simulator("di 6 1"));
    b = sentinelBuffer();
    CHECK_EQ(dll.Get1X(kPort, kSlave, 1, b.data()), 0x12);  // X2, DI1
    CHECK_EQ(b[1], 0x02);                                   // DI6 is input 10
    CHECK_EQ(b[2], kSentinel);
    CHECK(simulator("x 2 0"));
    CHECK(simulator("di 1 0"));
    CHECK(simulator("di 6 0"));

    // Coils Y1..Y5 follow what is written while their function is 0.
    CHECK_EQ(dll.SetCoil(kPort, kSlave, 1), 0);
    CHECK_EQ(dll.SetCoil(kPort, kSlave, 5), 0);
    b = sentinelBuffer();
    CHECK_EQ(dll.Get0X(kPort, kSlave, 1, b.data()), 0x11);
    CHECK_EQ(b[1], 0);
    CHECK_EQ(dll.ResetCoil(kPort, kSlave, 1), 0);
    CHECK_EQ(dll.ResetCoil(kPort, kSlave, 5), 0);
    b = sentinelBuffer();
    CHECK_EQ(dll.Get0X(kPort, kSlave, 1, b.data()), 0);

    // A clear coil: X1's 16-bit count goes, its 32-bit count stays.
    CHECK_EQ(dll.SetCoil(kPort, kSlave, 1000), 0);
    b = sentinelBuffer();
    CHECK_EQ(dll.Get3X(kPort, kSlave, 1, 1, b.data()), 0);
    CHECK_EQ(dll.Get3XL(kPort, kSlave, 11, 1, b.data()), 70000);

    CHECK_EQ(dll.SetRegister(kPort, kSlave, kPresetY1, 65535), 0);
    CHECK_EQ(dll.SetRegister(kPort, kSlave, kPresetY2, 1234), 0);
    b = sentinelBuffer();
    CHECK_EQ(dll.Get4X(kPort, kSlave, 1, 16, b.data()), 0);
    CHECK_EQ(b[kPresetY1 - 1], 65535);
    CHECK_EQ(b[kPresetY2 - 1], 1234);
    CHECK_EQ(b[15], 0);
    CHECK_EQ(b[16], kSentinel);
    std::array<uint16_t, 16> words{};
    CHECK_EQ(dll.ReadRegisters(kPort, kSlave, 3, kPresetY1, 3, words.data()), 0);
    CHECK_EQ(words[0], 65535);
    CHECK_EQ(words[2], 1234);
    CHECK_EQ(dll.status(kPort).outcome, TQ7310_OK);
    CHECK(dll.status(kPort).round_trip_us > 0);
    dll.ClosePort(kPort);
}

void failuresLeaveTheBufferUntouched() {
    CHECK_EQ(dll.OpenPort(kPort, kBaud38400, kParityNone), 0);
    Buffer b = sentinelBuffer();
    // Exception replies: an address outside the map, a refused clear code.
    CHECK_EQ(dll.Get3X(kPort, kSlave, 100, 1, b.data()), MODBUSRTU_FAILED);
    CHECK(untouched(b));
    CHECK_EQ(dll.status(kPort).outcome, TQ7310_EXCEPTION);
    CHECK_EQ(dll.status(kPort).exception_code, 2);
    CHECK_EQ(dll.SetRegister(kPort, kSlave, 1004, 1), MODBUSRTU_FAILED);
    CHECK_EQ(dll.status(kPort).exception_code, 3);
    CHECK_EQ(dll.Get3XL(kPort, kSlave, 27, 1, b.data()), MODBUSRTU_FAILED);
    CHECK_EQ(dll.Get1X(kPort, kSlave, 11, b.data()), MODBUSRTU_FAILED);
    CHECK(untouched(b));
    // Refused before anything goes out.
    const int32_t before = dll.status(kPort).transactions;
    CHECK_EQ(dll.Get4X(kPort, 0, 1, 1, b.data()), MODBUSRTU_FAILED);
    CHECK_EQ(dll.Get4X(kPort, kSlave, 1, 126, b.data()), MODBUSRTU_FAILED);
    CHECK_EQ(dll.Get3XL(kPort, kSlave, 11, 63, b.data()), MODBUSRTU_FAILED);
    CHECK_EQ(dll.Get0X(kPort, kSlave, 0, b.data()), MODBUSRTU_FAILED);
    CHECK_EQ(dll.SetRegister(kPort, kSlave, kPresetY1, 65536), MODBUSRTU_FAILED);
    CHECK_EQ(dll.Get4X(kPort, kSlave, 1, 1, nullptr), MODBUSRTU_FAILED);
    CHECK(untouched(b));
    CHECK_EQ(dll.status(kPort).outcome, TQ7310_BAD_ARGUMENT);
    CHECK_EQ(dll.status(kPort).transactions, before);
    // No answer at all.
    CHECK_EQ(dll.Get4X(kPort, kSilentSlave, 1, 16, b.data()), MODBUSRTU_FAILED);
    CHECK(untouched(b));
    CHECK_EQ(dll.status(kPort).outcome, TQ7310_TIMEOUT);
    // Not open.
    dll.ClosePort(kPort);
    CHECK_EQ(dll.Get4X(kPort, kSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
    CHECK(untouched(b));
    CHECK_EQ(dll.status(kPort).outcome, TQ7310_NOT_OPEN);
}

// 200 ms plus the wire time of the request and of the longest reply.
void timeOuts() {
    const struct {
        int32_t baud;
        long long expectedMs;
    } rows[] = {{kBaud9600, 503}, {kBaud38400, 276}};
    for (const auto& row : rows) {
        CHECK_EQ(dll.OpenPort(kPort, row.baud, kParityEven), 0);
        Buffer b = sentinelBuffer();
        const auto start = Clock::now();
        CHECK_EQ(dll.Get4X(kPort, kSilentSlave, 1, 1, b.data()), MODBUSRTU_FAILED);
        const long long elapsed = msSince(start);
        std::printf("    time-out at baud code %d: %lld ms\n", row.baud, elapsed);
        CHECK(elapsed >= row.expectedMs - 20);
        CHECK(elapsed < 1500);
        CHECK_EQ(dll.status(kPort).outcome, TQ7310_TIMEOUT);
        dll.ClosePort(kPort);
    }
}

// Requests of other shapes do not wait for a straggler, nor does the very
// same write sent again: each costs one time-out.
void deadLineCostsOneTimeOutPerRequest() {
    CHECK_EQ(dll.OpenPort(kPort, kBaud38400, kParityNone), 0);
    int32_t bits[2] = {};
    int32_t registers[16] = {};
    auto start = Clock::now();
    CHECK_EQ(dll.Get1X(kPort, kSilentSlave, 1, bits), MODBUSRTU_FAILED);
    const long long first = msSince(start);
    start = Clock::now();
    CHECK_EQ(dll.Get0X(kPort, kSilentSlave, 1, bits), MODBUSRTU_FAILED);
    CHECK_EQ(dll.Get4X(kPort, kSilentSlave, 1, 16, registers), MODBUSRTU_FAILED);
    const long long nextTwo = msSince(start);
    std::printf("    first %lld ms, next two %lld ms\n", first, nextTwo);
    CHECK(first >= 200 && first < 600);
    CHECK(nextTwo < 2 * first + 200);

    start = Clock::now();
    CHECK_EQ(dll.SetRegister(kPort, kSilentSlave, kPresetY1, 100), MODBUSRTU_FAILED);
    const long long write = msSince(start);
    start = Clock::now();
    CHECK_EQ(dll.SetRegister(kPort, kSilentSlave, kPresetY1, 100), MODBUSRTU_FAILED);
    const long long repeat = msSince(start);
    std::printf("    write %lld ms, its repeat %lld ms\n", write, repeat);
    CHECK(repeat < write + 150);
    dll.ClosePort(kPort);
}

// The simulator is stopped while a read goes out, so the read times out; it
// resumes 100 ms after the next read of the same shape has been asked for,
// and only then answers the first. Only the data tells the late reply from
// the answer to the second read.
void lateReplyNeverTakenForTheNext() {
    for (int32_t baud = 1; baud <= 3; ++baud) {
        CHECK_EQ(dll.OpenPort(kPort, baud, kParityEven), 0);
        // Two reads first, as the polls' first tick: until they are answered a
        // write's answer cannot be told from its echo.
        CHECK(readHolding(kPort, kPresetY1) != MODBUSRTU_FAILED);
        CHECK(readHolding(kPort, kPresetY2) != MODBUSRTU_FAILED);
        CHECK_EQ(dll.SetRegister(kPort, kSlave, kPresetY1, 1111), 0);
        CHECK_EQ(dll.SetRegister(kPort, kSlave, kPresetY2, 2222), 0);
        CHECK(control("stop"));
        CHECK_EQ(readHolding(kPort, kPresetY1), MODBUSRTU_FAILED);
        CHECK_EQ(dll.status(kPort).outcome, TQ7310_TIMEOUT);
        Tq7310Traffic log[4];
        uint32_t timedOut = 0;
        for (int n; (n = dll.ReadTraffic(kPort, timedOut, log, 4, nullptr)) > 0;) {
            timedOut = log[n - 1].sequence;
        }
        CHECK(control("resume-after 100"));
        const auto start = Clock::now();
        CHECK_EQ(readHolding(kPort, kPresetY2), 2222);
        // Its answer is logged as the late reply it is.
        CHECK_EQ(dll.ReadTraffic(kPort, timedOut, log, 4, nullptr), 2);
        CHECK_EQ(log[0].kind, TQ7310_TRAFFIC_LATE_REPLY);
        CHECK_EQ(log[0].follows, timedOut);
        std::printf("    baud code %d: the next read took %lld ms\n", baud, msSince(start));
        CHECK_EQ(readHolding(kPort, kPresetY1), 1111);
        CHECK_EQ(readHolding(kPort, kPresetY2), 2222);
        dll.ClosePort(kPort);
    }
}

// The simulator goes away with its pseudo-terminal and comes back on a new
// one behind the same COM port.
void deviceAwayAndBack() {
    CHECK_EQ(dll.OpenPort(kPort, kBaud38400, kParityNone), 0);
    CHECK_EQ(readHolding(kPort, kModeRegister), 0);
    CHECK(control("vanish"));
    Buffer b = sentinelBuffer();
    CHECK_EQ(dll.Get4X(kPort, kSlave, kModeRegister, 1, b.data()), MODBUSRTU_FAILED);
    CHECK(untouched(b));
    Tq7310LinkStatus s = dll.status(kPort);
    CHECK_EQ(s.outcome, TQ7310_IO_ERROR);
    CHECK(s.system_error != 0);
    std::printf("    gone: outcome %d, error %d\n", s.outcome, s.system_error);
    for (int i = 0; i < 3; ++i) {
        CHECK_EQ(readHolding(kPort, kModeRegister), MODBUSRTU_FAILED);
        s = dll.status(kPort);
        CHECK_EQ(s.outcome, TQ7310_OPEN_FAILED);
        CHECK_EQ(s.system_error, ENOENT);
        CHECK_EQ(s.is_open, 0);
        CHECK_EQ(s.failures, 2 + i);
    }
    CHECK(control("return"));
    CHECK_EQ(readHolding(kPort, kModeRegister), 0);
    s = dll.status(kPort);
    CHECK_EQ(s.outcome, TQ7310_OK);
    CHECK_EQ(s.is_open, 1);
    CHECK_EQ(s.baud, 38400);
    CHECK_EQ(s.transactions, 6);
    CHECK_EQ(s.failures, 4);
    dll.ClosePort(kPort);
}

// A port whose device is not there at open keeps trying it.
void missingDeviceAtOpen() {
    CHECK_EQ(dll.OpenPort(kMissingPort, kBaud9600, kParityNone), -2);
    Tq7310LinkStatus s = dll.status(kMissingPort);
    CHECK_EQ(s.outcome, TQ7310_OPEN_FAILED);
    CHECK_EQ(s.system_error, ENOENT);
    CHECK_EQ(s.is_open, 0);
    CHECK_EQ(readHolding(kMissingPort, kModeRegister), MODBUSRTU_FAILED);
    CHECK_EQ(dll.status(kMissingPort).outcome, TQ7310_OPEN_FAILED);
    CHECK(control("map 13"));
    CHECK_EQ(readHolding(kMissingPort, kModeRegister), 0);
    CHECK_EQ(dll.status(kMissingPort).is_open, 1);
    dll.ClosePort(kMissingPort);
    CHECK(control("unmap 13"));
}

}  // namespace

// The log keeps the bytes of each transaction, as on Linux.
void trafficLog() {
    CHECK_EQ(dll.OpenPort(kPort, kBaud38400, kParityEven), 0);
    static Tq7310Traffic entries[600];
    int32_t lost = -1;
    int n = dll.ReadTraffic(kPort, 0, entries, 600, &lost);
    const uint32_t before = n > 0 ? entries[n - 1].sequence : 0;
    CHECK_EQ(readHolding(kPort, kModeRegister), 0);
    n = dll.ReadTraffic(kPort, before, entries, 600, &lost);
    CHECK_EQ(n, 1);
    CHECK_EQ(lost, 0);
    CHECK_EQ(entries[0].kind, TQ7310_TRAFFIC_EXCHANGE);
    CHECK_EQ(entries[0].outcome, TQ7310_OK);
    CHECK_EQ(entries[0].request_length, 8);
    CHECK_EQ(entries[0].request[0], kSlave);
    CHECK_EQ(entries[0].request[1], 3);
    CHECK_EQ(entries[0].reply_length, 7);
    CHECK_EQ(entries[0].reply[1], 3);
    CHECK_EQ(entries[0].wall_ms > 1700000000000LL, true);
    CHECK_EQ(dll.ReadTraffic(0, 0, entries, 1, &lost), -1);
    CHECK_EQ(dll.ReadTraffic(kPort, 0, nullptr, 1, &lost), -1);
    dll.ClosePort(kPort);
}

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string error = dll.load("ModbusRTU.dll");
    if (!error.empty()) {
        std::printf("%s\n0 passed, 1 failed\n", error.c_str());
        return 1;
    }
    return wintest::run(
        {
            {"deviceNames", deviceNames},
            {"openAtEveryBaudAndParity", openAtEveryBaudAndParity},
            {"evenParityOpensEveryTime", evenParityOpensEveryTime},
            {"badCodesLeaveThePortClosed", badCodesLeaveThePortClosed},
            {"everyReadAndWrite", everyReadAndWrite},
            {"failuresLeaveTheBufferUntouched", failuresLeaveTheBufferUntouched},
            {"timeOuts", timeOuts},
            {"deadLineCostsOneTimeOutPerRequest", deadLineCostsOneTimeOutPerRequest},
            {"lateReplyNeverTakenForTheNext", lateReplyNeverTakenForTheNext},
            {"deviceAwayAndBack", deviceAwayAndBack},
            {"missingDeviceAtOpen", missingDeviceAtOpen},
            {"trafficLog", trafficLog},
        },
        argc > 1 ? argv[1] : nullptr);
}
