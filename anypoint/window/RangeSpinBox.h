#pragma once
// A number box that takes every digit typed: a number beyond its range is
// brought to the nearest end when the box is left, and says so, rather
// than the box refusing the keystroke without a word (999 read as 99).

#include <QSpinBox>

class RangeSpinBox : public QSpinBox {
    Q_OBJECT
  public:
    explicit RangeSpinBox(QWidget* parent = nullptr);

  signals:
    // `typed` was out of range and became `value`.
    void corrected(const QString& typed, int value);

  protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

  private:
    mutable QString corrected_;  // what was typed, until the box says so
};
