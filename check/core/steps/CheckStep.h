#pragma once
// A step of the check is a function of the session, with the name it is
// reported and chosen (--only) by and, where options can leave it out, why
// they do. The engine runs them in the order below, each at most once.

#include <QString>
#include <QStringList>

#include "CheckOptions.h"
#include "CheckReport.h"

class CheckSession;

struct CheckStep {
    QString name;
    Verdict (*run)(CheckSession& session, QStringList& evidence) = nullptr;
    // Empty when the options keep the step.
    QString (*leftOut)(const CheckOptions& options) = nullptr;
};

CheckStep linkStep();           // 通信: the panel's reads, timed
CheckStep configurationStep();  // 配置: each register written, read back, put back
CheckStep outputsStep();        // 输出: each output on and off, the other coils unmoved
CheckStep countersStep();       // 计数: each clear coil and the clear code
CheckStep modeStep();           // 频率模式: frequencies against the counted rates
CheckStep inputsStep();         // 输入: each input as a person drives it
