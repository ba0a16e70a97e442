#pragma once
// What a check of a module found: each step's verdict with the values that
// show why, and every point it may change as found and as left.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// LinkProblem: the line kept the step from gathering its evidence; it says
// nothing of the module either way.
enum class Verdict { Passed, Failed, Skipped, LinkProblem };

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
    bool notRestored = false;
};

struct CheckReport {
    bool answered = false;  // the module answered the first reads: the check ran
    bool stopped = false;   // asked to stop before the end
    QList<StepResult> steps;
    QList<PointState> points;
    // What the check changed and could not verify back, with what it may
    // still hold: "寄存器 6 可能仍为测试值 101", "Y2 可能仍接通".
    QStringList notRestored;
    // Points that hold neither what was found nor what the check wrote:
    // "模块自行改变：寄存器 8 原 200, 现 999". Left as they are.
    QStringList selfChanged;
    int lineFailures = 0;  // transactions the line lost or garbled
    int retries = 0;       // of them tried again
    qint64 restoreMs = 0;  // how long putting back took
};

// 0 all passed, 1 the module answered wrongly, 2 could not run or the line
// kept a step from its evidence, 3 could not be put back.
int exitStatusOf(const CheckReport& report);
