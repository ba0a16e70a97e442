#include "ModuleCheck.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "ConfigValues.h"
#include "OutcomeText.h"

namespace mm = module_map;

namespace {

constexpr int kLinkRounds = 20;
constexpr int kRetryPauseMs = 200;
constexpr int kInputPollMs = 200;
// Long enough for a few pulses of the slowest input a bench drives.
constexpr int kRateWindowMs = 1500;
// How long the counts are given to rise far enough from 0 for a clear to show.
constexpr int kRiseWaitMs = 3000;
// A real module measures frequencies over a gate time before it reports any.
constexpr int kFrequencyGateMs = 1000;
constexpr int kTrafficRecords = 512;
constexpr int kHoldingRegisters = 3;
constexpr int kInputRegisters = 4;
constexpr int kCoilTable = 1;
constexpr int kInputTable = 2;
constexpr qint64 kNsPerMs = 1'000'000;
constexpr double kNsPerSecond = 1e9;

// The next value after `present` that the window's lists take for `reg`.
std::uint16_t testValue(int reg, std::uint16_t present) {
    for (std::uint32_t step = 1; step <= 0xFFFF; ++step) {
        const auto value = static_cast<std::uint16_t>(present + step);
        if (mm::configAccepts(reg, value)) {
            return value;
        }
    }
    return present;
}

QString bitsText(const std::uint8_t* bits, int count) {
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && i % 4 == 0) {
            text += u' ';
        }
        text += bits[i] != 0 ? u'1' : u'0';
    }
    return text;
}

QString msText(qint64 ns) {
    return QString::number(double(ns) / 1e6, 'f', 1) + QStringLiteral(" ms");
}

// Count i is X(i % 4 + 1)'s, 16-bit for i < 4. A count that steps below 0
// (up/down mode) wraps at its width: read signed, it is a small negative.
bool is16(int i) {
    return i < mm::kCountingInputs;
}
std::int64_t signedCount(int i, std::uint32_t v) {
    return is16(i) ? std::int64_t(std::int16_t(std::uint16_t(v))) : std::int64_t(std::int32_t(v));
}
std::int64_t moved(int i, std::uint32_t from, std::uint32_t to) {
    return std::llabs(signedCount(i, to - from));
}
QString countName(int i) {
    return QStringLiteral("X%1 %2 位计数").arg(i % mm::kCountingInputs + 1).arg(is16(i) ? 16 : 32);
}

}  // namespace

int exitStatusOf(const CheckReport& report) {
    if (!report.answered) {
        return 2;
    }
    if (!report.notRestored.isEmpty()) {
        return 3;
    }
    const auto any = [&](Verdict v) {
        return std::any_of(report.steps.begin(), report.steps.end(),
                           [&](const StepResult& s) { return s.verdict == v; });
    };
    if (any(Verdict::Failed) || !report.selfChanged.isEmpty()) {
        return 1;
    }
    return any(Verdict::LinkProblem) || report.stopped ? 2 : 0;
}

ModuleCheck::ModuleCheck(ModuleDriver& driver, const CheckOptions& options, CheckClock clock)
    : driver_(driver), options_(options), clock_(std::move(clock)) {}

QStringList ModuleCheck::stepNames() {
    return {QStringLiteral("通信"), QStringLiteral("配置"),     QStringLiteral("输出"),
            QStringLiteral("计数"), QStringLiteral("频率模式"), QStringLiteral("输入")};
}

