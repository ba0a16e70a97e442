#include "ElidedLabel.h"

#include <QPainter>
#include <QStyle>

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
}

QSize ElidedLabel::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) + 2 * margin(),
            QLabel::minimumSizeHint().height()};
}

void ElidedLabel::setDetail(const QString& detail) {
    detail_ = detail;
    setToolTip(detail);
    update();
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    const QRect room = contentsRect().marginsRemoved(QMargins(margin(), 0, margin(), 0));
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width());
    const QString tip = !detail_.isEmpty() ? detail_ : shown == text() ? QString() : text();
    if (toolTip() != tip) {
        setToolTip(tip);
    }
    QPainter painter(this);
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}
