#include "FirstPointBox.h"

namespace anypoint {

FirstPointBox::FirstPointBox(QWidget* parent) : RangeSpinBox(parent) {
    setRange(1, 65536);
    setToolTip(QStringLiteral(
        "起始点，按本行的编号；也可按手册写法输入：0xxxx 线圈、1xxxx 离散输入、3xxxx 输入寄存器、"
        "4xxxx 保持寄存器（5 位到第 9999 点，6 位如 400001 到第 65536 点）"));
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] {
        if (const auto manual = readManualAddress(typed_)) {
            emit manualAddressTyped(typed_, *manual);
        }
        typed_.clear();
    });
}

void FirstPointBox::setBase(int base) {
    const int first = value() - base_;  // the same point, numbered anew
    base_ = base;
    setRange(base, 65535 + base);
    setValue(first + base);
}

QValidator::State FirstPointBox::validate(QString& input, int& pos) const {
    if (readManualAddress(input)) {
        typed_ = input;
        return QValidator::Acceptable;
    }
    typed_.clear();
    return RangeSpinBox::validate(input, pos);
}

void FirstPointBox::fixup(QString& input) const {
    if (const auto manual = readManualAddress(input)) {
        input = QString::number(manual->point - 1 + base_);
        return;
    }
    RangeSpinBox::fixup(input);
}

int FirstPointBox::valueFromText(const QString& text) const {
    if (const auto manual = readManualAddress(text)) {
        return manual->point - 1 + base_;
    }
    return RangeSpinBox::valueFromText(text);
}

}  // namespace anypoint
