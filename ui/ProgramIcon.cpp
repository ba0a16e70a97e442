#include "ui/ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(20, 40, 90), qMax(1.0, s / 24)));
    p.setBrush(QColor(40, 110, 200));
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s / 6, s / 6);

    // A square pulse train across the middle, as a counting input sees it.
    QPainterPath pulses;
    const qreal low = s * 0.68, high = s * 0.32, step = s / 6;
    qreal x = s * 0.12;
    pulses.moveTo(x, low);
    for (int i = 0; i < 2; ++i) {
        pulses.lineTo(x += step * 0.5, low);
        pulses.lineTo(x, high);
        pulses.lineTo(x += step, high);
        pulses.lineTo(x, low);
    }
    pulses.lineTo(s * 0.88, low);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255), qMax(1.5, s / 12), Qt::SolidLine, Qt::SquareCap,
                  Qt::MiterJoin));
    p.drawPath(pulses);
    return pixmap;
}

}  // namespace

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        icon.addPixmap(drawIcon(size));
    }
    return icon;
}
