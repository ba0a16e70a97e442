#include "ManualAddress.h"

namespace anypoint {

std::optional<ManualAddress> readManualAddress(const QString& typed) {
    const QString t = typed.trimmed();
    bool digits = !t.isEmpty();
    for (QChar c : t) {
        digits = digits && c.isDigit() && c.unicode() < 0x80;
    }
    if (!digits || (t.size() != 5 && t.size() != 6)) {
        return std::nullopt;
    }
    const Table tables[] = {Table::Coils, Table::DiscreteInputs, Table::Coils,
                            Table::InputRegisters, Table::HoldingRegisters};
    const int digit = t.front().digitValue();
    const int point = t.mid(1).toInt();
    const int last = t.size() == 5 ? 9999 : 65536;
    if (digit == 2 || digit > 4 || point < 1 || point > last) {
        return std::nullopt;
    }
    return ManualAddress{tables[digit], point};
}

QString manualAddressText(const QString& typed, const ManualAddress& manual, int base) {
    return QStringLiteral("%1 = %2 第 %3 点")
        .arg(typed.trimmed(), tableWord(manual.table))
        .arg(manual.point - 1 + base);
}

}  // namespace anypoint