CheckReport ModuleCheck::run() {
    CheckReport report;
    using Run = Verdict (ModuleCheck::*)(QStringList&);
    const Run runs[] = {&ModuleCheck::link,     &ModuleCheck::configuration, &ModuleCheck::outputs,
                        &ModuleCheck::counters, &ModuleCheck::mode,          &ModuleCheck::inputs};
    const QStringList names = stepNames();
    static_assert(sizeof(runs) / sizeof(runs[0]) == kSteps);
    report.answered = readConfig(foundConfig_) && readCoils(foundCoils_);
    const QString noAnswer = report.answered ? QString() : failure(QStringLiteral("读配置与线圈"));
    for (int s = 0; s < kSteps; ++s) {
        const QString& name = names[s];
        StepResult result;
        result.name = name;
        const bool only = options_.only.isEmpty() || options_.only.contains(name);
        if (!report.answered) {
            result.evidence << noAnswer;
        } else if (!only) {
            result.evidence << QStringLiteral("按 --only 未做");
        } else if (runs[s] == &ModuleCheck::counters && options_.keepCounts) {
            result.evidence << QStringLiteral("按 --keep-counts 保留计数");
        } else if (runs[s] == &ModuleCheck::inputs && !options_.inputs) {
            result.evidence << QStringLiteral("未给 --inputs: 需要有人在现场操作输入");
        } else if (stop_) {
            result.evidence << QStringLiteral("已停止");
        } else if (linkLost_) {
            result.evidence << QStringLiteral("连接中断, 未做");
        } else {
            if (onStepStarted) {
                onStepStarted(name);
            }
            const qint64 started = clock_.nowNs();
            const int failuresBefore = lineFailures_;
            const int retriesBefore = retries_;
            result.verdict = (this->*runs[s])(result.evidence);
            result.ms = (clock_.nowNs() - started) / kNsPerMs;
            if (lineFailures_ > failuresBefore) {
                result.evidence << QStringLiteral("线路丢失或损坏 %1 次, 重试 %2 次")
                                       .arg(lineFailures_ - failuresBefore)
                                       .arg(retries_ - retriesBefore);
            }
            if (stop_) {
                result.verdict = Verdict::Skipped;
                result.evidence << QStringLiteral("已停止");
            } else if (result.verdict == Verdict::LinkProblem && !answers()) {
                linkLost_ = true;
                result.evidence << QStringLiteral("模块不再应答");
            }
        }
        if (onStepDone) {
            onStepDone(result);
        }
        report.steps << result;
    }
    report.stopped = stop_;
    if (report.answered) {
        const qint64 started = clock_.nowNs();
        restore(report);
        report.restoreMs = (clock_.nowNs() - started) / kNsPerMs;
    }
    report.lineFailures = lineFailures_;
    report.retries = retries_;
    return report;
}

Verdict ModuleCheck::link(QStringList& evidence) {
    using Read = std::function<DriverResult(std::int32_t*)>;
    const int p = options_.port;
    const int a = options_.address;
    // The status poll's two reads, then the counter poll's three, as the panel makes them.
    const std::pair<const char*, Read> reads[] = {
        {"Get_1X_B16",
         [&](std::int32_t* b) { return driver_.Get_1X_B16(p, a, mm::kFirstInput, b); }},
        {"Get_0X_B16",
         [&](std::int32_t* b) { return driver_.Get_0X_B16(p, a, mm::kFirstCoil, b); }},
        {"Get_3X_UnDX",
         [&](std::int32_t* b) {
             return driver_.Get_3X_UnDX(p, a, mm::kCount16Register, mm::kCount16Values, b);
         }},
        {"Get_3X_LUNDX",
         [&](std::int32_t* b) {
             return driver_.Get_3X_LUNDX(p, a, mm::kCount32Register, mm::kCount32Values, b);
         }},
        {"Get_4X_UnDX",
         [&](std::int32_t* b) {
             return driver_.Get_4X_UnDX(p, a, mm::kConfigRegister, mm::kConfigRegistersRead, b);
         }},
    };
    std::vector<qint64> trips;
    std::array<std::int32_t, 501> buffer{};
    for (int round = 1; round <= kLinkRounds && !stop_; ++round) {
        for (const auto& [name, read] : reads) {
            const qint64 started = clock_.nowNs();
            if (!transact([&] { return read(buffer.data()); })) {
                return missing(QStringLiteral("第 %1 轮 %2").arg(round).arg(QLatin1String(name)),
                               evidence);
            }
            const qint64 ns = clock_.nowNs() - started;
            const auto status = driver_.linkStatus(p);
            trips.push_back(status && status->round_trip_us >= 0 ? status->round_trip_us * 1000LL
                                                                 : ns);
        }
    }
    if (trips.empty()) {
        return Verdict::Skipped;
    }
    std::sort(trips.begin(), trips.end());
    evidence << QStringLiteral("%1 次读取全部应答; 往返 最短 %2, 中位 %3, 最长 %4")
                    .arg(trips.size())
                    .arg(msText(trips.front()), msText(trips[(trips.size() - 1) / 2]),
                         msText(trips.back()));
    return Verdict::Passed;
}

