#include "PointCurves.h"

#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>
#include <limits>
#include <optional>

#include "ChartParts.h"
#include "StretchCovers.h"
#include "StretchText.h"

namespace trend {

namespace {

// Told apart from the module's X1..X4: blue, red, green and purple.
const QColor kPointColours[] = {QColor(230, 130, 0),   QColor(0, 150, 160), QColor(140, 90, 40),
                                QColor(210, 70, 150),  QColor(110, 130, 0), QColor(40, 50, 140),
                                QColor(100, 100, 100), QColor(0, 120, 240)};

// How far a stretch's cover reaches past the line it covers, above and
// below, as a share of its axis's range: past the line's width, and tall
// enough to be seen when the line is flat.
constexpr double kCoverReach = 0.03;

// A noisy value keeps four points a bucket, and Qt Charts strokes every
// one of them, twice: eight such curves at a pixel a bucket would cost more
// than the module's four and fourteen states together. Two pixels a bucket
// draw the same band of values, at half the points.
constexpr qint64 kBuckets = 2;

// The lowest and highest of `line` from its point at or before `fromMs` to
// its point at or after `toMs`: where it runs across that stretch.
std::optional<std::pair<double, double>> across(const Line& line, qint64 fromMs, qint64 toMs) {
    if (line.isEmpty()) {
        return std::nullopt;
    }
    const auto before = [](const QPointF& p, double x) { return p.x() < x; };
    auto begin = std::lower_bound(line.begin(), line.end(), double(fromMs), before);
    if (begin != line.begin() && (begin == line.end() || begin->x() > double(fromMs))) {
        --begin;
    }
    auto end = std::lower_bound(begin, line.end(), double(toMs), before);
    if (end != line.end()) {
        ++end;
    }
    const auto [low, high] = std::minmax_element(
        begin, end, [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    return std::pair(low->y(), high->y());
}

}  // namespace

PointCurves::PointCurves(QChart* chart, QLabel* legend, const PointHistory& history,
                         QObject* parent)
    : QObject(parent),
      chart_(chart),
      legend_(legend),
      history_(history),
      covers_(new StretchCovers(chart, [this](const StretchCovers::Cover& c) {
          return tipAt(c.owner, c.kind, c.stretch);
      })) {
    legend_->setObjectName(QStringLiteral("TrendPointLegend"));
    legend_->setWordWrap(true);
    legend_->setTextFormat(Qt::RichText);
    legend_->setContentsMargins(8, 0, 8, 0);
    legend_->hide();
    connect(chart_, &QChart::plotAreaChanged, this, [this] { covers_->replot(); });
}

PointCurves::~PointCurves() = default;

void PointCurves::setPoints(const std::vector<TrackedPoint>& points) {
    std::vector<TrackedPoint> charted;
    std::copy_if(points.begin(), points.end(), std::back_inserter(charted),
                 [](const TrackedPoint& p) { return p.charted; });
    if (charted == shown_) {
        return;
    }
    clear();
    shown_ = charted;
    QAbstractAxis* time = chart_->axes(Qt::Horizontal).first();
    for (const TrackedPoint& p : shown_) {
        Curve& c = curves_.emplace_back();
        c.point = p;
        c.axis = axisOf(p.unit);
        c.line = new QLineSeries(chart_);
        c.line->setObjectName(QStringLiteral("TrendPoint:") + p.key);
        c.line->setName(p.title);
        c.line->setColor(kPointColours[(curves_.size() - 1) % std::size(kPointColours)]);
        chart_->addSeries(c.line);
        c.line->attachAxis(time);
        c.line->attachAxis(c.axis);
        hideFromLegend(chart_, c.line);
    }
    // An axis of one point takes its colour, which tells whose it is.
    for (const auto& [unit, axis] : axes_) {
        const auto of = [axis](const Curve& c) { return c.axis == axis; };
        if (std::count_if(curves_.begin(), curves_.end(), of) == 1) {
            const QColor colour = std::find_if(curves_.begin(), curves_.end(), of)->line->color();
            axis->setLabelsColor(colour);
            axis->setTitleBrush(colour);
        }
    }
    legendRoom_ = -1;
    showLegend();
    legend_->setVisible(!curves_.empty());
}

void PointCurves::clear() {
    covers_->setCovers({});
    for (const Curve& c : curves_) {
        chart_->removeSeries(c.line);
        delete c.line;
    }
    curves_.clear();
    for (const auto& [unit, axis] : axes_) {
        chart_->removeAxis(axis);
        delete axis;
    }
    axes_.clear();
}

QValueAxis* PointCurves::axisOf(const QString& unit) {
    for (const auto& [u, axis] : axes_) {
        if (u == unit) {
            return axis;
        }
    }
    auto* axis = new QValueAxis(chart_);
    axis->setObjectName(QStringLiteral("TrendPointAxis"));
    axis->setTitleText(unit.isEmpty() ? QStringLiteral("数值") : unit);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setRange(0, 1);
    axis->setTickInterval(1);
    axis->setGridLineVisible(false);  // the module's axis rules the grid
    chart_->addAxis(axis, Qt::AlignRight);
    axes_.emplace_back(unit, axis);
    return axis;
}

void PointCurves::emptyLines() {
    for (const Curve& c : curves_) {
        c.line->clear();
    }
}

void PointCurves::redraw(const Span& span) {
    wallOffsetMs_ = span.wallOffsetMs;
    std::vector<Line> lines;
    lines.reserve(curves_.size());
    for (const Curve& c : curves_) {
        lines.push_back(history_.curve(c.point.key, span.fromMs, kBuckets * span.bucketMs));
    }
    std::vector<ValueScale> scales(curves_.size());  // of each curve's axis
    for (const auto& [unit, axis] : axes_) {
        double low = std::numeric_limits<double>::max();
        double high = std::numeric_limits<double>::lowest();
        for (std::size_t i = 0; i < curves_.size(); ++i) {
            if (curves_[i].axis != axis) {
                continue;
            }
            for (const QPointF& p : lines[i]) {
                low = qMin(low, p.y());
                high = qMax(high, p.y());
            }
        }
        const ValueScale scale = pointScale(low, high);
        showScale(axis, scale, stepDecimals(scale.step));
        for (std::size_t i = 0; i < curves_.size(); ++i) {
            scales[i] = curves_[i].axis == axis ? scale : scales[i];
        }
    }
    showLegend();
    std::vector<StretchCovers::Cover> covers;
    for (std::size_t i = 0; i < curves_.size(); ++i) {
        const Curve& c = curves_[i];
        c.line->replace(shifted(lines[i], wallOffsetMs_));
        const double reach = (scales[i].to - scales[i].from) * kCoverReach;
        // With no value in the span to cover, a band across the axis's middle.
        const double middle = (scales[i].from + scales[i].to) / 2;
        for (const auto& [kind, stretches] :
             {std::pair{Stretch::Failed, history_.holes(c.point.key, span.fromMs, span.joinMs)},
              std::pair{Stretch::Unread, history_.unread(c.point.key, span.fromMs, span.nowMs)}}) {
            for (const Stretch& s : stretches) {
                const auto [low, high] =
                    across(lines[i], s.fromMs, s.toMs).value_or(std::pair(middle, middle));
                const QRectF values(QPointF(double(s.fromMs + wallOffsetMs_), high + reach),
                                    QPointF(double(s.toMs + wallOffsetMs_), low - reach));
                covers.push_back({c.line, values, kind, s, int(i)});
            }
        }
    }
    covers_->setCovers(std::move(covers));
}

void PointCurves::showLegend() {
    // Made again only when the points or the room change: a label of rich
    // text laid out anew every second costs a fifth of a redraw.
    const int room = legend_->parentWidget()->width() - 16;
    if (room == legendRoom_) {
        return;
    }
    legendRoom_ = room;
    QStringList entries;
    int widest = 1;
    for (const Curve& c : curves_) {
        // A square of the line's colour, then its title.
        entries << QStringLiteral("<td><span style=\"color:%1\">■</span> %2 &nbsp; &nbsp;</td>")
                       .arg(c.line->color().name(), c.point.title.toHtmlEscaped());
        widest = qMax(widest, legend_->fontMetrics().horizontalAdvance(
                                  QStringLiteral("■ ") + c.point.title + QStringLiteral("     ")));
    }
    // In a grid of as many columns as the widest entry leaves room for, so
    // that a line of the label never breaks an entry in two.
    const qsizetype columns = qMax(1, room / widest);
    QString text = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (qsizetype i = 0; i < entries.size(); i += columns) {
        text += QStringLiteral("<tr>") + entries.mid(i, columns).join(QString()) +
                QStringLiteral("</tr>");
    }
    legend_->setText(text + QStringLiteral("</table>"));
}

QString PointCurves::tipAt(int curve, Stretch::Kind kind, const Stretch& s) const {
    const TrackedPoint& point = curves_[std::size_t(curve)].point;
    const Reads reads =
        kind == Stretch::Unread ? Reads{} : history_.reads(point.key, s.fromMs, s.toMs);
    return point.title + QStringLiteral("：") + stretchText(s, kind, reads, wallOffsetMs_);
}

}  // namespace trend
