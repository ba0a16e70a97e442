#pragma once
// A found row's words: what answered, why the search says so, and the
// points it gave back.

#include <QString>

#include "ModuleSearch.h"

namespace finder {

// "TQ7310 模块", "可能是 TQ7310 模块", "其他 Modbus 设备", "回显", bytes
// without a frame …; behind an echoing adapter it says so.
QString answerText(const Found& found);
// The evidence behind answerText.
QString whyText(const Found& found);
// Highest point on the left, as a row of switches is read; empty unless all
// four blocks were read back.
QString pointsText(const Found& found);

}  // namespace finder
