// Transactions a second through the driver library against tq7310-sim, the
// same program built for Windows (run under Wine on ModbusRTU.dll) and for
// Linux (on libModbusRTU.so), so the two figures differ only in the
// platform's serial layer. The mix is the panel's: the status poll's two bit
// reads and the counter poll's three register reads.
//
//   line_bench LIBRARY PORT [MIXES]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "DriverLibrary.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kSlave = 1;
constexpr int kReadsPerMix = 5;

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: line_bench LIBRARY PORT [MIXES]\n");
        return 2;
    }
    DriverLibrary dll;
    const std::string error = dll.load(argv[1]);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const int32_t port = std::atoi(argv[2]);
    const int mixes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 400;
    // 38400 8N1: parity means nothing on a pseudo-terminal anyway.
    if (dll.OpenPort(port, 3, 0) != 0) {
        std::fprintf(stderr, "cannot open port %d\n", port);
        return 1;
    }
    std::vector<double> latencyUs;
    int failures = 0;
    int32_t b[20];
    const auto begin = Clock::now();
    for (int m = 0; m < mixes; ++m) {
        for (int which = 0; which < kReadsPerMix; ++which) {
            const auto start = Clock::now();
            int32_t rc = 0;
            switch (which) {
                case 0:
                    rc = dll.Get1X(port, kSlave, 1, b);
                    break;
                case 1:
                    rc = dll.Get0X(port, kSlave, 1, b);
                    break;
                case 2:
                    rc = dll.Get3X(port, kSlave, 1, 4, b);
                    break;
                case 3:
                    rc = dll.Get3XL(port, kSlave, 11, 8, b);
                    break;
                default:
                    rc = dll.Get4X(port, kSlave, 1, 16, b);
                    break;
            }
            latencyUs.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            if (rc == MODBUSRTU_FAILED) {
                ++failures;
            }
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    dll.ClosePort(port);
    std::printf(
        "line_bench: %zu transactions in %.2f s: %.0f transactions/s, p50 %.0f us, "
        "p99 %.0f us, failures %d\n",
        latencyUs.size(), seconds, static_cast<double>(latencyUs.size()) / seconds,
        percentile(latencyUs, 0.50), percentile(latencyUs, 0.99), failures);
    return failures == 0 ? 0 : 1;
}
