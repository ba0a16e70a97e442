#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "CheckSession.h"
#include "CheckStep.h"

namespace mm = module_map;

namespace {

// How long the counts are given to rise far enough from 0 for a clear to show.
constexpr int kRiseWaitMs = 3000;

// Each clear judged against the pulses per ns each count moved by, measured
// on itself before any clear.
class Clears {
  public:
    explicit Clears(CheckSession& session) : session_(session) {}
    Verdict run(QStringList& evidence);

  private:
    bool measureRates(QStringList& evidence);
    std::int64_t allowance(int count, qint64 ns) const;
    // Waits until each moving count is far enough from 0 for a clear to
    // show, or a while; false when a read failed.
    bool waitForRise(Counts& counts, qint64 clearNs);
    // Judges a clear of the counts in `targets` between `before` and `after`.
    void judge(const QString& act, std::uint32_t targets, const Counts& before, const Counts& after,
               QStringList& evidence);

    CheckSession& session_;
    std::array<double, kCounts> rate_{};
    bool failed_ = false;
    int judged_ = 0;
};

bool Clears::measureRates(QStringList& evidence) {
    Counts first;
    Counts second;
    if (!session_.readCounts(first)) {
        return false;
    }
    session_.pause(kRateWindowMs);
    if (!session_.readCounts(second)) {
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

std::int64_t Clears::allowance(int count, qint64 ns) const {
    // Twice the pulses the count's own rate brings in that time, and one for
    // a pulse that arrived as the clear went in.
    return std::int64_t(std::ceil(2 * rate_[count] * double(ns))) + 1;
}

bool Clears::waitForRise(Counts& counts, qint64 clearNs) {
    const qint64 started = session_.clock().nowNs();
    for (;;) {
        bool risen = true;
        for (int i = 0; i < kCounts; ++i) {
            // Within twice the allowance of 0, a cleared count and one left
            // alone read alike.
            risen = risen && (rate_[i] == 0 || std::llabs(signedCount(i, counts.value[i])) >
                                                   2 * allowance(i, clearNs));
        }
        if (risen || session_.stopped() ||
            session_.clock().nowNs() - started >= kRiseWaitMs * kNsPerMs) {
            return true;
        }
        session_.pause(kInputPollMs);
        if (!session_.readCounts(counts)) {
            return false;
        }
    }
}

void Clears::judge(const QString& act, std::uint32_t targets, const Counts& before,
                   const Counts& after, QStringList& evidence) {
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
                failed_ = true;
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
            failed_ = true;
        } else if (std::llabs(signedCount(i, was)) <= 2 * allowed) {
            evidence << QStringLiteral("%1: 清零前 %2 已接近 0, 无法判断").arg(what).arg(was);
        } else {
            evidence << QStringLiteral("%1: %2 → %3").arg(what).arg(was).arg(now);
            ++judged_;
        }
    }
}

Verdict Clears::run(QStringList& evidence) {
    if (!measureRates(evidence)) {
        return session_.missing(QStringLiteral("读计数"), evidence);
    }
    Counts counts;
    const qint64 readStarted = session_.clock().nowNs();
    if (!session_.readCounts(counts)) {
        return session_.missing(QStringLiteral("读计数"), evidence);
    }
    // A clear is a write and a read of the counts: about twice a read.
    const qint64 oneClear = 2 * (counts.answered[1] - readStarted);
    qint64 longestClear = 0;
    const auto clear = [&](const QString& act, std::uint32_t targets,
                           const std::function<bool()>& write) {
        const Counts before = counts;
        if (!write() || !session_.readCounts(counts)) {
            return false;
        }
        judge(act, targets, before, counts, evidence);
        longestClear = std::max(longestClear, longest(before, counts, kCounts - 1));
        return true;
    };
    if (!waitForRise(counts, oneClear)) {
        return session_.missing(QStringLiteral("读计数"), evidence);
    }
    for (int i = 0; i < kCounts && !session_.stopped(); ++i) {
        const int x = i % mm::kCountingInputs;
        const int coil = (is16(i) ? mm::kClear16Coil : mm::kClear32Coil) + x;
        const QString act = QStringLiteral("线圈 %1 清 %2").arg(coil).arg(countName(i));
        if (!clear(act, 1u << i, [&] { return session_.writeCoil(coil, true); })) {
            return session_.missing(act, evidence);
        }
    }
    if (!waitForRise(counts, longestClear)) {
        return session_.missing(QStringLiteral("读计数"), evidence);
    }
    const QString act = QStringLiteral("清零码后");
    if (!session_.stopped() && !clear(act, (1u << kCounts) - 1, [&] {
            return session_.writeRegister(mm::kClearCodeRegister, mm::kClearCode);
        })) {
        return session_.missing(QStringLiteral("寄存器 %1 写清零码").arg(mm::kClearCodeRegister),
                                evidence);
    }
    if (failed_) {
        return Verdict::Failed;
    }
    if (judged_ == 0) {
        evidence << QStringLiteral("计数不动或一直接近 0: 无法判断清零");
        return Verdict::Skipped;
    }
    return Verdict::Passed;
}

Verdict counters(CheckSession& session, QStringList& evidence) {
    return Clears(session).run(evidence);
}

}  // namespace

CheckStep countersStep() {
    return {QStringLiteral("计数"), counters, [](const CheckOptions& options) {
                return options.keepCounts ? QStringLiteral("按 --keep-counts 保留计数") : QString();
            }};
}
