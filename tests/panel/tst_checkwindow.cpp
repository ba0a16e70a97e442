// 自检 from the main window on the recording fake: the polls wait out the
// run and come back after it, each step shows its verdict, and 停止 still
// puts the module back as found.

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <atomic>

#include "ModuleCheckWindow.h"
#include "RecordingDriver.h"
#include "ssqx.h"

class CheckWindowTest : public QObject {
    Q_OBJECT
    RecordingDriver driver;
    std::unique_ptr<ssqx> main;
    ModuleCheckWindow* window = nullptr;
    QTableWidget* steps = nullptr;
    QList<int> pollsAtEachRow;  // how many poll timers ran as a row changed

    int pollsOn() const {
        return int(main->findChild<QTimer*>("Timer1")->isActive()) +
               int(main->findChild<QTimer*>("Timer2")->isActive());
    }
    void click(QObject* parent, const char* name) {
        auto* button = parent->findChild<QAbstractButton*>(QLatin1String(name));
        QVERIFY2(button, name);
        button->click();
    }
    void runCheck() {
        click(window, "CheckStart");
        auto* ask = window->findChild<QMessageBox*>("CheckConfirm");
        QVERIFY(ask);
        ask->button(QMessageBox::Yes)->click();
        QTRY_VERIFY_WITH_TIMEOUT(window->running(), 5000);
    }

  private slots:
    void init() {
        main = std::make_unique<ssqx>(driver, [] {});
        click(main.get(), "Command9");  // 打开
        click(main.get(), "ModuleCheck");
        window = main->findChild<ModuleCheckWindow*>();
        steps = window->findChild<QTableWidget*>("CheckSteps");
        connect(steps->model(), &QAbstractItemModel::dataChanged, this,
                [this] { pollsAtEachRow << pollsOn(); });
    }

    void runsToItsEndWithThePollsPaused() {
        QCOMPARE(pollsOn(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!driver.callsOf("Get_3X_LUNDX").isEmpty(), 5000);
        runCheck();
        // The values the polls read are marked as no longer current.
        QVERIFY(main->findChild<QLabel*>("D_4R(2)")->toolTip().endsWith("（自检中，轮询已停）"));
        QTRY_VERIFY_WITH_TIMEOUT(!window->running(), 20000);
        QCOMPARE(pollsOn(), 2);
        QVERIFY(!pollsAtEachRow.isEmpty() && pollsAtEachRow.count(0) == pollsAtEachRow.size());
        QCOMPARE(steps->rowCount(), ModuleCheck::kSteps);
        for (int row = 0; row < steps->rowCount(); ++row) {
            const QString verdict = steps->item(row, 1)->text();
            QVERIFY2(verdict == "通过" || verdict == "跳过", qPrintable(verdict));
        }
        QVERIFY(window->report().startsWith("TQ7310 自检报告"));
    }

    void stopPutsTheModuleBack_data() {
        QTest::addColumn<bool>("byClosing");  // the window closed, and asked, stops it
        QTest::newRow("停止") << false;
        QTest::newRow("closing the window") << true;
    }

    void stopPutsTheModuleBack() {
        QFETCH(bool, byClosing);
        driver.points[{1, 3, 5}] = 1;
        const auto found = driver.points;
        QSemaphore stopped;
        std::atomic<bool> held{false};
        // The first test value waits on the line until 停止 is pressed.
        driver.onCall = [&](const QString& operation) {
            if (operation == QLatin1String("writeRegisters") && !held.exchange(true)) {
                stopped.tryAcquire(1, 10000);
            }
        };
        runCheck();
        QTRY_VERIFY_WITH_TIMEOUT(held, 10000);
        if (byClosing) {
            window->close();
            QVERIFY(window->isVisible());  // not before the answer
            auto* ask = window->findChild<QMessageBox*>("CheckCloseConfirm");
            QVERIFY(ask);
            QVERIFY(ask->defaultButton() == ask->button(QMessageBox::Yes));
            ask->button(QMessageBox::Yes)->click();
            QVERIFY(!window->isVisible());
        } else {
            click(window, "CheckStop");
        }
        stopped.release();
        QTRY_VERIFY_WITH_TIMEOUT(!window->running(), 20000);
        driver.onCall = nullptr;
        QVERIFY(window->report().contains("已停止"));
        for (const auto& [point, value] : driver.points) {
            QCOMPARE(value, found.contains(point) ? found.at(point) : 0);
        }
        QCOMPARE(pollsOn(), 2);
    }
};

QTEST_MAIN(CheckWindowTest)
#include "tst_checkwindow.moc"
