#pragma once
// A found row's words: what answered, and the points it gave back.

#include <QString>

#include "ModuleSearch.h"

namespace finder {

QString answerText(const Found& found);
// Highest point on the left, as a row of switches is read; empty for
// anything but the module.
QString pointsText(const Found& found);

}  // namespace finder