Verdict ModuleCheck::configuration(QStringList& evidence) {
    Config present{};
    if (!readConfig(present)) {
        return missing(QStringLiteral("读寄存器 1..13"), evidence);
    }
    Verdict verdict = Verdict::Passed;
    QStringList done;
    for (int i = 0; i < mm::kConfigRegistersShown && !stop_; ++i) {
        const int reg = mm::kConfigRegister + i;
        const std::uint16_t test = testValue(reg, present[i]);
        Verdict v = writeAndReadBack(reg, test, evidence);
        if (v != Verdict::LinkProblem) {
            const Verdict back = writeAndReadBack(reg, present[i], evidence);
            v = v == Verdict::Passed ? back : v;
            if (back != Verdict::LinkProblem) {
                done << QStringLiteral("%1:%2→%3→%2").arg(reg).arg(present[i]).arg(test);
            }
        }
        if (v == Verdict::LinkProblem) {
            verdict = Verdict::LinkProblem;
            break;
        }
        verdict = v == Verdict::Failed ? v : verdict;
    }
    evidence.prepend(QStringLiteral("写入测试值, 读回, 写回原值: ") +
                     (done.isEmpty() ? QStringLiteral("无") : done.join(u' ')));
    return verdict;
}

Verdict ModuleCheck::outputs(QStringList& evidence) {
    Config present{};
    if (!readConfig(present)) {
        return missing(QStringLiteral("读寄存器 1..13"), evidence);
    }
    Verdict verdict = Verdict::Passed;
    // The line's failure says most: without it the step might have gone on.
    const auto worst = [&](Verdict v) {
        if (v == Verdict::LinkProblem || verdict == Verdict::Passed) {
            verdict = v;
        }
    };
    QList<int> switched;
    for (int i = 0; i < mm::kDoFunctions && verdict == Verdict::Passed; ++i) {
        const int reg = mm::kDoFunctionRegister + 2 * i;
        if (present[reg - mm::kConfigRegister] != mm::kDoCoilDriven) {
            worst(writeAndReadBack(reg, mm::kDoCoilDriven, evidence));
            switched << reg;
        }
    }
    Coils base{};
    if (verdict == Verdict::Passed && !readCoils(base)) {
        worst(missing(QStringLiteral("读线圈 1..16"), evidence));
    }
    Coils expected = base;
    int tried = 0;
    for (int y = 0; y < mm::kOutputs && verdict == Verdict::Passed && !stop_; ++y) {
        for (const bool on : {true, false}) {
            const QString act = QStringLiteral("Y%1 %2").arg(y + 1).arg(on ? "接通" : "断开");
            Coils now{};
            if (!writeCoil(mm::kFirstCoil + y, on) || !readCoils(now)) {
                worst(missing(act, evidence));
                break;
            }
            expected[y] = on;
            if (now != expected) {
                evidence << QStringLiteral("%1 后线圈 1..16 读回 %2, 应为 %3")
                                .arg(act, bitsText(now.data(), mm::kCoilsRead),
                                     bitsText(expected.data(), mm::kCoilsRead));
                worst(Verdict::Failed);
                expected = now;
            }
        }
        tried = verdict == Verdict::Passed ? y + 1 : tried;
    }
    for (int y = 0; y < mm::kOutputs; ++y) {
        if (base[y] != 0) {
            writeCoil(mm::kFirstCoil + y, true);
        }
    }
    for (const int reg : switched) {
        const Verdict back = writeAndReadBack(reg, present[reg - mm::kConfigRegister], evidence);
        if (back == Verdict::Failed) {
            worst(back);
        }
    }
    if (tried > 0) {
        evidence.prepend(QStringLiteral("Y1..Y%1 逐个接通再断开, 读回相符, 其他线圈不变; 线圈 "
                                        "1..16 原为 %2")
                             .arg(tried)
                             .arg(bitsText(base.data(), mm::kCoilsRead)));
    }
    return verdict;
}

bool ModuleCheck::measureRates(QStringList& evidence) {
    Counts first;
    Counts second;
    if (!readCounts(first)) {
        return false;
    }
    pause(kRateWindowMs);
    if (!readCounts(second)) {
        return false;
    }
    for (int i = 0; i < kCounts; ++i) {
        // The fastest the count may have moved: allowances err on the wide side.
        rate_[i] =
            double(moved(i, first.value[i], second.value[i])) / double(shortest(first, second, i));
    }
    QStringList rates;
    for (int i = 0; i < kCounts; ++i) {
        // Past 2^15 pulses in the window a 16-bit count wraps out of sight; its
        // input's 32-bit count, as yet untouched by any clear, still shows them.
        if (is16(i)) {
            rate_[i] = std::max(rate_[i], rate_[i + mm::kCountingInputs]);
        }
        rates
            << QStringLiteral("%1 %2/s").arg(countName(i)).arg(rate_[i] * kNsPerSecond, 0, 'f', 1);
    }
    evidence << QStringLiteral("各计数在 %1 内的变化速率: ")
                        .arg(msText(second.sent[0] - first.sent[0])) +
                    rates.join(QStringLiteral(", "));
    return true;
}

