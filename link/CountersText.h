#pragma once
// The port's failures by kind and the spread of its round trips, in the
// status line's words: for the counts' tooltip and 通讯记录's 统计 line.

#include <QString>

#include "ModbusRTU.h"

// Counts since `since` was taken (a reset); round trips since the open.
Tq7310LinkCounters countsSince(const Tq7310LinkCounters& now, const Tq7310LinkCounters& since);

// "通讯 12 次  失败 3 次：超时 2  坏帧 1；往返 9 次：最小 0.1  中位 0.2  95% 0.4
// 最大 3.1 ms …". Kinds that did not happen are left out.
QString countersBreakdown(const Tq7310LinkCounters& counters);
