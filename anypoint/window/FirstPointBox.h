#pragma once
// The first point of a row, typed as the row numbers its points (from 1 or
// from 0) or in the 5- and 6-digit notation of device manuals: "40001"
// chooses holding register 1, and the box says so.

#include "ManualAddress.h"
#include "RangeSpinBox.h"

namespace anypoint {

class FirstPointBox : public RangeSpinBox {
    Q_OBJECT
  public:
    explicit FirstPointBox(QWidget* parent = nullptr);

    // Points numbered from `base` (1 or 0): the range follows.
    void setBase(int base);
    int base() const { return base_; }

  signals:
    // `typed` was in the manuals' notation: the table it names, and the point.
    void manualAddressTyped(const QString& typed, const ManualAddress& manual);

  protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    int valueFromText(const QString& text) const override;

  private:
    int base_ = 1;
    mutable QString typed_;  // the last notation typed, until the box is left
};

}  // namespace anypoint
