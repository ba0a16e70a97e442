// What the panel costs the machine it runs on. First, against a responsive
// simulated module on a pseudo-terminal, the CPU share and peak memory of the
// whole panel process over 10 s of polling (the simulator is a process of its
// own and is not counted). Then the cost of one tick of each poll against a
// driver that answers at once, next to what the same number of label
// updates costs by itself, so the window's own overhead stands apart from
// Qt's. Last, what four "读写任意点" rows read every second cost the main
// polls: the period of Timer1's ticks against the simulator without rows
// and with them, in one run. Aim: the median within 5 %. Then what charting
// and recording "读写任意点" points adds to the counter tick that writes the
// record: eight rows of 125 points, every point charted and recorded, a
// thousand reads a second, against the same tick recording the module
// alone. Aim: the median within 1 %.
//
//   ./tick_bench [seconds of polling, default 10] [ticks, default 2000]
//   ./tick_bench points [ticks]      only the ticks with points
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "BenchSupport.h"
#include "LibraryDriver.h"
#include "ModuleMap.h"
#include "ssqx.h"

namespace {

using Clock = std::chrono::steady_clock;

using bench::InstantDriver;
using bench::Summary;
using bench::timeEach;

double cpuSeconds(const rusage& r) {
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// Polls the simulator for `seconds` with the real driver; false when the
// panel never got going.
bool measureLivePolling(int seconds) {
    bench::LivePanel panel;
    if (!panel.start()) {
        return false;
    }
    auto& [sim, driver, window, ui] = panel;
    if (!ui.press("Command9")) {
        return false;
    }
    // A first round of both polls, so start-up is not counted.
    QEventLoop loop;
    QTimer::singleShot(1500, &loop, &QEventLoop::quit);
    loop.exec();
    const auto before = driver.linkStatus(1);

    rusage start{};
    getrusage(RUSAGE_SELF, &start);
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    rusage end{};
    getrusage(RUSAGE_SELF, &end);
    const double wallS = double(wall.nsecsElapsed()) / 1e9;
    const auto after = driver.linkStatus(1);
    ui.press("Command10");
    window.reset();

    const double cpuS = cpuSeconds(end) - cpuSeconds(start);
    const double cpuShare = 100.0 * cpuS / wallS;
    const double peakMb = double(end.ru_maxrss) / 1024.0;
    const int transactions = after && before ? after->transactions - before->transactions : -1;
    const int failures = after && before ? after->failures - before->failures : -1;

    std::printf("Panel polling tq7310-sim on %s at 9600,E for %.1f s (simulator not counted)\n",
                qPrintable(sim.device()), wallS);
    std::printf("  %-34s %10s %10s %8s\n", "measure", "value", "aim", "ok");
    std::printf("  %-34s %9.2f%% %9s%% %8s\n", "CPU, user + system, of one core", cpuShare, "< 2",
                cpuShare < 2.0 ? "yes" : "NO");
    std::printf("  %-34s %7.1f MB %7s MB %8s\n", "peak resident memory (ru_maxrss)", peakMb, "< 80",
                peakMb < 80.0 ? "yes" : "NO");
    std::printf("  %-34s %10d\n", "transactions in the window", transactions);
    std::printf("  %-34s %10d\n", "of which failed", failures);
    std::printf("  %-34s %10.1f\n", "transactions a second", transactions / wallS);
    std::printf("\n");
    return transactions > 0;
}

void measureTicks(int runs) {
    InstantDriver driver;
    ssqx window(driver, [] {});
    window.show();
    QApplication::processEvents();
    const test_support::WindowDriver ui(&window);

    // The labels each tick writes, and two texts for each to alternate.
    QList<QLabel*> statusLabels;
    QList<QLabel*> counterLabels;
    for (const char* name : {"Label2(9)", "Label2(10)"}) {
        statusLabels << ui.find<QLabel>(name);
    }
    for (int i = 0; i < 10; ++i) {
        statusLabels << ui.find<QLabel>(memberName("B_2R", i));
    }
    for (int i = 0; i < module_map::kOutputs - 1; ++i) {
        statusLabels << ui.find<QLabel>(memberName("B_1RW", i));
    }
    for (int i = 0; i < 4; ++i) {
        counterLabels << ui.find<QLabel>(memberName("D_4R", i));
    }
    for (int i = 0; i < 8; ++i) {
        counterLabels << ui.find<QLabel>(memberName("D_4R32", i));
    }
    for (int i = 0; i < 13; ++i) {
        counterLabels << ui.find<QLabel>(memberName("D_4R4", i));
    }
    const auto setTexts = [](const QList<QLabel*>& labels, int round) {
        for (int i = 0; i < labels.size(); ++i) {
            labels[i]->setText(QString::number(round * 100 + i));
        }
    };
    const auto setTextsAndYield = [&](const QList<QLabel*>& labels, int round) {
        setTexts(labels, round);
        for (int y = 0; y < 3; ++y) {  // both polls yield three times a tick
            QApplication::processEvents();
        }
    };

    // Warm caches and fonts before anything is counted.
    for (int i = 0; i < 50; ++i) {
        driver.round = i;
        window.statusPoll().Timer1_Timer();
        window.counterPoll().Timer2_Timer();
    }

    const Summary t1 = timeEach(runs, [&](int i) {
        driver.round = i;
        window.statusPoll().Timer1_Timer();
    });
    const Summary t2 = timeEach(runs, [&](int i) {
        driver.round = i;
        window.counterPoll().Timer2_Timer();
    });
    driver.libraryPresent = false;
    const Summary q1 = timeEach(runs, [&](int i) {
        driver.round = i;
        window.statusPoll().Timer1_Timer();
    });
    const Summary q2 = timeEach(runs, [&](int i) {
        driver.round = i;
        window.counterPoll().Timer2_Timer();
    });
    const Summary r1 = timeEach(runs, [&](int i) { setTexts(statusLabels, i); });
    const Summary r2 = timeEach(runs, [&](int i) { setTexts(counterLabels, i); });
    const Summary y1 = timeEach(runs, [&](int i) { setTextsAndYield(statusLabels, i); });
    const Summary y2 = timeEach(runs, [&](int i) { setTextsAndYield(counterLabels, i); });

    std::printf("One tick against a driver that answers at once, %d ticks each (offscreen)\n",
                runs);
    std::printf("  %-44s %10s %10s %12s\n", "", "median us", "p99 us", "tick/ref");
    const auto row = [](const char* what, const Summary& s, const Summary* tick) {
        if (tick) {
            std::printf("  %-44s %10.1f %10.1f %12.2f\n", what, s.medianUs, s.p99Us,
                        tick->medianUs / s.medianUs);
        } else {
            std::printf("  %-44s %10.1f %10.1f %12s\n", what, s.medianUs, s.p99Us, "");
        }
    };
    row("Timer1 tick (status poll, 2 reads)", t1, nullptr);
    row("  same tick, status line standing still", q1, &t1);
    row("  ref: 16 QLabel::setText alone", r1, &t1);
    row("  ref: 16 setText + 3 processEvents", y1, &t1);
    row("Timer2 tick (counter poll, 3 reads)", t2, nullptr);
    row("  same tick, status line standing still", q2, &t2);
    row("  ref: 25 QLabel::setText alone", r2, &t2);
    row("  ref: 25 setText + 3 processEvents", y2, &t2);
    std::printf("  tick/ref: the tick's median over the reference's median\n");
}

// The intervals between Timer1's ticks over `seconds`, in ms.
std::vector<double> tickIntervals(QTimer* timer, int seconds) {
    std::vector<double> intervals;
    QElapsedTimer since;
    const auto tick = QObject::connect(timer, &QTimer::timeout, [&] {
        if (since.isValid()) {
            intervals.push_back(double(since.nsecsElapsed()) / 1e6);
        }
        since.start();
    });
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(tick);
    return intervals;
}

bool measureAnyPointRows(int seconds) {
    bench::LivePanel panel;
    if (!panel.start()) {
        return false;
    }
    auto& [sim, driver, window, ui] = panel;
    auto* timer1 = ui.find<QTimer>("Timer1");
    if (!timer1 || !ui.press("Command9") || !ui.press("AnyPoint")) {
        return false;
    }
    const auto without = tickIntervals(timer1, seconds);
    // Four rows of 16 points each, every second: the module's whole map.
    const test_support::WindowDriver rows(window->findChild<QWidget*>("AnyPointWindow"));
    const std::pair<int, int> blocks[] = {{0, 1}, {1, 1}, {2, 1}, {3, 11}};
    for (const auto& [table, first] : blocks) {
        rows.choose("AnyPointTable", table);
        rows.find<QSpinBox>("AnyPointFirst")->setValue(first);
        rows.find<QSpinBox>("AnyPointCount")->setValue(16);
        rows.press("AnyPointAdd");
    }
    const auto before = driver.linkStatus(1);
    const auto with = tickIntervals(timer1, seconds);
    const auto after = driver.linkStatus(1);
    // Then one row alone on a slave that never answers, of the shape of the
    // window's own first read (02 x 16) at 0.5 s: its time-outs back off.
    auto* table = rows.find<QTableWidget>("AnyPointRows");
    while (table->rowCount() > 0) {
        table->setCurrentCell(0, 0);
        rows.press("AnyPointRemove");
    }
    rows.find<QSpinBox>("AnyPointAddress")->setValue(9);
    rows.choose("AnyPointTable", 1);
    rows.find<QSpinBox>("AnyPointFirst")->setValue(1);
    rows.choose("AnyPointPeriod", 1);
    rows.press("AnyPointAdd");
    const auto silent = tickIntervals(timer1, seconds);
    ui.press("Command10");
    if (without.empty() || with.empty() || silent.empty() || !before || !after) {
        return false;
    }
    std::printf(
        "\nTimer1's period against tq7310-sim, %d s each: without rows, with four "
        "读写任意点 rows at 1 s, with one row on a silent slave\n",
        seconds);
    std::printf("  %-26s %10s %10s %10s %10s\n", "", "median ms", "p95 ms", "max ms",
                "median/none");
    const double none = bench::percentile(without, 0.5);
    for (const auto& [what, intervals] :
         {std::pair{"without rows", without}, std::pair{"with four rows", with},
          std::pair{"one silent row, 02 x 16", silent}}) {
        std::printf("  %-26s %10.1f %10.1f %10.1f %10.3f\n", what,
                    bench::percentile(intervals, 0.5), bench::percentile(intervals, 0.95),
                    bench::percentile(intervals, 1.0), bench::percentile(intervals, 0.5) / none);
    }
    const double ratio = bench::percentile(with, 0.5) / none;
    const double silentRatio = bench::percentile(silent, 0.5) / none;
    std::printf("  four rows %.3f (aim <= 1.05): %s; %d transactions, %d failed\n", ratio,
                ratio <= 1.05 ? "met" : "MISSED", after->transactions - before->transactions,
                after->failures - before->failures);
    std::printf("  silent row %.3f (aim <= 1.10): %s\n", silentRatio,
                silentRatio <= 1.10 ? "met" : "MISSED");
    return true;
}

// Eight rows of 125 points: their reads, each row's at once, values
// changing at every round.
struct PointRows {
    static constexpr int kRows = 8;
    static constexpr int kPoints = 125;
    std::vector<trend::TrackedPoint> tracked;
    std::vector<std::vector<trend::PointRead>> reads;

    PointRows() : reads(kRows) {
        for (int row = 0; row < kRows; ++row) {
            for (int i = 0; i < kPoints; ++i) {
                const QString key = QStringLiteral("%1/3/%2/0").arg(row + 1).arg(i);
                // Half as read, half with two decimals and a unit.
                const bool scaled = i % 2 == 1;
                tracked.push_back(
                    {key, QStringLiteral("从站%1 保持寄存器 第 %2 点").arg(row + 1).arg(i + 1),
                     scaled ? QStringLiteral("°C") : QString(), scaled ? 2 : -1, true, true, 5000});
                reads[std::size_t(row)].push_back({key, 0.0});
            }
        }
    }
    void readAll(trend::Feed& feed, int round) {
        for (auto& row : reads) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                row[i].value = i % 2 == 1 ? 20.0 + 0.01 * double(round % 500 + int(i))
                                          : double(round * 7 + int(i));
            }
            feed.takePointReads(row);
        }
    }
};

