#pragma once
// What a stretch over the curves holds, in the words its tooltip shows.

#include <QString>

#include "History.h"

namespace trend {

// The stretch of `stretches` that holds `ms`, or null.
const Stretch* stretchAt(const Stretches& stretches, qint64 ms);

// "读取失败 10:02:11–10:02:17：7 次读取中 5 次失败", or for an unread stretch
// why nothing was read; times on the wall clock, `wallOffsetMs` after the
// history's moments.
QString stretchText(const Stretch& stretch, Stretch::Kind kind, const Reads& reads,
                    qint64 wallOffsetMs);

}  // namespace trend
