#include "ChartParts.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QEvent>
#include <QPainter>
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

void showScale(QValueAxis* axis, const ValueScale& scale) {
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
}

void PlotFrame::add(QChartView* view) {
    view->installEventFilter(this);
    place(view);
}

bool PlotFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        place(static_cast<QChartView*>(watched));
    }
    return QObject::eventFilter(watched, event);
}

void PlotFrame::place(QChartView* view) const {
    view->chart()->setPlotArea(QRectF(view->rect()).marginsRemoved(QMarginsF(margins_)));
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
