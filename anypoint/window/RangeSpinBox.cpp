#include "RangeSpinBox.h"

RangeSpinBox::RangeSpinBox(QWidget* parent) : QSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] {
        if (!typed_.isEmpty() && typed_ != QString::number(value())) {
            emit corrected(typed_, value());
        }
        typed_.clear();
    });
}

QValidator::State RangeSpinBox::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    bool number = false;
    const int typed = input.toInt(&number);
    typed_ = number && (typed < minimum() || typed > maximum()) ? input : QString();
    // Kept while typing; brought into range on leaving.
    return state == QValidator::Invalid && number ? QValidator::Intermediate : state;
}
