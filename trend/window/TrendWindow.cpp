#include "TrendWindow.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include "ChartParts.h"
#include "PointCurves.h"
#include "StartFolder.h"
#include "StretchText.h"

namespace trend {

namespace {

const qint64 kSpanMinutes[] = {1, 5, 15, 60};
constexpr int kDefaultSpan = 1;  // 5 minutes
constexpr double kStatePitch = 1.5;

const Quantity kQuantities[] = {Quantity::Frequency, Quantity::Count32, Quantity::Count16};

QString unitOf(Quantity q) {
    return q == Quantity::Frequency ? QStringLiteral(" Hz") : QString();
}

QString titleOf(Quantity q) {
    return q == Quantity::Frequency ? QStringLiteral("频率 Hz") : QStringLiteral("计数");
}

constexpr int kIdleRedrawMs = 1000;
constexpr qint64 kJoinPixels = 3;
// A state has two levels only: its changes, two pixels to a group of points,
// draw as they do at one, with half the points for Qt to stroke.
constexpr qint64 kStateBuckets = 2;

// The lowest level of state trace `index`: X1 on top, Y4 at the bottom.
double stateLow(int index) {
    return (kStates - 1 - index) * kStatePitch;
}
constexpr double kStatesBottom = -0.25;
const double kStatesTop = stateLow(0) + 1.25;
// Between the outputs' highest level and the inputs' lowest.
const double kStatesBetween = stateLow(kInputStates) + 1.25;

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

QChart* newChart(QCategoryAxis** time) {
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignTop);
    *time = addTimeAxis(chart);  // its times are set at the first redraw, on show
    return chart;
}

}  // namespace

