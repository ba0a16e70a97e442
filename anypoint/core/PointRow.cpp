#include "PointRow.h"

#include <algorithm>
#include <iterator>

namespace anypoint {

QString notationHint(const PointRow& row) {
    if (!row.failed || !row.outcome.contains(QStringLiteral("异常应答 02"))) {
        return {};
    }
    const int scale = row.first > 100000 ? 100000 : 10000;
    const int point = row.first % scale;
    const Table tables[] = {Table::Coils, Table::DiscreteInputs, Table::Coils,
                            Table::InputRegisters, Table::HoldingRegisters};
    const int digit = row.first / scale;
    if (row.first <= 10000 || point == 0 || digit < 1 || digit > 4 || digit == 2) {
        return {};
    }
    return QStringLiteral("本窗口的点从 1 编号：%1 若是手册的写法，即%2 第 %3 点")
        .arg(row.first)
        .arg(tableName(tables[digit]).section(QLatin1Char(' '), 0, 0))
        .arg(point);
}

QString tableName(Table table) {
    switch (table) {
        case Table::Coils:
            return QStringLiteral("线圈 01");
        case Table::DiscreteInputs:
            return QStringLiteral("离散输入 02");
        case Table::HoldingRegisters:
            return QStringLiteral("保持寄存器 03");
        case Table::InputRegisters:
            return QStringLiteral("输入寄存器 04");
    }
    return {};
}

bool isBitTable(Table table) {
    return table == Table::Coils || table == Table::DiscreteInputs;
}

bool isWritable(Table table) {
    return table == Table::Coils || table == Table::HoldingRegisters;
}

int maxCount(Table table) {
    // What one request's reply can carry (Modbus application protocol 1.1b3).
    return isBitTable(table) ? 2000 : 125;
}

bool isOfferedPeriod(int ms) {
    return std::find(std::begin(kPeriodsMs), std::end(kPeriodsMs), ms) != std::end(kPeriodsMs);
}

PointRow settingsOf(const PointRow& row) {
    PointRow settings;
    settings.address = row.address;
    settings.table = row.table;
    settings.first = row.first;
    settings.count = row.count;
    settings.format = row.format;
    settings.periodMs = row.periodMs;
    return settings;
}

}  // namespace anypoint
