#include "ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace {

const QString kEllipsis = QStringLiteral("…");

}  // namespace

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
}

QSize ElidedLabel::minimumSizeHint() const {
    const QString least = elidedPart_ ? withPartIn(0) : kEllipsis;
    return {fontMetrics().horizontalAdvance(least) + 2 * margin(),
            QLabel::minimumSizeHint().height()};
}

void ElidedLabel::setDetail(const QString& detail) {
    detail_ = detail;
    setToolTip(detail);
    update();
}

void ElidedLabel::setElidedPart(const QString& part) {
    elidedPart_ = part;
    updateGeometry();
    update();
}

QString ElidedLabel::withPartIn(int partRoom) const {
    const QString& part = *elidedPart_;
    const int at = part.isEmpty() ? -1 : static_cast<int>(text().indexOf(part));
    if (at < 0) {
        return text();
    }
    QString shown = fontMetrics().elidedText(part, Qt::ElideMiddle, partRoom);
    if (shown.isEmpty()) {
        shown = kEllipsis;  // less room than the ellipsis takes: the rest still shows
    }
    return QString(text()).replace(at, part.size(), shown);
}

QString ElidedLabel::shownText() const {
    const int room = contentsRect().width() - 2 * margin();
    if (!elidedPart_) {
        return fontMetrics().elidedText(text(), Qt::ElideMiddle, room);
    }
    // The rest measured as drawn beside the least of the part, so that the
    // label at its minimum width shows exactly that.
    const int rest =
        fontMetrics().horizontalAdvance(withPartIn(0)) - fontMetrics().horizontalAdvance(kEllipsis);
    return withPartIn(room - rest);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    const QRect room = contentsRect().marginsRemoved(QMargins(margin(), 0, margin(), 0));
    const QString shown = shownText();
    const QString tip = !detail_.isEmpty() ? detail_ : shown == text() ? QString() : text();
    if (toolTip() != tip) {
        setToolTip(tip);
    }
    QPainter painter(this);
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}