// A main window on an instant driver, recording.
struct Recording {
    InstantDriver driver;
    ssqx window{driver, [] {}};
    QTemporaryDir dir;
    explicit Recording(const std::vector<trend::TrackedPoint>& points) {
        window.show();
        window.trendFeed().setTrackedPoints(points);
        window.trendFeed().startRecording(dir.filePath(QStringLiteral("bench.csv")));
    }
    void tick(int round) {
        driver.round = round;
        window.counterPoll().Timer2_Timer();
    }
    // What a row holds on average, the header's share in.
    double bytesARow(int rows) const {
        return double(QFileInfo(dir.filePath(QStringLiteral("bench.csv"))).size()) / rows;
    }
};

void measurePointTicks(int runs) {
    PointRows rows;
    Recording plain({});
    Recording points(rows.tracked);
    QApplication::processEvents();
    for (int i = 0; i < 50; ++i) {
        rows.readAll(points.window.trendFeed(), i);
        plain.tick(i);
        points.tick(i);
    }
    // In turns, each first every other time, so that whatever else the
    // machine does falls on both alike. The reads are timed apart: the
    // 读写任意点 window hands them over between the ticks.
    using Clock = std::chrono::steady_clock;
    const auto us = [](Clock::time_point from) {
        return std::chrono::duration<double, std::micro>(Clock::now() - from).count();
    };
    std::vector<double> plainUs, pointsUs, readsUs;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        rows.readAll(points.window.trendFeed(), 50 + i);
        readsUs.push_back(us(start));
        for (int turn = 0; turn < 2; ++turn) {
            Recording& r = (i + turn) % 2 == 0 ? plain : points;
            const auto tick = Clock::now();
            r.tick(50 + i);
            (&r == &plain ? plainUs : pointsUs).push_back(us(tick));
        }
    }
    const bool recording =
        plain.window.trendFeed().recording() && points.window.trendFeed().recording();
    const double plainMedian = bench::percentile(plainUs, 0.5);
    const double pointsMedian = bench::percentile(pointsUs, 0.5);
    const double readsMedian = bench::percentile(readsUs, 0.5);
    const double ratio = pointsMedian / plainMedian;
    std::printf(
        "\nThe counter tick, recording, instant driver, %d ticks each in turns: the module\n"
        "alone, and with 8 读写任意点 rows x 125 points charted and recorded (1000 columns)\n",
        runs);
    std::printf("  %-50s %10s %10s\n", "", "median us", "p99 us");
    std::printf("  %-50s %10.1f %10.1f\n", "Timer2 tick, recording the module alone", plainMedian,
                bench::percentile(plainUs, 0.99));
    std::printf("  %-50s %10.1f %10.1f\n", "Timer2 tick, recording 1000 points besides",
                pointsMedian, bench::percentile(pointsUs, 0.99));
    std::printf("  %-50s %10.1f %10.1f\n", "the 8 rows' reads handed over (1000 PointRead)",
                readsMedian, bench::percentile(readsUs, 0.99));
    std::printf("  %-50s %10.0f %10.0f\n", "bytes a row, module alone / with points",
                plain.bytesARow(runs + 50), points.bytesARow(runs + 50));
    std::printf("  tick with points / without: %.3f (aim <= 1.01): %s%s\n", ratio,
                ratio <= 1.01 ? "met" : "MISSED", recording ? "" : "; a record STOPPED");
    std::printf(
        "  a second's work added (8 rows' reads + the tick's difference): %.1f us, %.3f%% of a "
        "core\n\n",
        readsMedian + pointsMedian - plainMedian, (readsMedian + pointsMedian - plainMedian) / 1e4);
}

}  // namespace

int main(int argc, char** argv) {
    bench::headlessUnlessTold();
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "points") == 0) {
        measurePointTicks(argc > 2 ? std::max(100, std::atoi(argv[2])) : 2000);
        return 0;
    }
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int runs = argc > 2 ? std::max(100, std::atoi(argv[2])) : 2000;

    // Polling first: the peak resident size is the process's, so it must
    // be read before the tick loops below can add to it.
    const bool polled = measureLivePolling(seconds);
    measureTicks(runs);
    const bool rows = measureAnyPointRows(seconds);
    measurePointTicks(runs);
    return polled && rows ? 0 : 1;
}
