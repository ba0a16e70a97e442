// How long a poll tick keeps the line, next to what the line itself needs.
// The simulator, with --pace, answers no sooner than a real line at the
// chosen rate would let it, so the gap between a tick's measured length and
// the wire time of its transactions is the panel's and the driver's own.
//
// Wire time of a tick: for each read, request and reply bytes x 11 bits
// (start, 8 data, parity, stop) / baud, plus the 3 ms turnaround the
// simulator adds to every reply. Nothing else of the line is counted.
//
//   ./paced_bench [ticks per poll and rate, default 20]
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "BenchSupport.h"
#include "LibraryDriver.h"
#include "ModuleMap.h"
#include "ssqx.h"

namespace {

namespace mm = module_map;
using Clock = std::chrono::steady_clock;

constexpr double kBitsPerCharacter = 11;
constexpr double kTurnaroundMs = 3;   // the simulator's, per reply
constexpr int kReadRequestBytes = 8;  // address, function, first, count, CRC

int bitReadReplyBytes(int points) {
    return 3 + (points + 7) / 8 + 2;  // address, function, byte count, data, CRC
}

int registerReadReplyBytes(int registers) {
    return 3 + 2 * registers + 2;
}

struct Poll {
    const char* name;
    int periodMs;
    int transactions;
    int bytes;  // requests and replies of one tick
};

const Poll kStatusPoll{
    "Timer1", 500, 2,
    2 * kReadRequestBytes + bitReadReplyBytes(mm::kInputsRead) + bitReadReplyBytes(mm::kCoilsRead)};
const Poll kCounterPoll{"Timer2", 1000, 3,
                        3 * kReadRequestBytes + registerReadReplyBytes(mm::kCount16Values) +
                            registerReadReplyBytes(2 * mm::kCount32Values) +
                            registerReadReplyBytes(mm::kConfigRegistersRead)};

double wireMs(const Poll& poll, int baud) {
    return poll.bytes * kBitsPerCharacter * 1000.0 / baud;
}

}  // namespace

int main(int argc, char** argv) {
    bench::headlessUnlessTold();
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;

    LibraryDriver driver;
    ssqx window(driver, [] {});
    window.show();
    const test_support::WindowDriver ui(&window);

    std::printf("Poll ticks against tq7310-sim --pace, %d ticks each, median (max)\n", ticks);
    std::printf("wire = (request + reply bytes) x 11 bit / baud + 3 ms turnaround per read\n\n");
    std::printf("%6s %7s %6s %9s %9s %17s %7s %8s %9s %8s\n", "baud", "poll", "bytes", "bits ms",
                "wire ms", "measured ms", "ratio", "aim", "line busy", "held");
    bool allWell = true;
    const struct {
        int baud;
        const char* option;
    } rates[] = {{9600, "Option1(0)"}, {19200, "Option1(1)"}, {38400, "Option1(2)"}};
    for (const auto& rate : rates) {
        SimProcess sim;
        if (!bench::startSimulator(
                sim, {"--pace", "--baud", QString::number(rate.baud), "--parity", "even"})) {
            return 1;
        }
        ui.press(rate.option);
        ui.press("Command9");
        // The ticks are called here one after another; the window's own
        // timers would slip theirs in between.
        window.setTimerEnabled(QStringLiteral("Timer1"), false);
        window.setTimerEnabled(QStringLiteral("Timer2"), false);
        window.statusPoll().Timer1_Timer();
        window.counterPoll().Timer2_Timer();
        const auto before = driver.linkStatus(1);

        for (const Poll* poll : {&kStatusPoll, &kCounterPoll}) {
            std::vector<double> ms;
            for (int i = 0; i < ticks; ++i) {
                const auto start = Clock::now();
                poll == &kStatusPoll ? window.statusPoll().Timer1_Timer()
                                     : window.counterPoll().Timer2_Timer();
                ms.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            }
            const double bits = wireMs(*poll, rate.baud);
            const double wire = bits + poll->transactions * kTurnaroundMs;
            const double median = bench::percentile(ms, 0.5);
            const double ratio = median / wire;
            allWell = allWell && ratio <= 1.25;
            std::printf("%6d %7s %6d %9.1f %9.1f %8.1f (%6.1f) %7.2f %8s %8.1f%% %7.1f%%\n",
                        rate.baud, poll->name, poll->bytes, bits, wire, median,
                        bench::percentile(ms, 1.0), ratio, ratio <= 1.25 ? "<=1.25" : "MISSED",
                        100.0 * bits / poll->periodMs, 100.0 * median / poll->periodMs);
        }
        const auto after = driver.linkStatus(1);
        if (before && after && after->failures != before->failures) {
            std::printf("       %d of %d transactions failed at %d baud\n",
                        after->failures - before->failures,
                        after->transactions - before->transactions, rate.baud);
            allWell = false;
        }
        ui.press("Command10");
    }
    std::printf(
        "\nline busy: bits on the wire over the poll period (500 / 1000 ms);\n"
        "held: the measured tick over the poll period, the share of it the panel\n"
        "keeps the line, turnarounds and its own work included.\n");
    return allWell ? 0 : 1;
}
