#pragma once
// After each read of the polls, the boxes it fills are marked: current
// when the read answered, old (greyed, "读于 …（读取失败：…）") when it
// did not, so a value the module no longer confirms never looks live. What
// the boxes show is left as the polls put it.

#include <QHash>
#include <QString>

#include "PollTicks.h"
#include "StatusPoll.h"

class QWidget;

using Controls = QHash<QString, QWidget*>;

// `failure` says why a read that did not answer failed.
void markStatusGroup(const Controls& controls, StatusPoll::Group group, bool answered,
                     const QDateTime& at, const QString& failure);
void markCounterTick(const Controls& controls, const CounterTick& tick, const QString& failure);

// Every value box of `window` is old for `why`.
void markAllOld(const QWidget* window, const QString& why);