std::int64_t ModuleCheck::allowance(int count, qint64 ns) const {
    // Twice the pulses the count's own rate brings in that time, and one for
    // a pulse that arrived as the clear went in.
    return std::int64_t(std::ceil(2 * rate_[count] * double(ns))) + 1;
}

bool ModuleCheck::waitForRise(Counts& counts, qint64 clearNs) {
    const qint64 started = clock_.nowNs();
    for (;;) {
        bool risen = true;
        for (int i = 0; i < kCounts; ++i) {
            // Within twice the allowance of 0, a cleared count and one left
            // alone read alike.
            risen = risen && (rate_[i] == 0 || std::llabs(signedCount(i, counts.value[i])) >
                                                   2 * allowance(i, clearNs));
        }
        if (risen || stop_ || clock_.nowNs() - started >= kRiseWaitMs * kNsPerMs) {
            return true;
        }
        pause(kInputPollMs);
        if (!readCounts(counts)) {
            return false;
        }
    }
}

void ModuleCheck::judgeClear(const QString& act, std::uint32_t targets, const Counts& before,
                             const Counts& after, QStringList& evidence, bool& failed,
                             int& judged) const {
    for (int i = 0; i < kCounts; ++i) {
        const qint64 ns = longest(before, after, i);
        const std::int64_t allowed = allowance(i, ns);
        const std::uint32_t was = before.value[i];
        const std::uint32_t now = after.value[i];
        if ((targets >> i & 1) == 0) {
            if (moved(i, was, now) > allowed) {
                evidence << QStringLiteral("%1: %2 也变了, %3 → %4, 应只多出至多 %5 个脉冲")
                                .arg(act, countName(i))
                                .arg(was)
                                .arg(now)
                                .arg(allowed);
                failed = true;
            }
            continue;
        }
        const QString what = targets == (1u << i) ? act : act + QStringLiteral(" ") + countName(i);
        if (std::llabs(signedCount(i, now)) > allowed) {
            evidence << QStringLiteral("%1: %2 → %3, %4 内的脉冲至多 %5 个: 未清零")
                            .arg(what)
                            .arg(was)
                            .arg(now)
                            .arg(msText(ns))
                            .arg(allowed);
            failed = true;
        } else if (std::llabs(signedCount(i, was)) <= 2 * allowed) {
            evidence << QStringLiteral("%1: 清零前 %2 已接近 0, 无法判断").arg(what).arg(was);
        } else {
            evidence << QStringLiteral("%1: %2 → %3").arg(what).arg(was).arg(now);
            ++judged;
        }
    }
}

Verdict ModuleCheck::counters(QStringList& evidence) {
    if (!measureRates(evidence)) {
        return missing(QStringLiteral("读计数"), evidence);
    }
    Counts counts;
    const qint64 readStarted = clock_.nowNs();
    if (!readCounts(counts)) {
        return missing(QStringLiteral("读计数"), evidence);
    }
    // A clear is a write and a read of the counts: about twice a read.
    const qint64 oneClear = 2 * (counts.answered[1] - readStarted);
    bool failed = false;
    int judged = 0;
    qint64 longestClear = 0;
    const auto clear = [&](const QString& act, std::uint32_t targets,
                           const std::function<bool()>& write) {
        const Counts before = counts;
        if (!write() || !readCounts(counts)) {
            return false;
        }
        judgeClear(act, targets, before, counts, evidence, failed, judged);
        longestClear = std::max(longestClear, longest(before, counts, kCounts - 1));
        return true;
    };
    if (!waitForRise(counts, oneClear)) {
        return missing(QStringLiteral("读计数"), evidence);
    }
    for (int i = 0; i < kCounts && !stop_; ++i) {
        const int x = i % mm::kCountingInputs;
        const int coil = (is16(i) ? mm::kClear16Coil : mm::kClear32Coil) + x;
        const QString act = QStringLiteral("线圈 %1 清 %2").arg(coil).arg(countName(i));
        if (!clear(act, 1u << i, [&] { return writeCoil(coil, true); })) {
            return missing(act, evidence);
        }
    }
    if (!waitForRise(counts, longestClear)) {
        return missing(QStringLiteral("读计数"), evidence);
    }
    const QString act = QStringLiteral("清零码后");
    if (!stop_ && !clear(act, (1u << kCounts) - 1,
                         [&] { return writeRegister(mm::kClearCodeRegister, mm::kClearCode); })) {
        return missing(QStringLiteral("寄存器 %1 写清零码").arg(mm::kClearCodeRegister), evidence);
    }
    if (failed) {
        return Verdict::Failed;
    }
    if (judged == 0) {
        evidence << QStringLiteral("计数不动或一直接近 0: 无法判断清零");
        return Verdict::Skipped;
    }
    return Verdict::Passed;
}

