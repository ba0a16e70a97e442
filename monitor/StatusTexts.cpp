#include "StatusTexts.h"

#include "Colours.h"

namespace {

QString stateWord(bool closed) {
    return closed ? QStringLiteral("闭合") : QStringLiteral("断开");
}

QString inputSignal(int label) {
    return label < 4 ? QStringLiteral("X%1").arg(label + 1) : QStringLiteral("DI%1").arg(label - 3);
}

}  // namespace

Indication inputIndication(int label, bool closed) {
    return {QStringLiteral("输入") + inputSignal(label) + stateWord(closed),
            closed ? colours::kInputClosed : colours::kInputOpen};
}

Indication outputIndication(int label, bool closed) {
    return {QStringLiteral("输出Y%1").arg(label + 1) + stateWord(closed),
            closed ? colours::kOutputClosed : colours::kOutputOpen};
}
