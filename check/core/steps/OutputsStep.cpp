#include <QList>

#include "CheckSession.h"
#include "CheckStep.h"
#include "ConfigValues.h"

namespace mm = module_map;

namespace {

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

Verdict outputs(CheckSession& session, QStringList& evidence) {
    CheckSession::Config present{};
    Verdict verdict = session.readConfig(present, evidence);
    if (verdict != Verdict::Passed) {
        return verdict;
    }
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
            worst(session.writeAndReadBack(reg, mm::kDoCoilDriven, evidence));
            switched << reg;
        }
    }
    CheckSession::Coils base{};
    if (verdict == Verdict::Passed && !session.readCoils(base)) {
        worst(session.missing(QStringLiteral("读线圈 1..16"), evidence));
    }
    CheckSession::Coils expected = base;
    int tried = 0;
    for (int y = 0; y < mm::kOutputs && verdict == Verdict::Passed && !session.stopped(); ++y) {
        for (const bool on : {true, false}) {
            const QString act = QStringLiteral("Y%1 %2").arg(y + 1).arg(on ? "接通" : "断开");
            CheckSession::Coils now{};
            if (!session.writeCoil(mm::kFirstCoil + y, on) || !session.readCoils(now)) {
                worst(session.missing(act, evidence));
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
            session.writeCoil(mm::kFirstCoil + y, true);
        }
    }
    for (const int reg : switched) {
        const Verdict back =
            session.writeAndReadBack(reg, present[reg - mm::kConfigRegister], evidence);
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

}  // namespace

CheckStep outputsStep() {
    return {QStringLiteral("输出"), outputs};
}