TrendWindow::TrendWindow(Feed& feed, QWidget* parent)
    : QMainWindow(parent, Qt::Window), feed_(feed) {
    setObjectName(QStringLiteral("TrendView"));
    setWindowTitle(QStringLiteral("曲线 - 计数测频模块 TQ7310"));
    chooseRecordPath_ = [this](const QString& suggested) {
        return rememberFolderOf(QFileDialog::getSaveFileName(
            this, QStringLiteral("记录到"), suggested, QStringLiteral("CSV (*.csv)")));
    };
    choosePicturePath_ = [this](const QString& suggested) {
        return rememberFolderOf(QFileDialog::getSaveFileName(
            this, QStringLiteral("保存图片"), suggested, QStringLiteral("PNG (*.png)")));
    };

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* bar = new QHBoxLayout;
    quantity_ = new QComboBox(central);
    quantity_->setObjectName(QStringLiteral("TrendQuantity"));
    quantity_->addItems(
        {QStringLiteral("频率"), QStringLiteral("32位计数"), QStringLiteral("16位计数")});
    span_ = new QComboBox(central);
    span_->setObjectName(QStringLiteral("TrendSpan"));
    for (qint64 minutes : kSpanMinutes) {
        span_->addItem(QStringLiteral("最近 %1 分钟").arg(minutes));
    }
    span_->setCurrentIndex(kDefaultSpan);
    pause_ = button(QStringLiteral("TrendPause"), QStringLiteral("暂停"), central);
    pause_->setCheckable(true);
    auto* save = button(QStringLiteral("TrendSavePicture"), QStringLiteral("保存图片"), central);
    record_ = button(QStringLiteral("TrendRecord"), QStringLiteral("记录"), central);
    stopRecord_ = button(QStringLiteral("TrendStopRecord"), QStringLiteral("停止记录"), central);
    // A screen reader names a drop-down list by its label.
    for (const auto& [caption, box] : {std::pair{QStringLiteral("显示"), quantity_},
                                       std::pair{QStringLiteral("时间范围"), span_}}) {
        auto* label = new QLabel(caption, central);
        label->setBuddy(box);
        bar->addWidget(label);
        bar->addWidget(box);
    }
    bar->addWidget(pause_);
    bar->addWidget(save);
    bar->addStretch();
    bar->addWidget(record_);
    bar->addWidget(stopRecord_);
    layout->addLayout(bar);

    charts_ = new QWidget(central);
    charts_->setObjectName(QStringLiteral("TrendCharts"));
    auto* chartsLayout = new QVBoxLayout(charts_);
    chartsLayout->setContentsMargins(0, 0, 0, 0);
    buildCharts();
    auto* values = new QChartView(valuesChart_, charts_);
    values->setObjectName(QStringLiteral("TrendValues"));
    values->setAccessibleName(QStringLiteral("计数和频率曲线"));
    values->setRenderHint(QPainter::Antialiasing);
    auto* states = new QChartView(statesChart_, charts_);
    states->setObjectName(QStringLiteral("TrendStates"));
    states->setAccessibleName(QStringLiteral("输入输出状态曲线"));
    // After the module's stretches, so that a point read while the module
    // was not is not hidden by them; their legend above the chart, shown
    // only while there are some, takes its room from that chart alone: the
    // states' rows keep theirs.
    auto* pointLegend = new QLabel(charts_);
    points_ = new PointCurves(valuesChart_, pointLegend, feed_.pointHistory(), this);
    points_->setPoints(feed_.trackedPoints());
    auto* valuesColumn = new QVBoxLayout;
    valuesColumn->setContentsMargins(0, 0, 0, 0);
    valuesColumn->addWidget(pointLegend);
    valuesColumn->addWidget(values, 1);
    chartsLayout->addLayout(valuesColumn, 1);
    chartsLayout->addWidget(states, 1);
    aligner_ = new PlotAligner({values, states}, 4, this);
    layout->addWidget(charts_, 1);
    setCentralWidget(central);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("TrendStatus"));
    statusBar()->addWidget(status_, 1);
    showRecordStatus(feed_.recordStatus());
    resize(960, 800);

    // Any change but the window's own following of the mode is a choice.
    connect(quantity_, &QComboBox::currentIndexChanged, this, [this](int entry) {
        chosenQuantity_ = entry;
        redraw(lastNowMs_);
    });
    connect(span_, &QComboBox::currentIndexChanged, this, [this] { redraw(lastNowMs_); });
    connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
        pause_->setText(paused ? QStringLiteral("继续") : QStringLiteral("暂停"));
        if (!paused) {
            redraw(feed_.nowMs());
        }
    });
    connect(save, &QPushButton::clicked, this, &TrendWindow::saveClicked);
    connect(record_, &QPushButton::clicked, this, &TrendWindow::startRecording);
    connect(stopRecord_, &QPushButton::clicked, &feed_, &Feed::stopRecording);
    connect(&feed_, &Feed::recordStatusChanged, this, &TrendWindow::showRecordStatus);
    // The points' reads are drawn with the next counter tick, or within a
    // second by the idle redraw when the module is not polled: not at each
    // row's read, which would redraw eight times a second with eight rows.
    connect(&feed_, &Feed::trackedPointsChanged, this, [this] {
        points_->setPoints(feed_.trackedPoints());
        if (isVisible() && !pause_->isChecked()) {
            redraw(lastNowMs_);
        }
    });
    // Once a counter tick, the states of the two status ticks in between
    // with it; drawn once the tick has returned, so that the charts never
    // lengthen a poll's tick.
    auto* idle = new QTimer(this);
    idle->start(kIdleRedrawMs);
    connect(idle, &QTimer::timeout, this, &TrendWindow::redrawWhileUnread);
    connect(&feed_, &Feed::counterTick, this, [this] {
        if (!redrawQueued_) {
            redrawQueued_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    redrawQueued_ = false;
                    followMode();
                    if (isVisible() && !pause_->isChecked()) {
                        redraw(feed_.nowMs());
                    }
                },
                Qt::QueuedConnection);
        }
    });
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::setChosenQuantity(std::optional<int> entry) {
    if (entry) {
        quantity_->setCurrentIndex(*entry);
        chosenQuantity_ = entry;
    } else {
        chosenQuantity_.reset();
        followMode();
    }
}

void TrendWindow::followMode() {
    if (chosenQuantity_) {
        return;
    }
    const auto* moving =
        std::find(std::begin(kQuantities), std::end(kQuantities), feed_.movingQuantity());
    const int entry = int(moving - std::begin(kQuantities));
    if (quantity_->currentIndex() != entry) {
        {
            // Quiet, so that it is not taken for a choice.
            const QSignalBlocker quiet(quantity_);
            quantity_->setCurrentIndex(entry);
        }
        redraw(lastNowMs_);
    }
}

