// The curves' window on the main window with a recording driver: how it is
// opened and closed, holes where reads failed, and a record that cannot be
// written stopping on its own while the polls go on.
#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>

#include "ChartParts.h"
#include "ConfigValues.h"
#include "RecordingDriver.h"
#include "StretchCovers.h"
#include "TrendWindow.h"
#include "WindowDriver.h"
#include "ssqx.h"

namespace {

// The window, its driver and a handle on the curves' window once opened.
struct Panel : test_support::WindowDriver {
    RecordingDriver driver;
    ssqx window{driver, [] {}};
    Panel() : WindowDriver(&window) { window.show(); }

    trend::TrendWindow* openTrends() {
        return click(QStringLiteral("TrendWindow")) ? window.trendWindow() : nullptr;
    }
};

// The line of a trace: the series named after it ("X1", or "X1" and its
// latest value).
QLineSeries* lineOf(const QChartView* view, const QString& trace) {
    for (QAbstractSeries* s : view->chart()->series()) {
        auto* line = qobject_cast<QLineSeries*>(s);
        if (line != nullptr && line->name().section(u' ', 0, 0) == trace) {
            return line;
        }
    }
    return nullptr;
}

// The corners of the holes (or of the unread stretches) drawn in a chart,
// four a stretch.
QList<QPointF> greyIn(const QChartView* view, const QString& kind = QStringLiteral("TrendHoles")) {
    QList<QPointF> corners;
    for (QAbstractSeries* s : view->chart()->series()) {
        if (auto* area = qobject_cast<QAreaSeries*>(s); area && area->objectName() == kind) {
            corners += area->upperSeries()->points();
        }
    }
    return corners;
}

// The texts a chart has drawn, as Qt Charts has cut them to their room, with
// no blanks around them.
QStringList drawnTexts(const QChart* chart) {
    QStringList texts;
    for (const QGraphicsItem* item : chart->scene()->items()) {
        if (const auto* text = dynamic_cast<const QGraphicsTextItem*>(item)) {
            texts << text->toPlainText().trimmed();
        }
    }
    return texts;
}

int holesIn(const QChartView* view) {
    return int(greyIn(view).size()) / 4;
}

}  // namespace

class tst_TrendWindow : public QObject {
    Q_OBJECT
  private slots:
    void opensBesideTheParts();
    void showsWhatMovesUntilChosen_data();
    void showsWhatMovesUntilChosen();
    void failedReadIsAHole_data();
    void failedReadIsAHole();
    void pauseHoldsTheViewAndPictureSaves();
    void readableCharts_data();
    void readableCharts();
    void valueAxisTakesEachScale();
    void longRecordPathKeepsTheWindowsSize();
    void unwritableRecordStops_data();
    void unwritableRecordStops();
    void chartsAPoint_data();
    void chartsAPoint();
};

void tst_TrendWindow::opensBesideTheParts() {
    Panel panel;
    QVERIFY(QTest::qWaitForWindowExposed(&panel.window));
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(trends));
    QCOMPARE(trends->windowTitle(), QStringLiteral("曲线 - 计数测频模块 TQ7310"));
    QCOMPARE(panel.text(QStringLiteral("TrendSpan")), QStringLiteral("最近 5 分钟"));
    QVERIFY(!trends->isModal());
    QCOMPARE(panel.window.centralWidget()->size(), QSize(1035, 611));
    // Closing it leaves the link and the polls as they were.
    QVERIFY(panel.click(QStringLiteral("Command9")));
    QVERIFY(trends->close());
    QVERIFY(panel.window.isVisible());
    const int before = panel.driver.callsOf(QStringLiteral("Get_3X_UnDX")).size();
    QTRY_VERIFY_WITH_TIMEOUT(panel.driver.callsOf(QStringLiteral("Get_3X_UnDX")).size() > before,
                             5000);
    QCOMPARE(panel.openTrends(), trends);
}

