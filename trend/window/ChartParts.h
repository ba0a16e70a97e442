#pragma once
// The pieces the curves' charts are made readable with: time axes ticked on
// round moments, value axes on round numbers, plot areas with the same left
// and right edges whatever their labels, and a picture with a title line.

#include <QColor>
#include <QImage>
#include <QMargins>
#include <QObject>

#include "History.h"
#include "Scales.h"

class QAbstractSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QValueAxis;
class QWidget;

namespace trend {

// A time axis of `chart`, at its bottom, titled "时间".
QCategoryAxis* addTimeAxis(QChart* chart);
// Shows [fromMs, toMs] (ms since the epoch) with a tick on every round
// moment of `stepMs` on the local clock; the labels change only when a tick
// comes into the span or leaves it.
void showTimes(QCategoryAxis* axis, qint64 fromMs, qint64 toMs, qint64 stepMs);

// The axis on `scale`, its ticks on the multiples of its step, its labels
// with `decimals` digits after the point.
void showScale(QValueAxis* axis, const ValueScale& scale, int decimals = 0);

// `line` `byMs` later: the history's moments as times on the axis.
QList<QPointF> shifted(const Line& line, qint64 byMs);

// Leaves `series` out of the chart's legend.
void hideFromLegend(QChart* chart, QAbstractSeries* series);

// What a stretch is painted with: grey where reads failed, pale blue where
// none was made.
QColor stretchColour(Stretch::Kind kind);

// Keeps the plot areas of charts of one width, one above the other, at the
// same left and right edges, so that a moment lies at one x in all of them
// whatever the width of their labels: the chart whose labels take less room
// gets that much more margin. Qt lays the labels out itself, so none is cut
// short. It aligns when told (after a redraw) and after a view is resized,
// never in answer to a layout, which the margins it sets would make again.
class PlotAligner : public QObject {
  public:
    PlotAligner(QList<QChartView*> views, int margin, QObject* parent);
    void align();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QList<QChart*> charts_;
    int margin_;
};

// `picture` under a line of `title`.
QImage withTitle(const QImage& picture, const QString& title, const QWidget* styleOf);

}  // namespace trend
