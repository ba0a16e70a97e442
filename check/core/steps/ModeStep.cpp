#include "CheckSession.h"
#include "CheckStep.h"
#include "ConfigValues.h"

namespace mm = module_map;

namespace {

// A real module measures frequencies over a gate time before it reports any.
constexpr int kFrequencyGateMs = 1000;

Verdict mode(CheckSession& session, QStringList& evidence) {
    std::uint16_t found = 0;
    const Verdict read = session.readHolding(mm::kModeRegister, found, evidence);
    if (read != Verdict::Passed) {
        return read;
    }
    // The pulse rates, counted in counting mode, are what the frequencies must show.
    Verdict verdict =
        found == mm::kCountingMode
            ? Verdict::Passed
            : session.writeAndReadBack(mm::kModeRegister, mm::kCountingMode, evidence);
    Counts first;
    Counts second;
    if (verdict == Verdict::Passed) {
        if (!session.readCounts(first)) {
            verdict = session.missing(QStringLiteral("读计数"), evidence);
        } else {
            session.pause(kRateWindowMs);
            verdict =
                session.readCounts(second)
                    ? session.writeAndReadBack(mm::kModeRegister, mm::kFrequencyMode, evidence)
                    : session.missing(QStringLiteral("读计数"), evidence);
        }
    }
    bool told = false;
    if (verdict == Verdict::Passed) {
        session.pause(kFrequencyGateMs);
        std::uint16_t words[2 * mm::kCountingInputs] = {};
        const bool read = session.readInputRegisters(
            mm::kCount32Register + 2 * mm::kFrequencyValueOffset, 2 * mm::kCountingInputs, words);
        if (!read) {
            verdict = session.missing(QStringLiteral("读频率"), evidence);
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
    const Verdict back = session.writeAndReadBack(mm::kModeRegister, found, evidence);
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

}  // namespace

CheckStep modeStep() {
    return {QStringLiteral("频率模式"), mode};
}
