#include "ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// The icon's shapes at `size` pixels, shared by the pixel and the SVG forms.
struct IconShapes {
    QRectF face;
    qreal corner;
    qreal faceLine;
    QList<QPointF> pulses;  // a square pulse train across the middle
    qreal pulseLine;
};

IconShapes shapesAt(qreal s) {
    IconShapes shapes{
        QRectF(0.5, 0.5, s - 1, s - 1), s / 6, qMax(1.0, s / 24), {}, qMax(1.5, s / 12)};
    const qreal low = s * 0.68, high = s * 0.32, step = s / 6;
    qreal x = s * 0.12;
    shapes.pulses << QPointF(x, low);
    for (int i = 0; i < 2; ++i) {
        x += step * 0.5;
        shapes.pulses << QPointF(x, low) << QPointF(x, high);
        x += step;
        shapes.pulses << QPointF(x, high) << QPointF(x, low);
    }
    shapes.pulses << QPointF(s * 0.88, low);
    return shapes;
}

const QColor kFaceLine(20, 40, 90);
const QColor kFace(40, 110, 200);
const QColor kPulse(255, 255, 255);

}  // namespace

QImage programIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const IconShapes shapes = shapesAt(size);
    p.setPen(QPen(kFaceLine, shapes.faceLine));
    p.setBrush(kFace);
    p.drawRoundedRect(shapes.face, shapes.corner, shapes.corner);

    // As a counting input sees it.
    QPainterPath pulses;
    pulses.addPolygon(QPolygonF(shapes.pulses));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kPulse, shapes.pulseLine, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(pulses);
    return image;
}

QByteArray programIconSvg() {
    const int size = 256;
    const IconShapes shapes = shapesAt(size);
    QStringList points;
    for (const QPointF& point : shapes.pulses) {
        points << QStringLiteral("%1,%2").arg(point.x()).arg(point.y());
    }
    return QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
               "viewBox=\"0 0 %1 %1\">\n"
               "  <rect x=\"%2\" y=\"%2\" width=\"%3\" height=\"%3\" rx=\"%4\" fill=\"%5\" "
               "stroke=\"%6\" stroke-width=\"%7\"/>\n"
               "  <polyline points=\"%8\" fill=\"none\" stroke=\"%9\" stroke-width=\"%10\" "
               "stroke-linecap=\"square\" stroke-linejoin=\"miter\"/>\n"
               "</svg>\n")
        .arg(size)
        .arg(shapes.face.x())
        .arg(shapes.face.width())
        .arg(shapes.corner)
        .arg(kFace.name(), kFaceLine.name())
        .arg(shapes.faceLine)
        .arg(points.join(QLatin1Char(' ')), kPulse.name())
        .arg(shapes.pulseLine)
        .toUtf8();
}

QIcon programIcon() {
    QIcon icon;
    for (int size : kProgramIconSizes) {
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    }
    return icon;
}
