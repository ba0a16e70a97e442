#pragma once
// A bordered label showing a value the module reports. A screen reader names
// it by the caption beside it (see AccessibleNames), reads the value as its
// text and is told when the value changes. A value read before "关闭", a
// module check or a read that failed stays, greyed, and its tooltip, which a
// screen reader reads as its description, says when it was read and why it
// is not current.

#include <QDateTime>
#include <QLabel>
#include <optional>

#include "Colours.h"

class QAccessibleInterface;

class ValueBox : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

    // Shows `value`, telling a screen reader what changed.
    void showValue(const QString& value);
    // The value shown was read at `at`: drawn as current.
    void markRead(const QDateTime& at);
    // The value shown is no longer current: the link closed, the polls
    // stopped or the read failed; `why` says which. A state label's colour
    // says a state, so it takes `background` until the next read shows one.
    void markOld(const QString& why, std::optional<Rgb> background = std::nullopt);

  private:
    void setNote(const QString& note);

    QDateTime readAt_;
    std::optional<QColor> ownColour_;  // the text's colour, while greyed
};

// What a screen reader reads of `box`.
QAccessibleInterface* accessibleValueBox(ValueBox* box);
