#include "ChartParts.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QPainter>
#include <QTimer>
#include <QValueAxis>

namespace trend {

QCategoryAxis* addTimeAxis(QChart* chart) {
    auto* axis = new QCategoryAxis(chart);
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setTitleText(QStringLiteral("时间"));
    chart->addAxis(axis, Qt::AlignBottom);
    return axis;
}

void showTimes(QCategoryAxis* axis, qint64 fromMs, qint64 toMs, qint64 stepMs) {
    const qint64 offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(toMs).offsetFromUtc()) * 1000;
    const QString format =
        stepMs % 60000 == 0 ? QStringLiteral("hh:mm") : QStringLiteral("hh:mm:ss");
    QStringList labels;
    QList<double> at;
    for (qint64 t : roundTimes(fromMs, toMs, stepMs, offsetMs)) {
        labels << QDateTime::fromMSecsSinceEpoch(t).toString(format);
        at << double(t);
    }
    if (axis->categoriesLabels() != labels ||
        (!at.isEmpty() && axis->endValue(labels.first()) != at.first())) {
        for (const QString& label : axis->categoriesLabels()) {
            axis->remove(label);
        }
        for (qsizetype i = 0; i < labels.size(); ++i) {
            axis->append(labels[i], at[i]);
        }
    }
    axis->setStartValue(double(fromMs));
    axis->setRange(double(fromMs), double(toMs));
}

QList<QPointF> shifted(const Line& line, qint64 byMs) {
    QList<QPointF> out;
    out.reserve(line.size());
    for (const QPointF& p : line) {
        out.append(QPointF(p.x() + double(byMs), p.y()));
    }
    return out;
}

void hideFromLegend(QChart* chart, QAbstractSeries* series) {
    for (QLegendMarker* marker : chart->legend()->markers(series)) {
        marker->setVisible(false);
    }
}

QColor stretchColour(Stretch::Kind kind) {
    return kind == Stretch::Unread ? QColor(214, 228, 246) : QColor(228, 228, 228);
}

void showScale(QValueAxis* axis, const ValueScale& scale, int decimals) {
    // Never a wide range with a fine step, even for a moment: the axis would
    // make an item for each of its ticks.
    const bool coarser = scale.step > axis->tickInterval();
    if (coarser) {
        axis->setTickInterval(scale.step);
    }
    if (axis->min() != scale.from || axis->max() != scale.to) {
        axis->setRange(scale.from, scale.to);
    }
    if (!coarser && axis->tickInterval() != scale.step) {
        axis->setTickInterval(scale.step);
    }
    // Qt Charts keeps the room of "..." for a vertical axis's labels beside
    // its title, taking what they lack of it from the title, which labels of
    // one digit cut to an ellipsis. Such labels are padded to that room with
    // no-break spaces, written as HTML, which the labels are (the format
    // itself is taken as Latin-1).
    const QFontMetricsF metrics(axis->labelsFont());
    const double room = metrics.horizontalAdvance(QStringLiteral("..."));
    const auto width = [&metrics, decimals](const QString& pad, double end) {
        return metrics.horizontalAdvance(pad + QString::number(end, 'f', decimals));
    };
    QString pad;
    while (qMax(width(pad, scale.from), width(pad, scale.to)) < room) {
        pad += QChar(0x00A0);
    }
    const QString format =
        QStringLiteral("&nbsp;").repeated(pad.size()) + QStringLiteral("%.%1f").arg(decimals);
    if (axis->labelFormat() != format) {
        axis->setLabelFormat(format);
    }
}

PlotAligner::PlotAligner(QList<QChartView*> views, int margin, QObject* parent)
    : QObject(parent), margin_(margin) {
    for (QChartView* view : views) {
        charts_ << view->chart();
        view->chart()->setMargins(QMargins(margin_, margin_, margin_, margin_));
        view->installEventFilter(this);
    }
}

bool PlotAligner::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        // Once the view has handed its chart the new size.
        QTimer::singleShot(0, this, &PlotAligner::align);
    }
    return QObject::eventFilter(watched, event);
}

void PlotAligner::align() {
    // Each chart laid out now, with the margins it has, so that what its
    // labels take is read from a layout of those margins.
    for (int pass = 0; pass < 3; ++pass) {
        QList<double> left;
        QList<double> right;
        double mostLeft = 0;
        double mostRight = 0;
        for (QChart* chart : charts_) {
            if (chart->layout() != nullptr) {
                chart->layout()->activate();
            }
            const QRectF plot = chart->plotArea();
            left << plot.left() - chart->margins().left();
            right << chart->size().width() - plot.right() - chart->margins().right();
            mostLeft = qMax(mostLeft, left.last());
            mostRight = qMax(mostRight, right.last());
        }
        bool changed = false;
        for (qsizetype i = 0; i < charts_.size(); ++i) {
            QMargins m = charts_[i]->margins();
            m.setLeft(margin_ + qRound(mostLeft - left[i]));
            m.setRight(margin_ + qRound(mostRight - right[i]));
            if (m != charts_[i]->margins()) {
                charts_[i]->setMargins(m);
                changed = true;
            }
        }
        if (!changed) {
            break;
        }
    }
}

QImage withTitle(const QImage& picture, const QString& title, const QWidget* styleOf) {
    const QFontMetrics metrics(styleOf->font());
    const int line = metrics.height() * 2;
    QImage out(picture.width(), picture.height() + line, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.setFont(styleOf->font());
    painter.drawText(QRect(8, 0, picture.width() - 16, line), Qt::AlignVCenter | Qt::AlignLeft,
                     title);
    painter.drawImage(0, line, picture);
    return out;
}

}  // namespace trend