Verdict ModuleCheck::mode(QStringList& evidence) {
    std::uint16_t found = 0;
    if (!readHolding(mm::kModeRegister, found)) {
        return missing(QStringLiteral("读寄存器 %1").arg(mm::kModeRegister), evidence);
    }
    // The pulse rates, counted in counting mode, are what the frequencies must show.
    Verdict verdict = found == mm::kCountingMode
                          ? Verdict::Passed
                          : writeAndReadBack(mm::kModeRegister, mm::kCountingMode, evidence);
    Counts first;
    Counts second;
    if (verdict == Verdict::Passed) {
        if (!readCounts(first)) {
            verdict = missing(QStringLiteral("读计数"), evidence);
        } else {
            pause(kRateWindowMs);
            verdict = readCounts(second)
                          ? writeAndReadBack(mm::kModeRegister, mm::kFrequencyMode, evidence)
                          : missing(QStringLiteral("读计数"), evidence);
        }
    }
    bool told = false;
    if (verdict == Verdict::Passed) {
        pause(kFrequencyGateMs);
        std::uint16_t words[2 * mm::kCountingInputs] = {};
        const bool read = readInputRegisters(mm::kCount32Register + 2 * mm::kFrequencyValueOffset,
                                             2 * mm::kCountingInputs, words);
        if (!read) {
            verdict = missing(QStringLiteral("读频率"), evidence);
        }
        QStringList seen;
        for (int x = 0; x < mm::kCountingInputs && read; ++x) {
            const int i = mm::kCountingInputs + x;
            const double pulses = double(moved(i, first.value[i], second.value[i]));
            // The pulses came in at least `pulses` over the longest the
            // window may have been, at most over the shortest.
            const double longestS = double(longest(first, second, i)) / kNsPerSecond;
            const double low = pulses / longestS;
            const double high = pulses / (double(shortest(first, second, i)) / kNsPerSecond);
            const std::uint32_t hz = std::uint32_t(words[2 * x]) << 16 | words[2 * x + 1];
            // A count over the window is off by up to a pulse, a frequency over
            // the module's gate by up to 1 Hz; 5 % for the two clocks.
            const double tolerance = 1 / longestS + 1 + 0.05 * high;
            const double counted = (low + high) / 2;
            seen << QStringLiteral("X%1 %2 Hz (计数 %3/s)")
                        .arg(x + 1)
                        .arg(hz)
                        .arg(counted, 0, 'f', 1);
            if (double(hz) < low - tolerance || double(hz) > high + tolerance) {
                evidence << QStringLiteral("X%1 计数 %2/s, 频率读 %3 Hz, 相差超过 %4 Hz")
                                .arg(x + 1)
                                .arg(counted, 0, 'f', 1)
                                .arg(hz)
                                .arg(tolerance, 0, 'f', 1);
                verdict = Verdict::Failed;
            }
            told = told || low > tolerance;
        }
        evidence.prepend(QStringLiteral("寄存器 %1 = %2 时频率: ")
                             .arg(mm::kModeRegister)
                             .arg(mm::kFrequencyMode) +
                         seen.join(QStringLiteral(", ")));
    }
    const Verdict back = writeAndReadBack(mm::kModeRegister, found, evidence);
    if (back == Verdict::Passed) {
        evidence << QStringLiteral("寄存器 %1 写回 %2").arg(mm::kModeRegister).arg(found);
    } else if (verdict == Verdict::Passed) {
        verdict = back;
    }
    if (verdict == Verdict::Passed && !told) {
        evidence << QStringLiteral("各输入的脉冲太慢或没有, 与 0 Hz 分不开: 无法判断");
        return Verdict::Skipped;
    }
    return verdict;
}

