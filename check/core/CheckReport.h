#pragma once
// What a check of a module found: each step's verdict with the values that
// show why, and every point it may change as found and as left.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

enum class Verdict { Passed, Failed, Skipped };

struct StepResult {
    QString name;
    Verdict verdict = Verdict::Skipped;
    QStringList evidence;
    qint64 ms = 0;
};

// A holding register or a coil the check may change.
struct PointState {
    QString name;
    std::optional<int> found;
    std::optional<int> left;  // empty: could not be read at the end
};

struct CheckReport {
    bool answered = false;  // the module answered the first reads: the check ran
    bool stopped = false;   // asked to stop before the end
    QList<StepResult> steps;
    QList<PointState> points;
    QStringList notRestored;  // the points left other than found
};

// 0 all passed, 1 a step failed, 2 could not run, 3 could not be put back.
int exitStatusOf(const CheckReport& report);