void tst_TrendWindow::showsWhatMovesUntilChosen_data() {
    QTest::addColumn<int>("mode");  // as read; -1: not read
    QTest::addColumn<QString>("shown");
    QTest::newRow("counting") << 0 << "32位计数";
    QTest::newRow("measuring frequencies") << 1 << "频率";
    QTest::newRow("counting up and down") << 2 << "32位计数";
    QTest::newRow("not read") << -1 << "32位计数";
}

// The curves open on the quantity that moves in the module's mode as last
// read, and keep the user's choice, in the workspace too, however it changes.
void tst_TrendWindow::showsWhatMovesUntilChosen() {
    QFETCH(int, mode);
    QFETCH(QString, shown);
    Panel panel;
    panel.driver.config[module_map::kModeRegister - 1] = mode;
    if (mode >= 0) {
        panel.window.counterPoll().Timer2_Timer();
    }
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    QCOMPARE(panel.text(QStringLiteral("TrendQuantity")), shown);
    QCOMPARE(panel.window.workspace().trendQuantity, std::nullopt);
    QVERIFY(panel.choose(QStringLiteral("TrendQuantity"), QStringLiteral("16位计数")));
    panel.driver.config[module_map::kModeRegister - 1] = 1 - qAbs(mode) % 2;
    panel.window.counterPoll().Timer2_Timer();
    QCoreApplication::processEvents();  // the window follows after the tick
    QCOMPARE(panel.text(QStringLiteral("TrendQuantity")), QStringLiteral("16位计数"));
    QCOMPARE(panel.window.workspace().trendQuantity, 2);
}

void tst_TrendWindow::failedReadIsAHole_data() {
    QTest::addColumn<QString>("chart");
    QTest::addColumn<int>("quantity");  // entry of TrendQuantity
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("ticks");  // of which every other one fails, the second first
    QTest::addColumn<int>("holes");  // stretches drawn
    QTest::newRow("frequency, 32-bit read fails") << "TrendValues" << 0 << "Get_3X_LUNDX" << 3 << 1;
    QTest::newRow("32-bit count, 32-bit read fails")
        << "TrendValues" << 1 << "Get_3X_LUNDX" << 3 << 1;
    QTest::newRow("16-bit count, 32-bit read fails")
        << "TrendValues" << 2 << "Get_3X_LUNDX" << 3 << 0;
    QTest::newRow("16-bit count, 16-bit read fails")
        << "TrendValues" << 2 << "Get_3X_UnDX" << 3 << 1;
    QTest::newRow("input states, input read fails") << "TrendStates" << 0 << "Get_1X_B16" << 3 << 1;
    QTest::newRow("outputs, coil read fails") << "TrendStates" << 0 << "Get_0X_B16" << 3 << 1;
    // A flaky cable: what is drawn does not grow with the holes.
    QTest::newRow("frequency, every other read fails")
        << "TrendValues" << 0 << "Get_3X_LUNDX" << 120 << 1;
    QTest::newRow("states, every other read fails")
        << "TrendStates" << 0 << "Get_1X_B16" << 120 << 1;
}