void TrendWindow::redrawWhileUnread() {
    // With the polls stopped no tick draws the charts: time still passes,
    // and the stretch nobody reads grows.
    const qint64 now = feed_.nowMs();
    if (isVisible() && !pause_->isChecked() && now - lastNowMs_ >= kIdleRedrawMs) {
        redraw(now);
    }
}

void TrendWindow::buildCharts() {
    static const QColor kColours[] = {QColor(0, 90, 200), QColor(220, 50, 32), QColor(0, 150, 60),
                                      QColor(150, 60, 190)};
    valuesChart_ = newChart(&valuesTime_);
    valuesAxis_ = new QValueAxis(valuesChart_);
    valuesAxis_->setLabelFormat(QStringLiteral("%.0f"));
    valuesAxis_->setRange(0, 1);
    valuesAxis_->setTickInterval(1);
    valuesAxis_->setTickType(QValueAxis::TicksDynamic);
    valuesAxis_->setTickAnchor(0);
    valuesAxis_->setTitleText(titleOf(Quantity::Frequency));
    valuesChart_->addAxis(valuesAxis_, Qt::AlignLeft);
    for (int i = 0; i < kInputs; ++i) {
        const QString name = QStringLiteral("X%1").arg(i + 1);
        valueTraces_.append(
            {name, kColours[i], addLine(valuesChart_, valuesAxis_, name, kColours[i])});
    }
    addHoles(valueHoles_, valuesChart_, valuesAxis_, Stretch::Failed);
    addHoles(valueUnread_, valuesChart_, valuesAxis_, Stretch::Unread);

    statesChart_ = newChart(&statesTime_);
    auto* names = new QCategoryAxis(statesChart_);
    names->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    for (int i = kStates - 1; i >= 0; --i) {
        names->append(stateName(i), stateLow(i) + 1.25);
    }
    names->setStartValue(kStatesBottom);
    names->setRange(kStatesBottom, kStatesTop);
    names->setGridLineVisible(false);
    QFont small = names->labelsFont();
    small.setPointSizeF(7);
    names->setLabelsFont(small);
    // Two levels to a trace; 28 labels at their heights would overlap.
    names->setTitleText(QStringLiteral("每行 上 闭合 · 下 断开"));
    statesAxis_ = names;
    statesChart_->addAxis(statesAxis_, Qt::AlignLeft);
    const QColor inputColour(0, 140, 0);
    const QColor outputColour(200, 120, 0);
    for (int i = 0; i < kStates; ++i) {
        const QColor colour = i < kInputStates ? inputColour : outputColour;
        stateTraces_.append(
            {stateName(i), colour, addLine(statesChart_, statesAxis_, stateName(i), colour)});
        hideFromLegend(statesChart_, stateTraces_.last().line);
    }
    // The legend tells inputs from outputs, with no points of their own.
    addLine(statesChart_, statesAxis_, QStringLiteral("输入 X1–X4、DI1–DI6"), inputColour);
    addLine(statesChart_, statesAxis_, QStringLiteral("输出 Y1–Y4"), outputColour);
    addHoles(inputHoles_, statesChart_, statesAxis_, Stretch::Failed);
    addHoles(outputHoles_, statesChart_, statesAxis_, Stretch::Failed);
    hideFromLegend(statesChart_, outputHoles_.area);
    addHoles(statesUnread_, statesChart_, statesAxis_, Stretch::Unread);
}

QLineSeries* TrendWindow::addLine(QChart* chart, QAbstractAxis* y, const QString& name,
                                  const QColor& colour) {
    auto* series = new QLineSeries(chart);
    series->setColor(colour);
    series->setName(name);
    chart->addSeries(series);
    series->attachAxis(chart->axes(Qt::Horizontal).first());
    series->attachAxis(y);
    return series;
}

