// What "通讯记录" adds to each transaction: the feed reading the driver's log
// and the window adding its rows, measured after each tick of both polls on
// the real driver against the simulator, for ten minutes' worth of ticks at
// the polls' rates; and the resident memory as the log, the feed and the
// window fill up to their bounds.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <fstream>

#include "BenchSupport.h"
#include "LibraryDriver.h"
#include "TrafficWindow.h"
#include "ssqx.h"

namespace {

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

}  // namespace

int main(int argc, char** argv) {
    bench::headlessUnlessTold();
    QApplication app(argc, argv);
    // Ten minutes of a 500 ms status tick and a 1 s counter tick.
    const int counterTicks = argc > 1 ? std::max(10, std::atoi(argv[1])) : 600;

    SimProcess sim;
    if (!bench::startSimulator(sim, {})) {
        return 1;
    }
    LibraryDriver driver;
    ssqx window(driver, [] {});
    window.show();
    const test_support::WindowDriver ui(&window);
    if (!ui.press("Command9") || !ui.press("TrafficWindow")) {
        return 1;
    }
    // The ticks are run here, one after another, not by the timers.
    window.setTimerEnabled(QStringLiteral("Timer1"), false);
    window.setTimerEnabled(QStringLiteral("Timer2"), false);
    traffic::TrafficFeed& feed = window.trafficFeed();

    std::vector<double> perTransactionUs;
    std::vector<long> residentAt;
    double tickUs = 0;
    double feedUs = 0;
    int transactions = 0;
    const auto measure = [&](auto&& tick, int reads) {
        QElapsedTimer t;
        t.start();
        tick();
        tickUs += double(t.nsecsElapsed()) / 1e3;
        t.restart();
        feed.pull();
        const double us = double(t.nsecsElapsed()) / 1e3;
        feedUs += us;
        transactions += reads;
        perTransactionUs.push_back(us / reads);
    };
    for (int i = 0; i < counterTicks; ++i) {
        measure([&] { window.statusPoll().Timer1_Timer(); }, 2);
        measure([&] { window.statusPoll().Timer1_Timer(); }, 2);
        measure([&] { window.counterPoll().Timer2_Timer(); }, 3);
        if ((i + 1) % (counterTicks / 10) == 0) {
            residentAt.push_back(residentKb());
        }
    }
    ui.press("Command10");

    std::printf("traffic_bench: %d ticks (%d transactions), the window open, offscreen\n",
                3 * counterTicks, transactions);
    std::printf(
        "  feed and window, per transaction:  median %.1f us  p99 %.1f us  (aim < 300 us)\n",
        bench::percentile(perTransactionUs, 0.5), bench::percentile(perTransactionUs, 0.99));
    std::printf("  share of the ticks' own time:      %.1f %%\n", 100.0 * feedUs / tickUs);
    std::printf("  resident memory at each tenth (kB):");
    for (long kb : residentAt) {
        std::printf(" %ld", kb);
    }
    std::printf("\n");
    return 0;
}
