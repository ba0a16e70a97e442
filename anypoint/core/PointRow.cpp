#include "PointRow.h"

#include "ManualAddress.h"

#include <algorithm>
#include <iterator>

namespace anypoint {

QString notationHint(const PointRow& row) {
    if (!row.failed || !row.outcome.contains(QStringLiteral("异常应答 02"))) {
        return {};
    }
    const QString typed = QString::number(shownPoint(row, 0));
    const auto manual = readManualAddress(typed);
    if (!manual) {
        return {};
    }
    return QStringLiteral("本行的点从 %1 编号：%2 若是手册的写法，即%3 第 %4 点")
        .arg(row.base)
        .arg(typed, tableWord(manual->table))
        .arg(manual->point);
}

int pointsPerValue(const PointRow& row) {
    if (isBitTable(row.table)) {
        return 1;
    }
    const int per = registersPerValue(row.format);
    return per == 0 ? row.count : per;
}

int valueCount(const PointRow& row) {
    const int per = pointsPerValue(row);
    return (row.count + per - 1) / per;
}

PointLabel labelOf(const PointRow& row, int index) {
    return index >= 0 && index < static_cast<int>(row.labels.size())
               ? row.labels[static_cast<std::size_t>(index)]
               : PointLabel{};
}

int shownPoint(const PointRow& row, int index) {
    return row.first + index * pointsPerValue(row) - 1 + row.base;
}

QString pointTitle(const PointRow& row, int index) {
    const QString name = labelOf(row, index).name;
    return !name.isEmpty() ? name
                           : QStringLiteral("从站%1 %2 第 %3 点")
                                 .arg(row.address)
                                 .arg(tableWord(row.table))
                                 .arg(shownPoint(row, index));
}

QString pointKey(const PointRow& row, int index) {
    return QStringLiteral("%1/%2/%3/%4/%5")
        .arg(row.address)
        .arg(static_cast<int>(row.table))
        .arg(row.first)
        .arg(static_cast<int>(row.format))
        .arg(index);
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

QString tableWord(Table table) {
    return tableName(table).section(QLatin1Char(' '), 0, 0);
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
    settings.base = row.base;
    settings.labels = row.labels;
    settings.waitMs = row.waitMs;
    settings.retries = row.retries;
    return settings;
}

}  // namespace anypoint
