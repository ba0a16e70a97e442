#include "SplashPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

QPixmap splashPicture() {
    constexpr int kWidth = 1000;
    constexpr int kHeight = 348;
    QPixmap pixmap(kWidth, kHeight);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor(8, 24, 64));
    sky.setColorAt(1, QColor(0, 0, 0));
    p.fillRect(pixmap.rect(), sky);

    // A faint oscilloscope grid.
    p.setPen(QPen(QColor(40, 80, 140, 90), 1));
    for (int x = 0; x < kWidth; x += 40) {
        p.drawLine(x, 0, x, kHeight);
    }
    for (int y = 14; y < kHeight; y += 40) {
        p.drawLine(0, y, kWidth, y);
    }

    // Four pulse trains at four rates: the module's counting inputs.
    const QColor traces[] = {QColor(90, 220, 255), QColor(120, 255, 140), QColor(255, 210, 90),
                             QColor(255, 120, 160)};
    for (int channel = 0; channel < 4; ++channel) {
        const qreal base = 40 + channel * 20;
        const qreal period = 120.0 / (channel + 1);
        QPainterPath path;
        path.moveTo(0, base);
        for (qreal x = 0; x < kWidth; x += period) {
            path.lineTo(x, base);
            path.lineTo(x, base - 14);
            path.lineTo(x + period / 2, base - 14);
            path.lineTo(x + period / 2, base);
        }
        p.setPen(QPen(traces[channel], 2));
        p.drawPath(path);
    }

    // A frequency sweep below them.
    QPainterPath sweep;
    for (int x = 0; x <= kWidth; x += 2) {
        const qreal t = x / qreal(kWidth);
        const qreal y = 270 + 30 * std::sin(t * t * 60);
        x == 0 ? sweep.moveTo(x, y) : sweep.lineTo(x, y);
    }
    p.setPen(QPen(QColor(200, 200, 255, 180), 2));
    p.drawPath(sweep);
    return pixmap;
}
