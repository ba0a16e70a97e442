#pragma once
// What a screen reader calls each control of the main window. The names come
// from the captions the layout already shows: a value box or editor takes the
// caption under it or on its left, an option button its frame's title, a
// button that only says what it does ("修改", "清零16位") what it acts on.

#include <QHash>
#include <QString>
#include <QWidget>
#include <vector>

#include "Layout.h"

struct AccessibleText {
    QString name;
    QString description{};
    // The caption label whose words the name takes: it has the control as
    // buddy and is left out of what a screen reader reads.
    QString caption{};
};

// The accessible name and description of every shown control that needs more
// than its own caption, by objectName; hidden controls get none.
QHash<QString, AccessibleText> accessibleTexts(const std::vector<ControlSpec>& layout);

// Gives the built controls their names and descriptions, and each caption
// the control it names as its buddy.
void nameControls(const QHash<QString, QWidget*>& controls, const std::vector<ControlSpec>& layout);
