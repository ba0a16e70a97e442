// The search for the module against its limit, and the figures its probe
// wait is chosen from. The simulator runs with --pace (replies no sooner
// than a real line would carry them, plus a 3 ms turnaround) and strict line
// settings (requests at another baud rate go unanswered).
//
// 1. First byte: at each baud rate, probes of the simulator's own address;
//    the time to the first reply byte is the measured round trip of the
//    first read less its reply's wire time. The probe wait must cover it
//    with a wide margin.
// 2. Search: addresses 1..16 at all nine settings on one port, the
//    simulator at 19200 baud, address 7. Limit: for each silent probe its
//    wait plus its request's wire time, for each answered one its measured
//    length. Aim: measured <= 1.1 x limit and under 10 s.
//    Each answered probe also owes the line its silent interval after it.
// 3. The same with the simulator slow (150 ms turnaround): its late reply
//    is a sign of life that asks earlier addresses again, patiently; what
//    that confirmation costs is reported.
// 4. The window's thread during a search: how late a 10 ms timer on it
//    fires while the search runs on its own thread, against the same search
//    run on the window's thread (the reference). Aim: never 50 ms late.
// 5. With --full, addresses 1..247 too. Aim: under 2 minutes.
//
//   ./find_bench [--full]
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>

#include "BenchSupport.h"
#include "DriverProber.h"
#include "LibraryDriver.h"
#include "ModuleSearch.h"
#include "SearchThread.h"

namespace {

using Clock = std::chrono::steady_clock;
using finder::Answer;
using finder::LineSetting;

constexpr int kFirstByteProbes = 100;
constexpr int kHoldingReplyBytes = 3 + 2 * 16 + 2;

double wireMs(int bytes, int baud) {
    return bytes * 11 * 1000.0 / baud;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Times every probe of the search it passes on.
class TimedProber : public finder::Prober {
  public:
    explicit TimedProber(finder::Prober& inner) : inner_(inner) {}
    QString device(int port) override { return inner_.device(port); }
    std::optional<module_line::PortTarget> target(int port) override {
        return inner_.target(port);
    }
    finder::OpenResult open(int port, const LineSetting& s) override {
        return inner_.open(port, s);
    }
    Answer probe(int port, int address, const LineSetting& s, finder::Wait wait) override {
        const auto start = Clock::now();
        const Answer answer = inner_.probe(port, address, s, wait);
        const double ms = msSince(start);
        const bool patient = wait == finder::Wait::Patient;
        if (patient) {
            ++confirmations;
            confirmMs += ms;
        }
        if (answer.kind == Answer::Silent) {
            ++silent;
            const std::int32_t allowance =
                patient ? finder::kPatientAllowanceUs : finder::kProbeAllowanceUs;
            limitMs += finder::probeWaitUs(s, allowance) / 1000.0 +
                       wireMs(finder::kProbeRequestBytes, s.baud());
        } else {
            ++answered;
            limitMs += ms + finder::quietAfterReplyUs(s) / 1000.0;
        }
        return answer;
    }
    void close(int port) override { inner_.close(port); }

    int silent = 0;
    int answered = 0;
    int confirmations = 0;  // patient probes
    double confirmMs = 0;
    double limitMs = 0;

  private:
    finder::Prober& inner_;
};

bool firstByte(LibraryDriver& driver) {
    std::printf("first reply byte on a responding line (--pace, turnaround 3 ms)\n");
    std::printf("%6s %9s %9s %9s %9s %11s %8s\n", "baud", "req ms", "p50 ms", "p99 ms", "max ms",
                "wait ms", "wait/p99");
    for (int code = 1; code <= 3; ++code) {
        const LineSetting setting{code, 2};
        SimProcess sim;
        if (!bench::startSimulator(sim, {"--pace", "--baud", QString::number(setting.baud())})) {
            return false;
        }
        if (driver.OpenPort_Modbus(1, code, 2) != 0) {
            return false;
        }
        std::vector<double> ms;
        for (int i = 0; i < kFirstByteProbes; ++i) {
            // A generous wait, so that a slow reply is measured, not lost.
            const auto probe = driver.probeModule(1, 1, 1'000'000);
            if (!probe || probe->outcome != TQ7310_OK) {
                std::printf("probe %d failed\n", i);
                return false;
            }
            ms.push_back(probe->round_trip_us / 1000.0 -
                         wireMs(kHoldingReplyBytes, setting.baud()));
        }
        driver.ClosePort_Modbus(1);
        const double p99 = bench::percentile(ms, 0.99);
        const double wait = finder::probeWaitUs(setting) / 1000.0;
        std::printf("%6d %9.2f %9.2f %9.2f %9.2f %11.2f %8.1f\n", setting.baud(),
                    wireMs(finder::kProbeRequestBytes, setting.baud()), bench::percentile(ms, 0.5),
                    p99, bench::percentile(ms, 1.0), wait, wait / p99);
    }
    return true;
}

bool search(LibraryDriver& driver, int lastAddress, double aimMs, int turnaroundMs = 0) {
    SimProcess sim;
    QStringList options{"--pace", "--baud", "19200", "--address", "7"};
    if (turnaroundMs > 0) {
        options << "--turnaround" << QString::number(turnaroundMs);
    }
    if (!bench::startSimulator(sim, options)) {
        return false;
    }
    finder::DriverProber prober(driver);
    TimedProber timed(prober);
    finder::ModuleSearch search(timed);
    int modules = 0;
    QObject::connect(&search, &finder::ModuleSearch::found, [&](const finder::Found& f) {
        modules += f.kind == Answer::Module || f.kind == Answer::MaybeModule;
    });
    QEventLoop loop;
    QObject::connect(&search, &finder::ModuleSearch::finished, &loop, &QEventLoop::quit);
    finder::Scope scope{{1}, finder::allSettings(), {1, 2}, 1, lastAddress};
    const auto start = Clock::now();
    search.start(scope);
    loop.exec();
    const double measured = msSince(start);
    const double ratio = measured / timed.limitMs;
    const bool well = ratio <= 1.1 && measured <= aimMs && modules == 3;
    std::printf(
        "\naddresses 1..%d at nine settings, module turnaround %s: %d silent, %d "
        "answered probes, %d module rows\n",
        lastAddress,
        turnaroundMs > 0 ? qPrintable(QStringLiteral("%1 ms").arg(turnaroundMs)) : "3 ms",
        timed.silent, timed.answered, modules);
    std::printf("confirmations: %d patient probes, %.0f ms\n", timed.confirmations,
                timed.confirmMs);
    std::printf("measured %.0f ms, limit %.0f ms, ratio %.3f (aim <= 1.1), aim %s: %s\n", measured,
                timed.limitMs, ratio,
                aimMs < 1e9 ? qPrintable(QStringLiteral("%1 s").arg(aimMs / 1000)) : "none",
                well ? "met" : "MISSED");
    return well;
}

// How late a 10 ms timer on this thread fires while `search` runs, in ms.
std::vector<double> lateness(finder::ModuleSearch& search, const std::function<void()>& start) {
    constexpr int kTickMs = 10;
    std::vector<double> late;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    auto last = Clock::now();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        late.push_back(std::max(0.0, msSince(last) - kTickMs));
        last = Clock::now();
    });
    QEventLoop loop;
    QObject::connect(&search, &finder::ModuleSearch::finished, &loop, &QEventLoop::quit);
    tick.start(kTickMs);
    last = Clock::now();
    start();
    loop.exec();
    return late;
}

