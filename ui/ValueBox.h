#pragma once
// A bordered label showing a value the module reports. A screen reader names
// it by the caption beside it (see AccessibleNames), reads the value as its
// text and is told when the value changes.

#include <QLabel>

class QAccessibleInterface;

class ValueBox : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

    // Shows `value`, telling a screen reader what changed.
    void showValue(const QString& value);
};

// What a screen reader reads of `box`.
QAccessibleInterface* accessibleValueBox(ValueBox* box);
