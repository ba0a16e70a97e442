// "通讯记录" as a user works it: rows follow the log, a bounded number of
// them; pause holds them, clear empties, the filter keeps failures, and copy
// and save give the same lines as text.
#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <QtTest>

#include "LogDriver.h"
#include "SystemErrorText.h"
#include "TrafficWindow.h"

using traffic::TrafficWindow;

namespace {

struct Fixture {
    LogDriver driver;
    traffic::TrafficFeed feed{driver};
    TrafficWindow window{feed};
    QTableWidget* table = window.findChild<QTableWidget*>("TrafficLines");

    void click(const char* name) {
        QTest::mouseClick(window.findChild<QAbstractButton*>(name), Qt::LeftButton);
    }
    QStringList shown() const {
        QStringList rows;
        for (int row = 0; row < table->rowCount(); ++row) {
            if (!table->isRowHidden(row)) {
                rows << table->item(row, 2)->text() + ' ' + table->item(row, 3)->text();
            }
        }
        return rows;
    }
};

}  // namespace

class TstTrafficWindow : public QObject {
    Q_OBJECT

  private slots:
    void rowsFollowTheLog() {
        Fixture f;
        f.driver.add(TQ7310_OK, {1, 3, 2, 0, 7, 0xF9, 0x86});
        f.driver.add(TQ7310_BAD_FRAME, {0x13, 0x37});
        f.feed.pull();
        QCOMPARE(f.shown(),
                 (QStringList{"发送 01 03 00 00 00 01 84 0A", "接收 01 03 02 00 07 F9 86",
                              "发送 01 03 00 00 00 01 84 0A", "接收 13 37"}));
        QCOMPARE(f.table->item(3, 4)->text(), "坏帧：校验或格式不符");
        QCOMPARE(f.table->item(3, 4)->foreground().color(), QColor(200, 0, 0));
        QCOMPARE(f.table->item(1, 4)->text(), "值 7");
        // The current row whole below the rows.
        f.table->setCurrentCell(3, 0);
        QCOMPARE(f.window.findChild<QPlainTextEdit*>("TrafficDetail")->toPlainText(),
                 traffic::detailText(f.feed.line(3)));

        // A failure with what was asked.
        f.window.findChild<QAbstractButton*>("TrafficFailuresOnly")->click();
        QCOMPARE(f.shown(), (QStringList{"发送 01 03 00 00 00 01 84 0A", "接收 13 37"}));
        const QString path = QDir::temp().filePath("tq7310-traffic-test.txt");
        QVERIFY(f.window.saveTo(path));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromUtf8(saved.readAll());
        // When and on what, then the rows with their dates.
        QCOMPARE(text.count('\n'), 4);
        QVERIFY2(text.startsWith("# 通讯记录，保存于 ") &&
                     text.section('\n', 1, 1).startsWith("# 端口1") &&
                     QRegularExpression("^\\d{4}-\\d\\d-\\d\\d ")
                         .match(text.section('\n', 2))
                         .hasMatch(),
                 qPrintable(text));
        QVERIFY2(text.contains("端口1 #2\t接收\t13 37\t坏帧"), qPrintable(text));
        QFile::remove(path);
        QVERIFY(!f.window.saveTo(QDir::temp().filePath("no-such-folder/tq7310.txt")));
        QCOMPARE(f.window.findChild<QLabel*>("TrafficSaveResult")->text(),
                 "未能保存：" + systemErrorText(ENOENT, ErrorSubject::File));

        f.table->selectAll();
        QCOMPARE(f.window.selectedText(), text.section('\n', 2).trimmed());
    }

    // The 统计 line: the newest row's port's failures by kind, from
    // "统计清零" on, until the port is opened again.
    void statsByKind() {
        Fixture f;
        auto* stats = f.window.findChild<QLabel*>("TrafficStats");
        f.driver.add(TQ7310_TIMEOUT);
        f.feed.pull();
        QCOMPARE(stats->text(), "统计：驱动库不按种类计数");
        Tq7310LinkCounters c{};
        c.transactions = 5;
        c.failures = 3;
        c.timeouts = 2;
        c.echoes = 1;
        f.driver.counters = c;
        f.driver.add(TQ7310_OK);
        f.feed.pull();
        QVERIFY2(stats->text().startsWith(
                     "统计 端口1（自打开端口）：通讯 5 次  失败 3 次：超时 2  回显 1；"),
                 qPrintable(stats->text()));
        f.click("TrafficStatsReset");
        QVERIFY2(stats->text().contains("清零）：通讯 0 次  失败 0 次；"),
                 qPrintable(stats->text()));
        f.driver.counters->transactions = 1;  // opened again
        f.driver.add(TQ7310_OK);
        f.feed.pull();
        QVERIFY2(stats->text().contains("（自打开端口）：通讯 1 次"), qPrintable(stats->text()));
    }

    void pauseHoldsAndClearEmpties() {
        Fixture f;
        f.driver.add(TQ7310_OK);
        f.feed.pull();
        f.click("TrafficPause");
        QCOMPARE(f.window.findChild<QAbstractButton*>("TrafficPause")->text(), "继续");
        f.driver.add(TQ7310_TIMEOUT);
        f.feed.pull();
        QCOMPARE(f.table->rowCount(), 2);
        f.click("TrafficPause");
        QCOMPARE(f.table->rowCount(), 4);
        QCOMPARE(f.table->item(3, 3)->text(), "（无）");
        f.click("TrafficClear");
        QCOMPARE(f.table->rowCount(), 0);
        f.driver.add(TQ7310_OK);
        f.feed.pull();
        QCOMPARE(f.table->rowCount(), 2);
    }