bool responsiveness(LibraryDriver& driver) {
    SimProcess sim;
    if (!bench::startSimulator(sim, {"--pace", "--baud", "19200", "--address", "7"})) {
        return false;
    }
    const finder::Scope scope{{1}, finder::allSettings(), {1, 2}, 1, module_line::kListedAddresses};
    finder::DriverProber prober(driver);
    std::printf(
        "\nthe window's thread during a search (1..16 at nine settings): how late a "
        "10 ms timer fires\n%-24s %9s %9s %9s\n",
        "search runs", "p50 ms", "p99 ms", "max ms");
    finder::ModuleSearch here(prober);
    const auto reference = lateness(here, [&] { here.start(scope); });
    finder::SearchThread own(prober);
    const auto measured = lateness(own.search(), [&] { own.start(scope); });
    for (const auto& [name, late] : {std::pair{"on the window's thread", reference},
                                     std::pair{"on its own thread", measured}}) {
        std::printf("%-24s %9.2f %9.2f %9.2f\n", name, bench::percentile(late, 0.5),
                    bench::percentile(late, 0.99), bench::percentile(late, 1.0));
    }
    const double worst = bench::percentile(measured, 1.0);
    std::printf("worst lateness %.1f ms, %.3f of the reference's; aim < 50 ms: %s\n", worst,
                worst / std::max(0.001, bench::percentile(reference, 1.0)),
                worst < 50 ? "met" : "MISSED");
    return worst < 50;
}

}  // namespace

int main(int argc, char** argv) {
    bench::headlessUnlessTold();
    QCoreApplication app(argc, argv);
    const bool full = app.arguments().contains(QStringLiteral("--full"));
    LibraryDriver driver;
    if (!firstByte(driver)) {
        return 1;
    }
    // A pseudo-terminal carries no parity: the simulator answers at all three
    // parities of its baud rate, hence three module rows.
    bool well = search(driver, module_line::kListedAddresses, 10'000);
    // A slow module costs its confirmation: no time aim, the cost is shown.
    well = search(driver, module_line::kListedAddresses, 1e9, 150) && well;
    well = responsiveness(driver) && well;
    if (full) {
        well = search(driver, module_line::kLastAddress, 120'000) && well;
    }
    return well ? 0 : 1;
}