// Added after the lines, so drawn over them: a stretch hides the line
// joining the values on either side of it. Unread stretches come last, over
// the failed reads.
void TrendWindow::addHoles(Holes& h, QChart* chart, QAbstractAxis* y, Stretch::Kind kind) {
    h.kind = kind;
    h.upper = new QLineSeries(chart);
    h.lower = new QLineSeries(chart);
    h.area = new QAreaSeries(h.upper, h.lower);
    const bool unread = kind == Stretch::Unread;
    h.area->setObjectName(unread ? QStringLiteral("TrendUnread") : QStringLiteral("TrendHoles"));
    h.area->setName(unread ? QStringLiteral("未读取") : QStringLiteral("读取失败"));
    h.area->setPen(Qt::NoPen);
    h.area->setBrush(stretchColour(kind));
    chart->addSeries(h.area);
    h.area->attachAxis(chart->axes(Qt::Horizontal).first());
    h.area->attachAxis(y);
    // Without a pen the legend's box would show no colour of its own.
    for (QLegendMarker* marker : chart->legend()->markers(h.area)) {
        marker->setPen(QPen(h.area->brush().color().darker(130)));
    }
    connect(h.area, &QAreaSeries::hovered, this, [this, &h](const QPointF& at, bool entered) {
        QToolTip::showText(QCursor::pos(), entered ? tipAt(h, at.x()) : QString());
    });
}

void TrendWindow::showHoles(Holes& holes, const Stretches& stretches, double low, double high) {
    holes.shown = stretches;
    QList<QPointF> upper;
    upper.reserve(stretches.size() * 4);
    for (const Stretch& s : stretches) {
        const double from = double(s.fromMs + wallOffsetMs_);
        const double to = double(s.toMs + wallOffsetMs_);
        upper << QPointF(from, low) << QPointF(from, high) << QPointF(to, high) << QPointF(to, low);
    }
    const QList<QPointF> lower = upper.isEmpty() ? QList<QPointF>()
                                                 : QList<QPointF>{QPointF(upper.first().x(), low),
                                                                  QPointF(upper.last().x(), low)};
    if (holes.upper->points() != upper) {
        holes.upper->replace(upper);
        holes.lower->replace(lower);
    }
}

qint64 TrendWindow::spanMs() const {
    return kSpanMinutes[qBound(0, span_->currentIndex(), 3)] * 60 * 1000;
}

void TrendWindow::redraw(qint64 nowMs) {
    lastNowMs_ = nowMs;
    wallOffsetMs_ = feed_.wallOffsetMs();
    const qint64 fromMs = nowMs - spanMs();
    // A line works out its whole path again at each change of its points and
    // of its axes' ranges: emptied first, it does so once, with its new
    // points in the new ranges.
    for (const QList<Trace>* traces : {&valueTraces_, &stateTraces_}) {
        for (const Trace& trace : *traces) {
            trace.line->clear();
        }
    }
    points_->emptyLines();
    for (QCategoryAxis* time : {valuesTime_, statesTime_}) {
        showTimes(time, fromMs + wallOffsetMs_, nowMs + wallOffsetMs_, timeStepMs(spanMs()));
    }
    redrawValues(fromMs);
    redrawStates(fromMs);
    aligner_->align();
}

qint64 TrendWindow::joinMs() const {
    // Holes a few pixels apart are one: the reads between them would not
    // show, and each stretch costs its painting. Holes further apart stay
    // apart at every span, so reads that mostly answer never look like an
    // outage.
    return kJoinPixels * bucketMs();
}

qint64 TrendWindow::bucketMs() const {
    // A stretch of time to a pixel of the plot, or so before the first layout.
    const double pixels = qMax(200.0, valuesChart_->plotArea().width());
    return qMax<qint64>(1, qint64(double(spanMs()) / pixels));
}

void TrendWindow::redrawValues(qint64 fromMs) {
    const Quantity quantity = kQuantities[qBound(0, quantity_->currentIndex(), 2)];
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    std::array<Line, kInputs> curves;
    for (int i = 0; i < kInputs; ++i) {
        curves[i] = feed_.history().curve(quantity, i, fromMs, bucketMs());
        for (const QPointF& p : curves[i]) {
            low = qMin(low, p.y());
            high = qMax(high, p.y());
        }
    }
    if (low > high) {
        low = 0;
        high = 1;
    }
    // Every change of an axis or of the legend lays the whole chart out
    // again: make only those that show.
    const ValueScale scale = valueScale(low, high);
    showScale(valuesAxis_, scale);
    if (valuesAxis_->titleText() != titleOf(quantity)) {
        valuesAxis_->setTitleText(titleOf(quantity));
    }
    for (int i = 0; i < kInputs; ++i) {
        valueTraces_[i].line->replace(shifted(curves[i], wallOffsetMs_));
        const Value latest = feed_.history().latest(quantity, i);
        const QString name =
            valueTraces_[i].name + QStringLiteral("  ") +
            (latest ? QString::number(*latest) + unitOf(quantity) : QStringLiteral("—"));
        if (valueTraces_[i].line->name() != name) {
            valueTraces_[i].line->setName(name);
        }
    }
    showHoles(valueHoles_, feed_.history().holes(quantity, 0, fromMs, joinMs()), scale.from,
              scale.to);
    showHoles(valueUnread_, feed_.history().unread(fromMs, lastNowMs_), scale.from, scale.to);
    points_->redraw({fromMs, lastNowMs_, bucketMs(), joinMs(), wallOffsetMs_});
}

