#pragma once
// The "读写任意点" points charted beside the module's quantity: a line each,
// named by its title, on a value axis of its unit at the right (one for all
// the points without a unit), and a legend of their own above the chart with
// their titles, which the chart's legend, a single row, would cut short with
// the module's. Where a point's reads failed or none
// was made, the module's grey and pale blue cover its line's way across,
// only about the line, so that another point's curve read in that while
// stays in sight.

#include <QObject>
#include <memory>
#include <vector>

#include "PointHistory.h"
#include "Scales.h"

class QChart;
class QLabel;
class QLineSeries;
class QValueAxis;

namespace trend {

class StretchCovers;

class PointCurves : public QObject {
  public:
    // On `chart`, their titles and values in `legend`, hidden while none is
    // charted.
    PointCurves(QChart* chart, QLabel* legend, const PointHistory& history, QObject* parent);
    ~PointCurves() override;

    // The charted points of `points`, in their order: their series and axes
    // made anew when they differ from those shown.
    void setPoints(const std::vector<TrackedPoint>& points);

    // What is drawn: the history's moments from `fromMs` to `nowMs`, a
    // bucket of `bucketMs` to a pixel, stretches closer than `joinMs` as one,
    // shown `wallOffsetMs` later on the time axis.
    struct Span {
        qint64 fromMs;
        qint64 nowMs;
        qint64 bucketMs;
        qint64 joinMs;
        qint64 wallOffsetMs;
    };
    // Empties the lines, so that a change of the axes works out no path.
    void emptyLines();
    void redraw(const Span& span);

  private:
    struct Curve {
        TrackedPoint point;
        QLineSeries* line = nullptr;
        QValueAxis* axis = nullptr;
    };

    void clear();
    QValueAxis* axisOf(const QString& unit);
    QString tipAt(int curve, Stretch::Kind kind, const Stretch& stretch) const;
    void showLegend();

    QChart* chart_;
    QLabel* legend_;
    const PointHistory& history_;
    StretchCovers* covers_;
    std::vector<TrackedPoint> shown_;
    std::vector<Curve> curves_;
    std::vector<std::pair<QString, QValueAxis*>> axes_;
    qint64 wallOffsetMs_ = 0;
    int legendRoom_ = -1;  // the width the legend was laid out for
};

}  // namespace trend
