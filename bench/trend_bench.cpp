// What the curves and the record add to the panel. First, against a driver
// that answers at once, the cost of a tick of both polls with the curves'
// window open on an hour of history and a record being written, next to the
// same ticks without the window (the reference, in the same run), and the
// cost of one repaint of the curves' window. Then, against the simulator,
// the CPU share of the whole panel with the window open and recording, and
// its resident memory once an hour of history is held.
//
//   ./trend_bench [ticks, default 500] [seconds of live polling, default 10]
//   ./trend_bench holes      only the hour of every other read failing
//   ./trend_bench longest    only the ticks at the longest span
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "BenchSupport.h"
#include "LibraryDriver.h"
#include "TrendWindow.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using bench::Summary;
using bench::timeEach;

// Times `ticks`, then, apart, the events they left for the event loop.
std::pair<Summary, Summary> tickThenEvents(int runs, const std::function<void(int)>& ticks) {
    std::vector<double> tickUs;
    std::vector<double> eventsUs;
    for (int i = 0; i < runs; ++i) {
        const auto start = SteadyClock::now();
        ticks(i);
        const auto ticked = SteadyClock::now();
        // The redraw, then the scene's and the window's updates it posts.
        for (int pass = 0; pass < 3; ++pass) {
            QApplication::processEvents();
        }
        const auto handled = SteadyClock::now();
        tickUs.push_back(std::chrono::duration<double, std::micro>(ticked - start).count());
        eventsUs.push_back(std::chrono::duration<double, std::micro>(handled - ticked).count());
    }
    return {{bench::percentile(tickUs, 0.5), bench::percentile(tickUs, 0.99)},
            {bench::percentile(eventsUs, 0.5), bench::percentile(eventsUs, 0.99)}};
}

double residentMb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(getpagesize()) / (1024.0 * 1024.0)
                             : -1;
}

double cpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// Simulated time: a counter tick a second, a status tick every half second.
struct SimulatedTime {
    qint64 ms = QDateTime::currentMSecsSinceEpoch();
    QDateTime now() const { return QDateTime::fromMSecsSinceEpoch(ms); }
};

// The window's two polls on simulated time.
struct Polls {
    Polls(ssqx& window, bench::InstantDriver& driver, const SimulatedTime& time)
        : status(window.linkParam(), driver, window, [&time] { return time.now(); }),
          counter(window.linkParam(), driver, window, [&time] { return time.now(); }) {}
    StatusPoll status;
    CounterPoll counter;
};

void oneSecond(Polls& polls, bench::InstantDriver& driver, SimulatedTime& time, int round) {
    driver.round = round;
    polls.status.Timer1_Timer();
    time.ms += 500;
    polls.status.Timer1_Timer();
    polls.counter.Timer2_Timer();
    time.ms += 500;
}

void measureTicks(int runs, int spanEntry) {
    bench::InstantDriver driver;
    ssqx window(driver, [] {});
    window.show();
    QApplication::processEvents();
    SimulatedTime time;
    Polls polls(window, driver, time);

    // The reference: the same ticks, with no onlooker.
    for (int i = 0; i < 50; ++i) {
        oneSecond(polls, driver, time, i);
    }
    const Summary ref =
        tickThenEvents(runs, [&](int i) { oneSecond(polls, driver, time, i); }).first;

    // A feed on simulated time takes the polls' ticks, with a window on it.
    trend::Feed feed(
        polls.status, polls.counter, [&time] { return time.now(); }, [&time] { return time.ms; });
    trend::TrendWindow trends(feed);
    const test_support::WindowDriver ui(&trends);
    ui.choose(QStringLiteral("TrendSpan"), spanEntry);
    trends.show();
    QApplication::processEvents();
    QElapsedTimer filling;
    filling.start();
    trends.hide();  // an hour of history is taken in without drawing each tick
    for (int i = 0; i < 3600; ++i) {
        oneSecond(polls, driver, time, i);
    }
    trends.show();
    QApplication::processEvents();
    const double fillS = double(filling.elapsed()) / 1000.0;
    QTemporaryDir dir;
    feed.startRecording(dir.filePath(QStringLiteral("bench.csv")));
    // The charts are drawn once the counter tick has returned, from the event
    // loop: the ticks and that drawing are timed apart.
    const auto [withWindow, redraw] =
        tickThenEvents(runs, [&](int i) { oneSecond(polls, driver, time, 3600 + i); });
    // Painting both charts in full, as an exposed window does.
    QWidget* charts = trends.findChild<QWidget*>(QStringLiteral("TrendCharts"));
    const Summary repaint = timeEach(runs / 5, [&](int) { charts->grab(); });
    const double rss = residentMb();
    feed.stopRecording();

    std::printf(
        "A second of polling (2 status ticks, 1 counter tick), instant driver, %d runs,\n"
        "curves' window showing the last %s of an hour of history, recording\n",
        runs, qPrintable(ui.text(QStringLiteral("TrendSpan"))));
    std::printf("  %-46s %10s %10s\n", "", "median us", "p99 us");
    std::printf("  %-46s %10.1f %10.1f\n", "ref: without the curves' window", ref.medianUs,
                ref.p99Us);
    std::printf("  %-46s %10.1f %10.1f\n", "the same ticks, window open, recording",
                withWindow.medianUs, withWindow.p99Us);
    std::printf("  %-46s %10.1f %10.1f   (aim < 1000 a tick)\n", "  added",
                withWindow.medianUs - ref.medianUs, withWindow.p99Us - ref.p99Us);
    std::printf("  %-46s %10.2f\n", "  ratio with/ref (median)",
                withWindow.medianUs / ref.medianUs);
    std::printf("  %-46s %10.1f %10.1f\n", "redrawing and painting after the tick", redraw.medianUs,
                redraw.p99Us);
    std::printf("  %-46s %10.1f %10.1f\n", "one full paint of both charts", repaint.medianUs,
                repaint.p99Us);
    std::printf("  %-46s %9.1f MB   (aim < 120)\n", "resident memory, an hour held", rss);
    std::printf("  %-46s %9.1f s\n", "taking in the hour (window hidden)", fillS);
    std::printf("\n");
}