void tst_TrendWindow::failedReadIsAHole() {
    QFETCH(QString, chart);
    QFETCH(int, quantity);
    QFETCH(QString, failing);
    QFETCH(int, ticks);
    QFETCH(int, holes);
    Panel panel;
    panel.driver.count16 = {5, 6, 7, 8};
    panel.driver.count32 = {100, 200, 300, 400, 10, 20, 30, 40};
    panel.driver.inputBytes[0] = 0xff;
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    QVERIFY(panel.choose(QStringLiteral("TrendQuantity"), quantity));
    auto* view = trends->findChild<QChartView*>(chart);
    QVERIFY(view != nullptr);
    const qsizetype series = view->chart()->series().size();
    for (int tick = 0; tick < ticks; ++tick) {
        panel.driver.onCall = [&](const QString& op) {
            panel.driver.readFailure =
                tick % 2 == 1 && op == failing ? std::optional(MODBUSRTU_FAILED) : std::nullopt;
        };
        panel.window.statusPoll().Timer1_Timer();
        panel.window.counterPoll().Timer2_Timer();
        QCoreApplication::processEvents();  // the charts are drawn after the tick
    }
    QCOMPARE(view->chart()->series().size(), series);
    QCOMPARE(holesIn(view), holes);
    if (chart == QStringLiteral("TrendStates")) {
        // The grey covers the rows of the read that failed, and no other.
        const bool inputsFailed = failing == QStringLiteral("Get_1X_B16");
        const QList<QPointF> grey = greyIn(view);
        QVERIFY(!grey.isEmpty());
        const auto [low, high] = std::minmax_element(
            grey.begin(), grey.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); });
        for (QAbstractSeries* s : view->chart()->series()) {
            auto* line = qobject_cast<QLineSeries*>(s);
            if (line == nullptr || line->count() == 0 || s->name().isEmpty()) {
                continue;
            }
            const bool output = s->name().startsWith(u'Y');
            for (const QPointF& p : line->points()) {
                const bool greyed = p.y() >= low->y() && p.y() <= high->y();
                QVERIFY2(greyed == (output != inputsFailed), qPrintable(s->name()));
            }
        }
    }
    // The values read, and only those, in one line a trace.
    QLineSeries* x1 = lineOf(view, QStringLiteral("X1"));
    QVERIFY(x1 != nullptr && x1->count() >= 2 && x1->count() <= ticks);
    for (QAbstractSeries* s : view->chart()->series()) {
        if (auto* line = qobject_cast<QLineSeries*>(s)) {
            for (const QPointF& p : line->points()) {
                QVERIFY2(p.y() != MODBUSRTU_FAILED, qPrintable(s->name()));
            }
        }
    }
    // Before the first tick and after the last nobody read: apart from the holes.
    trends->redraw(trend::Feed::steadyMs() + trend::kUnreadAfterMs + 1);
    QCOMPARE(greyIn(view, QStringLiteral("TrendUnread")).size(), 8);
    QCOMPARE(holesIn(view), holes);
}

void tst_TrendWindow::pauseHoldsTheViewAndPictureSaves() {
    Panel panel;
    panel.window.linkParam()[link_param::kPort] = 3;
    panel.window.linkParam()[link_param::kAddress] = 17;
    // Measuring frequencies: the curves follow the mode to them.
    panel.driver.config[module_map::kModeRegister - 1] = module_map::kFrequencyMode;
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    auto* view = trends->findChild<QChartView*>(QStringLiteral("TrendValues"));
    QVERIFY(view != nullptr);
    const auto tickWithX1 = [&panel](int value) {
        panel.driver.count32[4] = value;
        panel.window.counterPoll().Timer2_Timer();
        QCoreApplication::processEvents();  // the charts are drawn after the tick
    };
    const auto x1Shown = [view] {
        const QLineSeries* x1 = lineOf(view, QStringLiteral("X1"));
        return x1->count() == 0 ? -1.0 : x1->points().last().y();
    };
    tickWithX1(10);
    QCOMPARE(x1Shown(), 10.0);
    QVERIFY(panel.click(QStringLiteral("TrendPause")));
    tickWithX1(20);
    QCOMPARE(x1Shown(), 10.0);
    QVERIFY(panel.click(QStringLiteral("TrendPause")));
    QCOMPARE(x1Shown(), 20.0);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("curves.png"));
    trends->setPicturePathChooser([&](const QString& suggested) {
        return suggested.endsWith(QStringLiteral(".png")) ? path : QString();
    });
    QVERIFY(panel.click(QStringLiteral("TrendSavePicture")));
    QImage picture(path);
    QVERIFY(!picture.isNull());
    const QSize charts = trends->findChild<QWidget*>(QStringLiteral("TrendCharts"))->size();
    QCOMPARE(picture.width(), charts.width());
    QVERIFY(picture.height() > charts.height());  // a title line above the charts
    QVERIFY(trends->pictureTitle().startsWith(QStringLiteral("频率  ")));
    QVERIFY2(trends->pictureTitle().endsWith(QStringLiteral("  端口 3  地址 17")),
             qPrintable(trends->pictureTitle()));
}

