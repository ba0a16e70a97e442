#pragma once
// The 5- and 6-digit point numbers of device manuals: the first digit names
// the table (0 coils, 1 discrete inputs, 3 input registers, 4 holding
// registers), the rest is the point from 1. "40001" is holding register 1,
// "400001" too; "465536" the last.

#include <QString>
#include <optional>

#include "PointRow.h"

namespace anypoint {

struct ManualAddress {
    Table table;
    int point;  // from 1
};

// What `typed` means in that notation, or nothing when it is not written so.
std::optional<ManualAddress> readManualAddress(const QString& typed);

// "40001 = 保持寄存器 第 1 点", the point numbered from `base`.
QString manualAddressText(const QString& typed, const ManualAddress& manual, int base);

}  // namespace anypoint