Verdict ModuleCheck::inputs(QStringList& evidence) {
    std::uint16_t mode = 0;
    if (!readHolding(mm::kModeRegister, mode)) {
        return missing(QStringLiteral("读寄存器 %1").arg(mm::kModeRegister), evidence);
    }
    Verdict verdict = Verdict::Passed;
    // An input shows as a change of what is read, or (a frequency) as not 0.
    const auto watch = [&](const QString& ask, const QString& what, bool nonZeroShows,
                           const std::function<std::optional<std::uint32_t>()>& read) {
        if (onPrompt) {
            onPrompt(ask);
        }
        const std::optional<std::uint32_t> first = read();
        const qint64 started = clock_.nowNs();
        std::optional<std::uint32_t> now = first;
        while (now && !stop_) {
            if (*now != *first || (nonZeroShows && *now != 0)) {
                evidence
                    << QStringLiteral("%1: 看到变化 (%2 → %3)").arg(what).arg(*first).arg(*now);
                return;
            }
            if (clock_.nowNs() - started >= options_.inputWaitMs * kNsPerMs) {
                evidence << QStringLiteral("%1: %2 s 内未看到变化")
                                .arg(what)
                                .arg(options_.inputWaitMs / 1000);
                verdict = verdict == Verdict::Passed ? Verdict::Failed : verdict;
                return;
            }
            pause(kInputPollMs);
            now = read();
        }
        if (!now && !stop_) {
            verdict = missing(what, evidence);
        }
    };
    const auto wide = [&](int value) -> std::optional<std::uint32_t> {
        std::uint16_t words[2] = {};
        if (!readInputRegisters(mm::kCount32Register + 2 * value, 2, words)) {
            return std::nullopt;
        }
        return std::uint32_t(words[0]) << 16 | words[1];
    };
    for (int x = 0; x < mm::kCountingInputs && !stop_ && verdict != Verdict::LinkProblem; ++x) {
        // What the mode found shows of X(x+1): its frequency, its count, or
        // in up/down mode X2 counting X1's count down.
        QString what = QStringLiteral("X%1").arg(x + 1);
        int value = x;
        const bool frequency = mode == mm::kFrequencyMode;
        if (frequency) {
            value = mm::kFrequencyValueOffset + x;
            what += QStringLiteral(" (频率)");
        } else if (mode == mm::kUpDownMode && x == mm::kDownInput) {
            value = 0;
            what += QStringLiteral(" (X1 的计数)");
        }
        watch(QStringLiteral("给 X%1 加脉冲").arg(x + 1), what, frequency,
              [&] { return wide(value); });
    }
    for (int di = 0; di < mm::kDigitalInputs && !stop_ && verdict != Verdict::LinkProblem; ++di) {
        watch(QStringLiteral("闭合 DI%1").arg(di + 1), QStringLiteral("DI%1").arg(di + 1), false,
              [&]() -> std::optional<std::uint32_t> {
                  std::uint8_t bit = 0;
                  if (!transact([&] {
                          return driver_.readBits(options_.port, options_.address, kInputTable,
                                                  mm::kFirstDigitalInput + di, 1, &bit);
                      })) {
                      return std::nullopt;
                  }
                  return bit;
              });
    }
    return verdict;
}

bool ModuleCheck::transact(const std::function<DriverResult()>& call) {
    for (int attempt = 1;; ++attempt) {
        const DriverResult r = call();
        if (r && *r != MODBUSRTU_FAILED) {
            return true;
        }
        // An exception is the module's own answer; anything else (no reply, a
        // garbled one, a library without the call) says nothing of the module.
        const auto status = r ? driver_.linkStatus(options_.port) : std::nullopt;
        lastOnLine_ = !status || status->outcome != TQ7310_EXCEPTION;
        if (!lastOnLine_ || !r) {
            return false;
        }
        ++lineFailures_;
        if (attempt >= kTries || stop_) {
            return false;
        }
        ++retries_;
        resync();
    }
}

void ModuleCheck::resync() {
    // Holding-register reads of 2 to 12 registers: the check's own reads of
    // them are of 1, 13 and 16.
    const int count = 2 + resyncs_++ % 11;
    std::uint16_t values[mm::kConfigRegistersRead] = {};
    driver_.readRegisters(options_.port, options_.address, kHoldingRegisters, mm::kConfigRegister,
                          count, values);
}

Verdict ModuleCheck::missing(const QString& what, QStringList& evidence) {
    evidence << failure(what);
    return lastOnLine_ ? Verdict::LinkProblem : Verdict::Failed;
}

bool ModuleCheck::readConfig(Config& config) {
    return transact([&] {
        return driver_.readRegisters(options_.port, options_.address, kHoldingRegisters,
                                     mm::kConfigRegister, mm::kConfigRegistersShown, config.data());
    });
}