void tst_TrendWindow::readableCharts_data() {
    QTest::addColumn<int>("quantity");  // entry of TrendQuantity
    QTest::addColumn<int>("span");      // entry of TrendSpan
    QTest::addColumn<int>("x1");        // X1's 32-bit count and frequency
    QTest::addColumn<QString>("title");
    QTest::newRow("frequency, 1 minute") << 0 << 0 << 105 << "频率 Hz";
    QTest::newRow("frequency, 60 minutes") << 0 << 3 << 7 << "频率 Hz";
    QTest::newRow("32-bit count, 5 minutes") << 1 << 1 << 52486 << "计数";
    QTest::newRow("32-bit count past 2^31, 15 minutes") << 1 << 2 << -2067 << "计数";
    QTest::newRow("32-bit count, widest labels") << 1 << 1 << 2147483647 << "计数";
    QTest::newRow("16-bit count, 60 minutes") << 2 << 3 << 0 << "计数";
}

// The plot areas line up, the value ticks are round from 0 (or below the
// lowest value), the axes say what and in which unit, and the time ticks
// sit on round moments.
void tst_TrendWindow::readableCharts() {
    QFETCH(int, quantity);
    QFETCH(int, span);
    QFETCH(int, x1);
    QFETCH(QString, title);
    Panel panel;
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    QVERIFY(panel.choose(QStringLiteral("TrendQuantity"), quantity));
    QVERIFY(panel.choose(QStringLiteral("TrendSpan"), span));
    panel.driver.count32 = {x1, 3, 5, 7, x1, 3, 5, 7};
    panel.window.counterPoll().Timer2_Timer();
    QCoreApplication::processEvents();
    const QChart* values = trends->findChild<QChartView*>(QStringLiteral("TrendValues"))->chart();
    const QChart* states = trends->findChild<QChartView*>(QStringLiteral("TrendStates"))->chart();
    // Margins are whole pixels: the edges agree to half of one.
    const auto apart = [&](auto edge) {
        return qAbs(edge(values->plotArea()) - edge(states->plotArea()));
    };
    QTRY_VERIFY_WITH_TIMEOUT(apart(std::mem_fn(&QRectF::left)) <= 0.5, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(apart(std::mem_fn(&QRectF::right)) <= 0.5, 2000);
    QVERIFY(values->plotArea().width() > 200);

    auto* axis = qobject_cast<QValueAxis*>(values->axes(Qt::Vertical).first());
    QCOMPARE(axis->titleText(), title);
    // The titles are drawn whole, not cut to an ellipsis, and the end
    // labels as numbers, whatever pads them.
    const QStringList drawn = drawnTexts(values);
    for (const QString& whole :
         {title, QStringLiteral("时间"), QString::number(axis->min(), 'f', 0),
          QString::number(axis->max(), 'f', 0)}) {
        QVERIFY2(drawn.contains(whole), qPrintable(drawn.join(u'|')));
    }
    // The plot leaves room for the widest value label, as laid out now.
    const QFontMetrics metrics(axis->labelsFont());
    for (double end : {axis->min(), axis->max()}) {
        QVERIFY(metrics.horizontalAdvance(QString::number(end, 'f', 0)) <
                values->plotArea().left());
    }
    const double step = axis->tickInterval();
    const double power = std::pow(10.0, std::floor(std::log10(step)));
    QVERIFY2(QList<double>({1, 2, 5}).contains(step / power), qPrintable(QString::number(step)));
    QCOMPARE(axis->tickAnchor(), 0.0);
    const double lowest = qMin(0, quantity == 2 ? 0 : x1);
    QVERIFY(axis->min() <= lowest && axis->min() > lowest - step);
    QCOMPARE(std::fmod(axis->min(), step), 0.0);

    // Every row of states is named; the legend tells inputs from outputs,
    // failed reads from no reads, not each row.
    auto* names = qobject_cast<QCategoryAxis*>(states->axes(Qt::Vertical).first());
    QStringList legend;
    for (QLegendMarker* marker : states->legend()->markers()) {
        if (marker->isVisible()) {
            legend << marker->label();
        }
    }
    QCOMPARE(legend.size(), 4);
    QVERIFY(legend.contains(QStringLiteral("未读取")));
    for (QAbstractSeries* s : states->series()) {
        auto* line = qobject_cast<QLineSeries*>(s);
        if (line != nullptr && !legend.contains(s->name())) {
            QVERIFY2(names->categoriesLabels().contains(s->name()), qPrintable(s->name()));
        }
    }

    auto* time = qobject_cast<QCategoryAxis*>(values->axes(Qt::Horizontal).first());
    // "最近 N 分钟" shows N minutes.
    const int minutes = panel.text(QStringLiteral("TrendSpan")).section(u' ', 1, 1).toInt();
    QCOMPARE(time->max() - time->min(), minutes * 60000.0);
    const QStringList labels = time->categoriesLabels();
    QVERIFY(labels.size() >= 3);
    const qint64 stepMs = QList<qint64>{10, 60, 120, 600}[span] * 1000;
    for (const QString& label : labels) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64(time->endValue(label)));
        QCOMPARE((t.toMSecsSinceEpoch() + t.offsetFromUtc() * 1000) % stepMs, 0);
    }
}