// The panel of the curves on simulated time: its window, both polls, the
// feed and the curves' window, on a driver of its own.
struct CurvesOnClock {
    bench::InstantDriver driver;
    ssqx window{driver, [] {}};
    SimulatedTime time;
    Polls polls{window, driver, time};
    trend::Feed feed{polls.status, polls.counter, [this] { return time.now(); },
                     [this] { return time.ms; }};
    trend::TrendWindow trends{feed};
    int second = 0;

    // The next second, its reads failing every other one as on a flaky cable.
    void flakySecond() {
        driver.failReads = second % 2 == 1;
        oneSecond(polls, driver, time, second++);
    }
};

// A flaky cable: every other second's reads fail, with the curves' window
// showing the default span. What a tick and its redraw cost must not grow
// with the holes: the ticks of an hour's end are timed against those of a
// start, in turns, in one run, so that whatever else the machine does falls
// on both alike. Then the redraw's share of a core, a redraw a second, at
// each span over that hour of holes.
void measureHoles() {
    CurvesOnClock start;
    CurvesOnClock hourOn;
    constexpr int kHour = 3600;
    for (int i = 0; i < kHour; ++i) {
        hourOn.flakySecond();
    }
    for (CurvesOnClock* panel : {&start, &hourOn}) {
        panel->trends.show();
    }
    QApplication::processEvents();
    constexpr int kTicks = 200;
    std::array<std::vector<double>, 2> tickUs;
    std::array<std::vector<double>, 2> redrawUs;
    for (int i = 0; i < kTicks; ++i) {
        for (int turn = 0; turn < 2; ++turn) {
            // Each goes first every other time.
            const int which = (i + turn) % 2;
            CurvesOnClock& panel = which == 0 ? start : hourOn;
            const auto [tick, redraw] = tickThenEvents(1, [&](int) { panel.flakySecond(); });
            tickUs[which].push_back(tick.medianUs);
            redrawUs[which].push_back(redraw.medianUs);
        }
    }
    std::printf(
        "Every other read failing, curves' window on the last 5 minutes,\n"
        "%d seconds at the start against %d after an hour, in turns\n",
        kTicks, kTicks);
    std::printf("  %-36s %10s %10s %8s\n", "median us", "start", "an hour on", "ratio");
    for (const auto& [what, v] : {std::pair{"tick", &tickUs}, std::pair{"redraw", &redrawUs}}) {
        const double first = bench::percentile((*v)[0], 0.5);
        const double last = bench::percentile((*v)[1], 0.5);
        std::printf("  %-36s %10.1f %10.1f %8.2f   (aim <= 1.2)\n", what, first, last,
                    last / first);
    }
    const test_support::WindowDriver ui(&hourOn.trends);
    for (int span = 0; span < 4; ++span) {
        ui.choose(QStringLiteral("TrendSpan"), span);
        const Summary redraw = tickThenEvents(50, [&](int) { hourOn.flakySecond(); }).second;
        std::printf("  redraw at %-36s %10.1f us  %5.2f%% of a core   (aim <= 3)\n",
                    qPrintable(ui.text(QStringLiteral("TrendSpan"))), redraw.medianUs,
                    redraw.medianUs / 1e4);
    }
    std::printf("\n");
}

bool measureLive(int seconds) {
    bench::LivePanel panel;
    if (!panel.start()) {
        return false;
    }
    auto& [sim, driver, window, ui] = panel;
    QTemporaryDir dir;
    if (!ui.press(QStringLiteral("Command9")) || !ui.press(QStringLiteral("TrendWindow"))) {
        return false;
    }
    window->trendWindow()->setRecordPathChooser(
        [&dir](const QString&) { return dir.filePath(QStringLiteral("live.csv")); });
    ui.press(QStringLiteral("TrendRecord"));
    QEventLoop loop;
    QTimer::singleShot(1500, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double share = 100.0 * (cpuSeconds() - cpu0) / (double(wall.elapsed()) / 1000.0);
    const bool recording = window->trendFeed().recording();
    ui.press(QStringLiteral("Command10"));
    std::printf("The panel polling tq7310-sim for %d s, curves' window open, recording\n", seconds);
    std::printf("  %-46s %9.2f%%   (aim < 3)\n", "CPU, user + system, of one core", share);
    std::printf("  %-46s %10s\n", "still recording at the end", recording ? "yes" : "NO");
    return recording;
}

}  // namespace

int main(int argc, char** argv) {
    bench::headlessUnlessTold();
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "holes") == 0) {
        measureHoles();  // that case alone, as when looking into it
        return 0;
    }
    if (argc > 1 && qstrcmp(argv[1], "longest") == 0) {
        measureTicks(200, 3);
        return 0;
    }
    const int runs = argc > 1 ? std::max(50, std::atoi(argv[1])) : 500;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const bool live = measureLive(seconds);
    measureTicks(runs, 1);  // the default span, 5 minutes
    measureTicks(runs, 3);  // the longest, 60 minutes
    measureHoles();
    return live ? 0 : 1;
}