bool ModuleCheck::readCoils(Coils& coils) {
    return transact([&] {
        return driver_.readBits(options_.port, options_.address, kCoilTable, mm::kFirstCoil,
                                mm::kCoilsRead, coils.data());
    });
}

bool ModuleCheck::readHolding(int reg, std::uint16_t& value) {
    return transact([&] {
        return driver_.readRegisters(options_.port, options_.address, kHoldingRegisters, reg, 1,
                                     &value);
    });
}

bool ModuleCheck::readInputRegisters(int first, int count, std::uint16_t* values) {
    return transact([&] {
        return driver_.readRegisters(options_.port, options_.address, kInputRegisters, first, count,
                                     values);
    });
}

bool ModuleCheck::readCounts(Counts& counts) {
    std::uint16_t c16[mm::kCount16Values] = {};
    std::uint16_t c32[2 * mm::kCountingInputs] = {};
    counts.sent[0] = clock_.nowNs();
    if (!readInputRegisters(mm::kCount16Register, mm::kCount16Values, c16)) {
        return false;
    }
    counts.answered[0] = clock_.nowNs();
    counts.sent[1] = counts.answered[0];
    if (!readInputRegisters(mm::kCount32Register, 2 * mm::kCountingInputs, c32)) {
        return false;
    }
    counts.answered[1] = clock_.nowNs();
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        counts.value[x] = c16[x];
        counts.value[mm::kCountingInputs + x] = std::uint32_t(c32[2 * x]) << 16 | c32[2 * x + 1];
    }
    return true;
}

qint64 ModuleCheck::longest(const Counts& before, const Counts& after, int i) {
    const int block = is16(i) ? 0 : 1;
    return after.answered[block] - before.sent[block];
}

qint64 ModuleCheck::shortest(const Counts& before, const Counts& after, int i) {
    const int block = is16(i) ? 0 : 1;
    return std::max<qint64>(after.sent[block] - before.answered[block], kNsPerMs);
}

bool ModuleCheck::writeRegister(int reg, std::uint16_t value) {
    const int i = reg - mm::kConfigRegister;
    if (i >= 0 && i < mm::kConfigRegistersShown && value != foundConfig_[i]) {
        // Recorded before it is sent: a write whose reply was lost may have happened.
        written_[reg].push_back(value);
    }
    return transact(
        [&] { return driver_.writeRegisters(options_.port, options_.address, reg, 1, &value); });
}

bool ModuleCheck::writeCoil(int coil, bool on) {
    const int y = coil - mm::kFirstCoil;
    if (y >= 0 && y < mm::kOutputs) {
        switched_.insert(y);
    }
    const std::uint8_t bit = on ? 1 : 0;
    return transact(
        [&] { return driver_.writeCoils(options_.port, options_.address, coil, 1, &bit); });
}

Verdict ModuleCheck::writeAndReadBack(int reg, std::uint16_t value, QStringList& evidence) {
    std::uint16_t back = 0;
    if (!writeRegister(reg, value)) {
        return missing(QStringLiteral("寄存器 %1 写 %2").arg(reg).arg(value), evidence);
    }
    if (!readHolding(reg, back)) {
        return missing(QStringLiteral("读寄存器 %1").arg(reg), evidence);
    }
    if (back != value) {
        evidence
            << QStringLiteral("寄存器 %1 写 %2 得到确认, 读回 %3").arg(reg).arg(value).arg(back);
        return Verdict::Failed;
    }
    return Verdict::Passed;
}

QString ModuleCheck::failure(const QString& call) {
    QString text = call + QStringLiteral(": ");
    const auto status = driver_.linkStatus(options_.port);
    text += status ? outcomeText(status->outcome, status->exception_code, status->other_address,
                                 status->system_error)
                   : QStringLiteral("失败");
    std::vector<Tq7310Traffic> log(kTrafficRecords);
    const int n = driver_.readTraffic(options_.port, 0, log.data(), kTrafficRecords, nullptr);
    for (int i = n - 1; i >= 0; --i) {
        const Tq7310Traffic& t = log[std::size_t(i)];
        if (t.kind == TQ7310_TRAFFIC_EXCHANGE) {
            text += QStringLiteral("; 发 %1, 收 %2")
                        .arg(hexBytes(QByteArray(reinterpret_cast<const char*>(t.request),
                                                 t.request_length)),
                             t.reply_length > 0
                                 ? hexBytes(QByteArray(reinterpret_cast<const char*>(t.reply),
                                                       t.reply_length))
                                 : QStringLiteral("无"));
            break;
        }
    }
    return text;
}