// From coarse to fine and back, each scale whole, whichever end moves.
void tst_TrendWindow::valueAxisTakesEachScale() {
    QValueAxis axis;
    axis.setRange(0, 1);
    axis.setTickInterval(1);
    for (const trend::ValueScale& scale : {trend::ValueScale{0, 2.5e9, 5e8},
                                           {0, 10, 2},
                                           {-2500, 500, 500},
                                           {-2500, 1000, 500},
                                           {0, 1, 1}}) {
        trend::showScale(&axis, scale);
        QCOMPARE(axis.min(), scale.from);
        QCOMPARE(axis.max(), scale.to);
        QCOMPARE(axis.tickInterval(), scale.step);
    }
}

void tst_TrendWindow::longRecordPathKeepsTheWindowsSize() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QString(120, u'a') + u'/' + QString(120, u'b'));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + u'/' + QString(300 - folder.size() - 5, u'c') + ".csv";
    QCOMPARE(path.size(), 300);
    Panel panel;
    QVERIFY(QTest::qWaitForWindowExposed(&panel.window));
    const QSize window = panel.window.size();
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    trends->setRecordPathChooser([&](const QString&) { return path; });
    QVERIFY(panel.click(QStringLiteral("TrendRecord")));
    const QString status = "记录中：" + QDir::toNativeSeparators(path);
    auto* record = panel.find<QLabel>(QStringLiteral("RecordState"));
    QCOMPARE(record->text(), status);
    QCoreApplication::processEvents();
    QCOMPARE(panel.window.size(), window);
    QCOMPARE(window.width(), 1035);
    QCOMPARE(panel.window.centralWidget()->size(), QSize(1035, 611));
    QVERIFY(record->width() < record->fontMetrics().horizontalAdvance(status));
    QVERIFY(record->grab().width() > 0);  // painted: the tooltip says what is elided
    QCOMPARE(record->toolTip(), status);
}

void tst_TrendWindow::unwritableRecordStops_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("removeAfterStart");
    QTest::addColumn<QString>("status");
    QTest::newRow("no such folder") << "no-such-folder/r.csv" << false << "未能记录：文件夹不存在";
#ifdef Q_OS_UNIX  // Windows has no /dev/full, and refuses to remove a file held open
    QTest::newRow("disk full") << "/dev/full" << false << "未能记录：磁盘已满";
    QTest::newRow("file removed") << "r.csv" << true << "记录已停止：文件已被删除或移走";
#endif
}

