#include "RangeSpinBox.h"

#include <algorithm>

RangeSpinBox::RangeSpinBox(QWidget* parent) : QSpinBox(parent) {
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] {
        if (!corrected_.isEmpty()) {
            emit corrected(corrected_, value());
            corrected_.clear();
        }
    });
}

QValidator::State RangeSpinBox::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    bool number = false;
    input.toLongLong(&number);
    // Kept while typing; brought into range on leaving.
    return state == QValidator::Invalid && number ? QValidator::Intermediate : state;
}

void RangeSpinBox::fixup(QString& input) const {
    bool number = false;
    const qlonglong typed = input.toLongLong(&number);
    if (number && (typed < minimum() || typed > maximum())) {
        corrected_ = input;
        input = QString::number(std::clamp<qlonglong>(typed, minimum(), maximum()));
    }
}
