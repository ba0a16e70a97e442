#pragma once
// Boxes of the module's grey and pale blue over a chart's lines, each where
// a line has no value, with a tooltip saying why. One item paints them all:
// Qt Charts' area series work out the outline of every box at each redraw,
// which a flaky row's hundred stretches an hour would make most of a
// redraw's cost, for boxes a fill draws at once.

#include <QGraphicsObject>
#include <functional>
#include <vector>

#include "History.h"

class QAbstractSeries;
class QChart;

namespace trend {

class StretchCovers : public QGraphicsObject {
  public:
    struct Cover {
        QAbstractSeries* series;  // whose axes the box is on
        QRectF values;            // x: times on the axis, y: values of the series
        Stretch::Kind kind;
        Stretch stretch;  // the history's moments
        int owner;        // whose stretch, for the tooltip
    };
    using Tip = std::function<QString(const Cover&)>;

    StretchCovers(QChart* chart, Tip tip);

    void setCovers(std::vector<Cover> covers);
    const std::vector<Cover>& covers() const { return covers_; }
    // The plot area moved or the axes' ranges changed.
    void replot();

    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

  protected:
    void hoverMoveEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;

  private:
    QRectF box(const Cover& cover) const;

    QChart* chart_;
    Tip tip_;
    std::vector<Cover> covers_;
};

}  // namespace trend