void tst_TrendWindow::unwritableRecordStops() {
    QFETCH(QString, path);
    QFETCH(bool, removeAfterStart);
    QFETCH(QString, status);
    QTemporaryDir dir;
    const QString target = path.startsWith(u'/') ? path : dir.filePath(path);
    Panel panel;
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    trends->setRecordPathChooser([&](const QString& suggested) {
        return suggested.endsWith(QStringLiteral(".csv")) ? target : QString();
    });
    QVERIFY(panel.click(QStringLiteral("Command9")));
    QVERIFY(panel.click(QStringLiteral("TrendRecord")));
    if (removeAfterStart) {
        QVERIFY(QFile::remove(target));
    }
    QTRY_COMPARE_WITH_TIMEOUT(panel.text(QStringLiteral("RecordState")), status, 5000);
    QCOMPARE(panel.text(QStringLiteral("TrendStatus")), status);
    QVERIFY(!panel.window.trendFeed().recording());
    QVERIFY(panel.find<QPushButton>(QStringLiteral("TrendRecord"))->isEnabled());
    QVERIFY(!panel.find<QPushButton>(QStringLiteral("TrendStopRecord"))->isEnabled());
    // The polls go on and show what the module holds.
    panel.driver.count16 = {4321, 0, 0, 0};
    QTRY_COMPARE_WITH_TIMEOUT(panel.text(QStringLiteral("D_4R(0)")), QStringLiteral("4321"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(panel.driver.callsOf(QStringLiteral("Get_1X_B16")).size() > 2, 5000);
}

void tst_TrendWindow::chartsAPoint_data() {
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("reads");  // "-": failed
    QTest::addColumn<QString>("axis");
    QTest::addColumn<int>("holes");
    QTest::newRow("with a unit") << "°C"
                                 << "20 21.26"
                                 << "°C" << 0;
    QTest::newRow("without a unit") << ""
                                    << "7 8"
                                    << "数值" << 0;
    QTest::newRow("the last read failed") << ""
                                          << "7 8 -"
                                          << "数值" << 1;
}

// A charted point is a series of its own, named by its title, on an axis of
// its unit, beside the module's.
void tst_TrendWindow::chartsAPoint() {
    QFETCH(QString, unit);
    QFETCH(QString, reads);
    QFETCH(QString, axis);
    QFETCH(int, holes);
    Panel panel;
    trend::Feed& feed = panel.window.trendFeed();
    feed.setTrackedPoints({{"1/3/40/0", "温度", unit, -1, true, false, 5000}});
    for (const QString& value : reads.split(u' ')) {
        feed.takePointReads(
            {{"1/3/40/0", value == "-" ? std::nullopt : std::optional(value.toDouble())}});
    }
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    trends->redraw(feed.nowMs());
    const QChart* chart = trends->findChild<QChartView*>(QStringLiteral("TrendValues"))->chart();
    auto* line = chart->findChild<QLineSeries*>(QStringLiteral("TrendPoint:1/3/40/0"));
    QVERIFY(line != nullptr);
    QCOMPARE(line->name(), QStringLiteral("温度"));
    QCOMPARE(line->points().last().y(), reads.section(u' ', 1, 1).toDouble());
    QCOMPARE(line->attachedAxes().last()->titleText(), axis);
    QCOMPARE(chart->axes(Qt::Vertical).first()->titleText(), QStringLiteral("计数"));
    auto* legend = panel.find<QLabel>(QStringLiteral("TrendPointLegend"));
    QTextDocument shown;
    shown.setHtml(legend->text());
    QCOMPARE(shown.toPlainText().simplified(), QStringLiteral("■ 温度"));
    const trend::StretchCovers* covers = nullptr;
    for (const QGraphicsItem* item : chart->childItems()) {
        covers = covers ? covers : dynamic_cast<const trend::StretchCovers*>(item);
    }
    QVERIFY(covers != nullptr);
    QCOMPARE(std::count_if(covers->covers().begin(), covers->covers().end(),
                           [](const auto& c) { return c.kind == trend::Stretch::Failed; }),
             holes);
    // No longer charted, it is gone.
    feed.setTrackedPoints({});
    QVERIFY(chart->findChild<QLineSeries*>(QStringLiteral("TrendPoint:1/3/40/0")) == nullptr);
    QVERIFY(!legend->isVisibleTo(trends));
}

QTEST_MAIN(tst_TrendWindow)
#include "tst_trend_window.moc"
