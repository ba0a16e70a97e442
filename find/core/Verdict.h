#pragma once
// What four blocks read back say about the device that sent them, graded by
// the evidence: the module, maybe the module, or another device. Each grade
// comes with the reason, so a row can say why.

#include <QString>

#include "ModbusRTU.h"

namespace finder {

enum class Grade {
    Module,       // the described points fit, the rest is 0, and not all is 0
    MaybeModule,  // the described points fit, but the rest carries no evidence or disagrees
    Other,        // a block refused, or a described point out of the module's range
};

struct Verdict {
    Grade grade = Grade::Other;
    QString why;
};

// "0B": an exception code as the protocol's documents write it.
QString exceptionHex(int code);

// For a probe whose first read answered (outcome OK).
Verdict judge(const Tq7310Probe& points);

}  // namespace finder