    // The tools in one row at the left above the rows, each row one line of
    // text high.
    void laidOut() {
        Fixture f;
        f.driver.add(TQ7310_OK);
        f.feed.pull();
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QCOMPARE(f.window.windowTitle(), "通讯记录 - 计数测频模块 TQ7310");
        const auto* pause = f.window.findChild<QWidget*>("TrafficPause");
        const auto* save = f.window.findChild<QWidget*>("TrafficSave");
        QCOMPARE(save->y(), pause->y());
        QVERIFY(save->geometry().bottom() < f.table->y());
        QVERIFY(save->geometry().right() < f.window.width() / 2);
        QVERIFY(f.table->rowHeight(0) >= f.table->fontMetrics().height());
        QVERIFY(f.table->rowHeight(0) <= f.table->fontMetrics().height() + 6);
    }

    // From the moment the window opens, whatever its size since and however
    // many rows were dropped, the newest row stays in view until the user
    // scrolls up or picks a row, and again once they are back at the end or
    // ask for it. A row picked stays in place and current until it is dropped.
    void followsTheNewestRow() {
        Fixture f;
        auto* follow = f.window.findChild<QAbstractButton*>("FollowNewest");
        const auto newestInViewAfter = [&f](int exchanges) {
            for (int i = 0; i < exchanges; ++i) {
                f.driver.add(i % 2 ? TQ7310_OK : TQ7310_TIMEOUT);
            }
            f.feed.pull();
            f.table->doItemsLayout();
            const int newest = f.table->rowCount() - 1;
            return f.table->viewport()->rect().contains(
                f.table->visualItemRect(f.table->item(newest, 0)));
        };
        newestInViewAfter(100);  // before the window opens
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.window.resize(f.window.width(), f.window.height() - 100);
        QVERIFY(newestInViewAfter(10));
        QVERIFY(newestInViewAfter(TrafficWindow::kMaxRows / 2) && follow->isChecked());
        QScrollBar* bar = f.table->verticalScrollBar();
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QVERIFY(!newestInViewAfter(10) && !follow->isChecked());
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QVERIFY(newestInViewAfter(10) && follow->isChecked());
        QTableWidgetItem* picked = f.table->item(f.table->rowCount() - 3, 0);
        const QRect at = f.table->visualItemRect(picked);
        QTest::mouseClick(f.table->viewport(), Qt::LeftButton, {}, at.center());
        QVERIFY(!newestInViewAfter(10) && !follow->isChecked());
        QCOMPARE(f.table->visualItemRect(picked), at);
        QCOMPARE(f.table->currentItem(), picked);
        QVERIFY(newestInViewAfter(TrafficWindow::kMaxRows / 2) && follow->isChecked());
        QCOMPARE(f.window.findChild<QLabel*>("TrafficSaveResult")->text(),
                 "所选的行已超出保留的 2000 行，已恢复跟随最新");
        follow->click();  // held where the view is, by hand
        QTableWidgetItem* top = f.table->itemAt(0, 0);
        QVERIFY(!newestInViewAfter(100) && f.table->itemAt(0, 0) == top);
        f.click("TrafficFailuresOnly");  // rows hidden and shown again: no scroll of the user's
        f.table->doItemsLayout();        // as on screen between the clicks
        f.click("TrafficFailuresOnly");
        QVERIFY(f.table->itemAt(0, 0) == top && !follow->isChecked());
        follow->click();
        QVERIFY(newestInViewAfter(0) && f.table->currentRow() == -1);
    }

    // Asked many times in a tick, the feed reads the log once after it.
    void oneReadAfterTheTick() {
        Fixture f;
        f.driver.add(TQ7310_OK);
        f.feed.schedule();
        f.feed.schedule();
        QCOMPARE(f.driver.reads, 0);
        QTRY_COMPARE(f.table->rowCount(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(f.driver.reads, 255);
    }

    // The status line shows the bytes of the latest reply on its port.
    void lastReplyOfEachPort() {
        Fixture f;
        f.driver.port = 255;
        f.driver.add(TQ7310_BAD_FRAME, {0x13, 0x37});
        f.driver.add(TQ7310_OK, {1, 3, 2, 0, 7, 0xF9, 0x86});
        f.driver.add(TQ7310_BAD_FRAME, {0x42});
        f.feed.pull();
        QCOMPARE(f.feed.lastReply(255), QByteArray("\x42"));
        QCOMPARE(f.feed.lastReply(1), QByteArray());
        QCOMPARE(f.table->item(0, 0)->text(), "255 #1");
    }

    void rowsAreBounded() {
        Fixture f;
        const int exchanges = traffic::TrafficFeed::kMaxLines / 2 + 5;
        for (int i = 0; i < exchanges; ++i) {
            f.driver.add(TQ7310_TIMEOUT);
        }
        f.feed.pull();
        QCOMPARE(f.table->rowCount(), TrafficWindow::kMaxRows);
        QCOMPARE(f.feed.endIndex() - f.feed.firstIndex(), traffic::TrafficFeed::kMaxLines);
        QCOMPARE(f.table->item(0, 0)->text(),
                 QString("1 #%1").arg(exchanges - TrafficWindow::kMaxRows / 2 + 1));
    }
};

QTEST_MAIN(TstTrafficWindow)
#include "tst_traffic_window.moc"
