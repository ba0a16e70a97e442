#include "StretchCovers.h"

#include <QChart>
#include <QGraphicsSceneHoverEvent>
#include <QPainter>
#include <QToolTip>

#include "ChartParts.h"

namespace trend {

namespace {

// Qt Charts draws its series at 4 and its legend at 5 over the chart: the
// boxes come over the lines, under the legend.
constexpr double kOverTheSeries = 4.5;

}  // namespace

StretchCovers::StretchCovers(QChart* chart, Tip tip)
    : QGraphicsObject(chart), chart_(chart), tip_(std::move(tip)) {
    setZValue(kOverTheSeries);
    setAcceptHoverEvents(true);
}

void StretchCovers::setCovers(std::vector<Cover> covers) {
    prepareGeometryChange();
    covers_ = std::move(covers);
    update();
}

void StretchCovers::replot() {
    prepareGeometryChange();
    update();
}

QRectF StretchCovers::box(const Cover& c) const {
    const QPointF topLeft = chart_->mapToPosition(c.values.topLeft(), c.series);
    const QPointF bottomRight = chart_->mapToPosition(c.values.bottomRight(), c.series);
    QRectF r = QRectF(topLeft, bottomRight).normalized();
    // A read that failed between two that answered is a second at an hour
    // to the plot's width: still a pixel wide, so that it shows.
    if (r.width() < 1) {
        r.adjust((r.width() - 1) / 2, 0, (1 - r.width()) / 2, 0);
    }
    return r;
}

QRectF StretchCovers::boundingRect() const {
    return chart_->plotArea();
}

QPainterPath StretchCovers::shape() const {
    // Only the boxes take the mouse: what lies between keeps its tooltips.
    QPainterPath path;
    for (const Cover& c : covers_) {
        path.addRect(box(c).intersected(chart_->plotArea()));
    }
    return path;
}

void StretchCovers::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    painter->setClipRect(chart_->plotArea());
    for (const Cover& c : covers_) {
        painter->fillRect(box(c), stretchColour(c.kind));
    }
}

void StretchCovers::hoverMoveEvent(QGraphicsSceneHoverEvent* event) {
    // The last box drawn under the mouse is the one seen.
    for (auto c = covers_.rbegin(); c != covers_.rend(); ++c) {
        if (box(*c).contains(event->pos())) {
            QToolTip::showText(event->screenPos(), tip_(*c));
            return;
        }
    }
    QToolTip::hideText();
}

void StretchCovers::hoverLeaveEvent(QGraphicsSceneHoverEvent*) {
    QToolTip::hideText();
}

}  // namespace trend
