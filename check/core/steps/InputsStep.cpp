#include <optional>

#include "CheckSession.h"
#include "CheckStep.h"
#include "ConfigValues.h"

namespace mm = module_map;

namespace {

Verdict inputs(CheckSession& session, QStringList& evidence) {
    std::uint16_t mode = 0;
    const Verdict read = session.readHolding(mm::kModeRegister, mode, evidence);
    if (read != Verdict::Passed) {
        return read;
    }
    Verdict verdict = Verdict::Passed;
    const int waitMs = session.options().inputWaitMs;
    // An input shows as a change of what is read, or (a frequency) as not 0.
    const auto watch = [&](const QString& ask, const QString& what, bool nonZeroShows,
                           const std::function<std::optional<std::uint32_t>()>& read) {
        session.ask(ask);
        const std::optional<std::uint32_t> first = read();
        const qint64 started = session.clock().nowNs();
        std::optional<std::uint32_t> now = first;
        while (now && !session.stopped()) {
            if (*now != *first || (nonZeroShows && *now != 0)) {
                evidence
                    << QStringLiteral("%1: 看到变化 (%2 → %3)").arg(what).arg(*first).arg(*now);
                return;
            }
            if (session.clock().nowNs() - started >= waitMs * kNsPerMs) {
                evidence << QStringLiteral("%1: %2 s 内未看到变化").arg(what).arg(waitMs / 1000);
                verdict = verdict == Verdict::Passed ? Verdict::Failed : verdict;
                return;
            }
            session.pause(kInputPollMs);
            now = read();
        }
        if (!now && !session.stopped()) {
            verdict = session.missing(what, evidence);
        }
    };
    const auto wide = [&](int value) -> std::optional<std::uint32_t> {
        std::uint16_t words[2] = {};
        if (!session.readInputRegisters(mm::kCount32Register + 2 * value, 2, words)) {
            return std::nullopt;
        }
        return std::uint32_t(words[0]) << 16 | words[1];
    };
    const auto going = [&] { return !session.stopped() && verdict != Verdict::LinkProblem; };
    for (int x = 0; x < mm::kCountingInputs && going(); ++x) {
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
    for (int di = 0; di < mm::kDigitalInputs && going(); ++di) {
        watch(QStringLiteral("闭合 DI%1").arg(di + 1), QStringLiteral("DI%1").arg(di + 1), false,
              [&]() -> std::optional<std::uint32_t> {
                  std::uint8_t bit = 0;
                  if (!session.readDigitalInput(di, bit)) {
                      return std::nullopt;
                  }
                  return bit;
              });
    }
    return verdict;
}

}  // namespace

CheckStep inputsStep() {
    return {QStringLiteral("输入"), inputs, [](const CheckOptions& options) {
                return options.inputs ? QString()
                                      : QStringLiteral("未给 --inputs: 需要有人在现场操作输入");
            }};
}
