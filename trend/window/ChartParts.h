#pragma once
// The pieces the curves' charts are made readable with: time axes ticked on
// round moments, value axes on round numbers, plot areas with the same left
// and right edges whatever their labels, and a picture with a title line.

#include <QImage>
#include <QMargins>
#include <QObject>

#include "Scales.h"

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

// The axis on `scale`, its ticks on the multiples of its step.
void showScale(QValueAxis* axis, const ValueScale& scale);

// Keeps the plot area of each chart view at the same distance from the
// view's left and right edges, and from its top and bottom, so that a moment
// lies at one x in every chart of a column, whatever the width of the
// value labels.
class PlotFrame : public QObject {
  public:
    PlotFrame(const QMargins& margins, QObject* parent) : QObject(parent), margins_(margins) {}
    void add(QChartView* view);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void place(QChartView* view) const;
    QMargins margins_;
};

// `picture` under a line of `title`.
QImage withTitle(const QImage& picture, const QString& title, const QWidget* styleOf);

}  // namespace trend
