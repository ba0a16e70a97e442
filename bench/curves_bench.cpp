// What the curves' window costs redrawing at its longest span, 60 minutes,
// with eight "读写任意点" points charted beside the module's quantity. An
// hour of history on simulated time: the module polled every second, each
// point's row read every half second, now and then a read failing, one row
// stopped for two minutes. Then a redraw a second, as the window makes it
// after the counter tick, timed with its painting (offscreen) on the
// thread's CPU clock, against the same window with no point charted, in
// turns in one run. Aim: at most 3 % of a core.
//
//   ./curves_bench [redraws, default 100] [picture.png of the hour's end]
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchSupport.h"
#include "TrendWindow.h"

namespace {

constexpr int kHour = 3600;
constexpr int kPoints = 8;

double threadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

struct SimulatedTime {
    qint64 ms = QDateTime::currentMSecsSinceEpoch();
    QDateTime now() const { return QDateTime::fromMSecsSinceEpoch(ms); }
};

// Eight points of eight rows: four temperatures, two pressures, two counts.
std::vector<trend::TrackedPoint> eightPoints() {
    std::vector<trend::TrackedPoint> points;
    const char* units[kPoints] = {"°C", "°C", "°C", "°C", "bar", "bar", "", ""};
    for (int i = 0; i < kPoints; ++i) {
        points.push_back({QStringLiteral("%1/3/40/0").arg(i + 1),
                          QStringLiteral("从站%1 保持寄存器 第 41 点").arg(i + 1),
                          QString::fromUtf8(units[i]), i < 6 ? 2 : -1, true, false, 2500});
    }
    return points;
}

// The panel of the curves on simulated time, with the points charted or not.
struct Curves {
    bench::InstantDriver driver;
    ssqx window{driver, [] {}};
    SimulatedTime time;
    StatusPoll status{window.linkParam(), driver, window, [this] { return time.now(); }};
    CounterPoll counter{window.linkParam(), driver, window, [this] { return time.now(); }};
    trend::Feed feed{status, counter, [this] { return time.now(); }, [this] { return time.ms; }};
    trend::TrendWindow trends{feed};
    bool charted;
    int second = 0;

    explicit Curves(bool withPoints) : charted(withPoints) {
        if (charted) {
            feed.setTrackedPoints(eightPoints());
        }
        test_support::WindowDriver(&trends).choose(QStringLiteral("TrendSpan"), 3);
    }

    // A point's row read: slow waves with some noise; a read failing once
    // in a while; the last point's row stopped for two minutes mid-hour.
    void readPoints() {
        if (!charted) {
            return;
        }
        const double t = double(time.ms) / 1000.0;
        for (int i = 0; i < kPoints; ++i) {
            if (i == kPoints - 1 && second >= 1800 && second < 1920) {
                continue;
            }
            const bool fails = (second + 13 * i) % (60 + 7 * i) == 0;
            const double wave = std::sin(t / (60.0 + 30.0 * i)) * (10.0 + i);
            const double noise = double((second * 7919 + i * 104729) % 1000) / 1000.0;
            feed.takePointReads({{QStringLiteral("%1/3/40/0").arg(i + 1),
                                  fails ? std::nullopt : std::optional(50.0 * i + wave + noise)}});
        }
    }

    void nextSecond() {
        driver.round = second;
        status.Timer1_Timer();
        readPoints();
        time.ms += 500;
        status.Timer1_Timer();
        counter.Timer2_Timer();
        readPoints();
        time.ms += 500;
        ++second;
    }
};

}  // namespace

int main(int argc, char** argv) {
    bench::headlessUnlessTold();
    QApplication app(argc, argv);
    const int redraws = argc > 1 ? std::max(20, std::atoi(argv[1])) : 100;
    Curves plain(false);
    Curves points(true);
    QElapsedTimer filling;
    filling.start();
    for (int i = 0; i < kHour; ++i) {
        plain.nextSecond();
        points.nextSecond();
    }
    const double fillS = double(filling.elapsed()) / 1000.0;
    for (Curves* c : {&plain, &points}) {
        c->trends.show();
    }
    QApplication::processEvents();
    if (argc > 2) {
        points.trends.redraw(points.feed.nowMs());
        QApplication::processEvents();
        points.trends.savePicture(QString::fromLocal8Bit(argv[2]));
    }

    // Each first every other time, so that whatever else the machine does
    // falls on both alike. The tick posts the redraw; the events draw it.
    std::vector<double> wallUs[2];
    std::vector<double> cpuUs[2];
    std::size_t drawn[2] = {0, 0};
    for (int i = 0; i < redraws; ++i) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (i + turn) % 2;
            Curves& c = which == 0 ? plain : points;
            c.nextSecond();
            QElapsedTimer wall;
            wall.start();
            const double cpu0 = threadCpuUs();
            for (int pass = 0; pass < 3; ++pass) {
                QApplication::processEvents();
            }
            cpuUs[which].push_back(threadCpuUs() - cpu0);
            wallUs[which].push_back(double(wall.nsecsElapsed()) / 1e3);
        }
    }
    for (int which = 0; which < 2; ++which) {
        const auto* chart =
            (which == 0 ? plain : points).trends.findChild<QWidget*>(QStringLiteral("TrendCharts"));
        drawn[which] = chart != nullptr && chart->isVisible() ? 1 : 0;
    }

    std::printf(
        "The curves' window at its longest span, 60 minutes, over an hour of history,\n"
        "a redraw a second with its painting (offscreen), %d redraws each in turns\n",
        redraws);
    std::printf("  %-44s %10s %10s %10s %8s\n", "", "median us", "p99 us", "CPU us", "% core");
    const char* what[2] = {"the module's curves alone", "with 8 point curves (3 more axes)"};
    for (int which = 0; which < 2; ++which) {
        const double cpu = bench::percentile(cpuUs[which], 0.5);
        std::printf("  %-44s %10.1f %10.1f %10.1f %7.2f%%\n", what[which],
                    bench::percentile(wallUs[which], 0.5), bench::percentile(wallUs[which], 0.99),
                    cpu, cpu / 1e4);
    }
    const double share = bench::percentile(cpuUs[1], 0.5) / 1e4;
    std::printf("  with 8 point curves: %.2f%% of a core (aim <= 3): %s\n", share,
                share <= 3.0 ? "met" : "MISSED");
    std::printf("  reads held: %zu of the points, the hour taken in in %.1f s (windows hidden)\n",
                points.feed.pointHistory().readsHeld(), fillS);
    return drawn[0] && drawn[1] ? 0 : 1;
}
