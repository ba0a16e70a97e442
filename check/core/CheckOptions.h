#pragma once
// Which module a check talks to and which of its steps run.

#include <QStringList>

struct CheckOptions {
    int port = 1;
    int address = 1;
    bool inputs = false;      // ask a person to drive each input
    int inputWaitMs = 30000;  // how long the person has for each input
    bool keepCounts = false;  // skip the step that clears the counts
    QStringList only;         // the steps to run by name; empty: all
};