bool ModuleCheck::answers() {
    std::uint16_t value = 0;
    return readHolding(mm::kConfigRegister, value);
}

bool ModuleCheck::restoreOnce(Config& config, Coils& coils, bool& readBack) {
    readBack = false;
    Coils nowCoils{};
    Config nowConfig{};
    if (!readCoils(nowCoils) || !readConfig(nowConfig)) {
        return false;
    }
    // The outputs first, while their functions still let the master switch them.
    for (const int y : switched_) {
        if (coilDriven(y) && nowCoils[y] != foundCoils_[y]) {
            writeCoil(mm::kFirstCoil + y, foundCoils_[y] != 0);
        }
    }
    for (const auto& [reg, values] : written_) {
        const int i = reg - mm::kConfigRegister;
        // A value the check never wrote is the module's own doing: left as it is.
        if (nowConfig[i] != foundConfig_[i] &&
            std::find(values.begin(), values.end(), nowConfig[i]) != values.end()) {
            writeRegister(reg, foundConfig_[i]);
        }
    }
    if (!readConfig(config) || !readCoils(coils)) {
        return false;
    }
    readBack = true;
    bool same = true;
    for (const auto& [reg, values] : written_) {
        const int i = reg - mm::kConfigRegister;
        same = same && (config[i] == foundConfig_[i] ||
                        std::find(values.begin(), values.end(), config[i]) == values.end());
    }
    for (const int y : switched_) {
        same = same && (!coilDriven(y) || coils[y] == foundCoils_[y]);
    }
    return same;
}

void ModuleCheck::restore(CheckReport& report) {
    Config config{};
    Coils coils{};
    bool readBack = false;
    const qint64 started = clock_.nowNs();
    while (!restoreOnce(config, coils, readBack) && changedAnything()) {
        const qint64 ms = (clock_.nowNs() - started) / kNsPerMs;
        if (ms >= kRestoreTryMs) {
            break;
        }
        if (onRestoring) {
            onRestoring(ms);
        }
        // Not cut short by a stop: putting back is what a stop asks for.
        clock_.sleep(kRetryPauseMs);
    }
    for (int i = 0; i < mm::kConfigRegistersShown; ++i) {
        const int reg = mm::kConfigRegister + i;
        PointState point{QStringLiteral("寄存器 %1").arg(reg), foundConfig_[i],
                         readBack ? std::optional<int>(config[i]) : std::nullopt};
        const auto written = written_.find(reg);
        const bool ours = written != written_.end();
        const bool wroteThis = ours && point.left &&
                               std::find(written->second.begin(), written->second.end(),
                                         *point.left) != written->second.end();
        if (point.left && *point.left != *point.found && !wroteThis) {
            report.selfChanged << QStringLiteral("模块自行改变：%1 原 %2, 现 %3")
                                      .arg(point.name)
                                      .arg(*point.found)
                                      .arg(*point.left);
        } else if (ours && (!point.left || *point.left != *point.found)) {
            point.notRestored = true;
            report.notRestored << QStringLiteral("%1 可能仍为测试值 %2")
                                      .arg(point.name)
                                      .arg(point.left ? *point.left : written->second.back());
        }
        report.points << point;
    }
    for (int y = 0; y < mm::kOutputs; ++y) {
        PointState point{QStringLiteral("线圈 %1 (Y%2)").arg(mm::kFirstCoil + y).arg(y + 1),
                         foundCoils_[y], readBack ? std::optional<int>(coils[y]) : std::nullopt};
        if (switched_.count(y) != 0 && coilDriven(y) && point.left != point.found) {
            point.notRestored = true;
            report.notRestored << QStringLiteral("Y%1 可能仍%2")
                                      .arg(y + 1)
                                      .arg(foundCoils_[y] != 0 ? "断开" : "接通");
        }
        report.points << point;
    }
}

bool ModuleCheck::coilDriven(int y) const {
    // An output in alarm function follows its count, not what was written.
    return y >= mm::kDoFunctions ||
           foundConfig_[mm::kDoFunctionRegister + 2 * y - mm::kConfigRegister] == mm::kDoCoilDriven;
}

void ModuleCheck::pause(int ms) {
    const qint64 started = clock_.nowNs();
    for (qint64 left = ms; !stop_ && left > 0; left = ms - (clock_.nowNs() - started) / kNsPerMs) {
        clock_.sleep(int(std::min<qint64>(50, left)));
    }
}
