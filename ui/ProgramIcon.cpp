#include "ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QImage programIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
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
    return image;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : kProgramIconSizes) {
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    }
    return icon;
}
