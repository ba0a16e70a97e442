// The curves' window on the main window with a recording driver: how it is
// opened and closed, holes where reads failed, and a record that cannot be
// written stopping on its own while the polls go on.
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "RecordingDriver.h"
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

// The stretches of holes drawn in a chart, four corners each.
int holesIn(const QChartView* view) {
    int corners = 0;
    for (QAbstractSeries* s : view->chart()->series()) {
        if (auto* area = qobject_cast<QAreaSeries*>(s)) {
            corners += int(area->upperSeries()->count());
        }
    }
    return corners / 4;
}

}  // namespace

class tst_TrendWindow : public QObject {
    Q_OBJECT
  private slots:
    void opensBesideTheParts();
    void failedReadIsAHole_data();
    void failedReadIsAHole();
    void pauseHoldsTheViewAndPictureSaves();
    void unwritableRecordStops_data();
    void unwritableRecordStops();
};

void tst_TrendWindow::opensBesideTheParts() {
    Panel panel;
    QVERIFY(QTest::qWaitForWindowExposed(&panel.window));
    auto* trends = panel.openTrends();
    QVERIFY(trends != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(trends));
    QCOMPARE(trends->windowTitle(), QStringLiteral("曲线 - 计数测频模块 TQ7310"));
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
}

void tst_TrendWindow::pauseHoldsTheViewAndPictureSaves() {
    Panel panel;
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
    QCOMPARE(picture.size(), trends->findChild<QWidget*>(QStringLiteral("TrendCharts"))->size());
}

void tst_TrendWindow::unwritableRecordStops_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("removeAfterStart");
    QTest::addColumn<QString>("status");
    QTest::newRow("disk full") << "/dev/full" << false << "未能记录：磁盘已满";
    QTest::newRow("no such folder") << "no-such-folder/r.csv" << false << "未能记录：文件夹不存在";
    QTest::newRow("file removed") << "r.csv" << true << "记录已停止：文件已被删除或移走";
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
    // The polls go on and show what the module holds.
    panel.driver.count16 = {4321, 0, 0, 0};
    QTRY_COMPARE_WITH_TIMEOUT(panel.text(QStringLiteral("D_4R(0)")), QStringLiteral("4321"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(panel.driver.callsOf(QStringLiteral("Get_1X_B16")).size() > 2, 5000);
}

QTEST_MAIN(tst_TrendWindow)
#include "tst_trend_window.moc"