void TrendWindow::redrawStates(qint64 fromMs) {
    for (int i = 0; i < kStates; ++i) {
        stateTraces_[i].line->replace(
            shifted(feed_.history().steps(i, fromMs, stateLow(i), kStateBuckets * bucketMs()),
                    wallOffsetMs_));
    }
    showHoles(inputHoles_, feed_.history().stateHoles(0, fromMs, joinMs()), kStatesBetween,
              kStatesTop);
    showHoles(outputHoles_, feed_.history().stateHoles(kInputStates, fromMs, joinMs()),
              kStatesBottom, kStatesBetween);
    showHoles(statesUnread_, feed_.history().unreadStates(fromMs, lastNowMs_), kStatesBottom,
              kStatesTop);
}

QString TrendWindow::tipAt(const Holes& holes, double x) const {
    const qint64 ms = qint64(x) - wallOffsetMs_;
    const Stretch* s = stretchAt(holes.shown, ms);
    if (s == nullptr) {
        return {};
    }
    const History& history = feed_.history();
    const Quantity quantity = kQuantities[qBound(0, quantity_->currentIndex(), 2)];
    const Reads reads = holes.kind == Stretch::Unread ? Reads{}
                        : &holes == &valueHoles_ ? history.reads(quantity, 0, s->fromMs, s->toMs)
                        : &holes == &inputHoles_
                            ? history.stateReads(0, s->fromMs, s->toMs)
                            : history.stateReads(kInputStates, s->fromMs, s->toMs);
    return stretchText(*s, holes.kind, reads, wallOffsetMs_);
}

QString TrendWindow::pictureTitle() const {
    const auto wall = [this](qint64 ms) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms + wallOffsetMs_);
        return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate);
    };
    const auto known = [](std::int32_t n) {
        return n > 0 ? QString::number(n) : QStringLiteral("—");
    };
    return QStringLiteral("%1  %2 至 %3  端口 %4  地址 %5")
        .arg(quantity_->currentText(), wall(lastNowMs_ - spanMs()), wall(lastNowMs_),
             known(feed_.port()), known(feed_.address()));
}

bool TrendWindow::savePicture(const QString& path) {
    const bool saved = withTitle(charts_->grab().toImage(), pictureTitle(), this).save(path, "PNG");
    status_->setText(saved ? QStringLiteral("图片已保存：") + QDir::toNativeSeparators(path)
                           : QStringLiteral("图片未能保存：") + QDir::toNativeSeparators(path));
    return saved;
}

void TrendWindow::saveClicked() {
    const QString suggested =
        startFolder() + QStringLiteral("/tq7310-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
        QStringLiteral(".png");
    const QString path = choosePicturePath_(suggested);
    if (!path.isEmpty()) {
        savePicture(path);
    }
}

void TrendWindow::startRecording() {
    if (feed_.recording()) {
        return;
    }
    const QString path =
        chooseRecordPath_(defaultRecordPath(startFolder(), QDateTime::currentDateTime()));
    if (!path.isEmpty()) {
        feed_.startRecording(path);
    }
}

void TrendWindow::showRecordStatus(const QString& status) {
    status_->setText(status);
    record_->setEnabled(!feed_.recording());
    stopRecord_->setEnabled(feed_.recording());
}

void TrendWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    followMode();
    if (!pause_->isChecked()) {
        redraw(feed_.nowMs());
    }
}

}  // namespace trend
