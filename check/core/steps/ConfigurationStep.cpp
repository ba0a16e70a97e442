#include "CheckSession.h"
#include "CheckStep.h"
#include "ConfigValues.h"

namespace mm = module_map;

namespace {

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

Verdict configuration(CheckSession& session, QStringList& evidence) {
    CheckSession::Config present{};
    Verdict verdict = session.readConfig(present, evidence);
    if (verdict != Verdict::Passed) {
        return verdict;
    }
    QStringList done;
    for (int i = 0; i < mm::kConfigRegistersShown && !session.stopped(); ++i) {
        const int reg = mm::kConfigRegister + i;
        const std::uint16_t test = testValue(reg, present[i]);
        Verdict v = session.writeAndReadBack(reg, test, evidence);
        if (v != Verdict::LinkProblem) {
            const Verdict back = session.writeAndReadBack(reg, present[i], evidence);
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

}  // namespace

CheckStep configurationStep() {
    return {QStringLiteral("配置"), configuration};
}
