// "查找模块" in the real window, on the real driver library, against
// tq7310-sim on a pseudo-terminal with strict line settings.

#include <QCheckBox>
#include <QClipboard>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QtTest>

#include "DriverProber.h"
#include "FindModuleDialog.h"
#include "PanelOnSim.h"
#include "SharedLine.h"

using namespace sim_e2e;
using finder::FindModuleDialog;

namespace {

// Bounds only: a probe that nobody answers lasts a fifth of a second here.
constexpr int kSearchMs = 60000;
// The simulator on a loaded machine may take longer to answer than a module
// on an adapter; the verdicts must not hang on that.
constexpr std::int32_t kLenientAllowanceUs = 200'000;

QStringList rowsOf(const QTableWidget* table) {
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 6; ++c) {
            cells << table->item(r, c)->text();
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

}  // namespace

class tst_FindSim : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void findsUsesAndOpens_data();
    void findsUsesAndOpens();
    void otherBaudNotFound_data();
    void otherBaudNotFound();
    void endingLeavesPortClosed_data();
    void endingLeavesPortClosed();
    void vanishedDeviceEndsItsPort();
    void slowModuleFoundInFirstPass_data();
    void slowModuleFoundInFirstPass();
    void twoModulesOnOneLine();
    void troubledLines_data();
    void troubledLines();
    void openLinkClosedFirst();
    void moduleByUnitOverTcp();

  private:
    // Shows the window, clicks "查找模块" and returns the dialog.
    FindModuleDialog* openDialog();
    // Leaves only these line settings ticked.
    void tickOnly(const QStringList& settings);
    bool waitForProgress(int done);
    // Searches 19200,E until the first pass over the listed addresses is
    // over; the table's rows then.
    QStringList firstPass(const QStringList& settings = {QStringLiteral("19200E")});

    std::unique_ptr<PanelOnSim> panel_;
    QPointer<FindModuleDialog> dialog_;
};

void tst_FindSim::initTestCase() {
    // No remembered link from an earlier run leads the search.
    QStandardPaths::setTestModeEnabled(true);
    // Ports 3..19 lead nowhere, whatever serial devices this machine has.
    for (int port = 3; port <= module_line::kListedPorts; ++port) {
        qputenv(qPrintable(QStringLiteral("TQ7310_COM%1").arg(port)), "/nonexistent/tq7310");
    }
}

void tst_FindSim::init() {
    // Each search starts from the window's setting, whatever an earlier test opened.
    QSettings(QStringLiteral("tq7310-panel"), QStringLiteral("tq7310-panel")).remove("lastLink");
    panel_ = std::make_unique<PanelOnSim>();
    QVERIFY(panel_->valid());
}

void tst_FindSim::cleanup() {
    delete dialog_;
    panel_.reset();
}

FindModuleDialog* tst_FindSim::openDialog() {
    if (!panel_->showWindow(panel_->linkPath())) {
        return nullptr;
    }
    panel_->click(QStringLiteral("FindModule"));
    dialog_ = panel_->find<FindModuleDialog>(QStringLiteral("FindModuleDialog"));
    if (!dialog_ || !QTest::qWaitForWindowExposed(dialog_)) {
        return nullptr;
    }
    dialog_->prober().setAllowanceUs(kLenientAllowanceUs);
    return dialog_;
}

void tst_FindSim::tickOnly(const QStringList& settings) {
    for (QCheckBox* box : dialog_->findChildren<QCheckBox*>()) {
        box->setChecked(
            settings.contains(box->objectName().mid(QStringLiteral("FindSetting_").size())));
    }
}

bool tst_FindSim::waitForProgress(int done) {
    auto* bar = panel_->find<QProgressBar>(QStringLiteral("FindProgress"));
    QDeadlineTimer deadline(kSearchMs);
    while (bar->value() < done && !deadline.hasExpired()) {
        QTest::qWait(10);
    }
    return bar->value() >= done;
}

void tst_FindSim::findsUsesAndOpens_data() {
    QTest::addColumn<bool>("byKeyboard");  // Enter on the row, or "使用"
    QTest::newRow("使用") << false;
    QTest::newRow("Enter on the row") << true;
}

void tst_FindSim::findsUsesAndOpens() {
    QFETCH(bool, byKeyboard);
    QVERIFY2(panel_->startSim({"--baud", "19200", "--address", "7", "--verbose"}),
             qPrintable(panel_->sim().transcript()));
    QVERIFY(openDialog());
    // A pseudo-terminal carries no parity, so the simulator would answer at
    // every parity of its baud rate: the search asks at one of them.
    tickOnly({QStringLiteral("9600E"), QStringLiteral("19200E")});
    QVERIFY(panel_->click(QStringLiteral("FindStart")));
    auto* table = panel_->find<QTableWidget>(QStringLiteral("FindResults"));
    QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() > 0, kSearchMs);
    if (!byKeyboard) {  // Enter takes the row while the search goes on
        bool ended = false;
        QObject listening;  // a signal still on its way dies with this frame
        connect(&dialog_->search(), &finder::ModuleSearch::finished, &listening,
                [&] { ended = true; });
        QVERIFY(panel_->click(QStringLiteral("FindStop")));
        QVERIFY(!panel_->find<QWidget>(QStringLiteral("FindStop"))->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(ended, kSearchMs);
        // Copied and saved alike: what was tried, how it ended, the rows.
        QVERIFY(panel_->click(QStringLiteral("FindCopy")));
        const QString saved = QDir::temp().filePath(QStringLiteral("tst_find_sim_saved.txt"));
        QVERIFY(dialog_->saveTo(saved));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromUtf8(file.readAll());
        QFile::remove(saved);
        QCOMPARE(QApplication::clipboard()->text(), text);
        const QStringList lines = text.split(QLatin1Char('\n'));
        QVERIFY(lines.first().startsWith(QStringLiteral("# 查找模块，开始于 ")));
        QCOMPARE(lines.mid(1, 5),
                 (QStringList{"# 端口：1 (" + panel_->linkPath() + ")",
                              "# 端口1：在串口上以 2 种波特率和校验查找地址 1–247",
                              "# 波特率和校验：9600,E 19200,E；地址 1–247", "# 已停止，端口已关闭",
                              "端口\t设备\t波特率\t校验\t地址\t应答\t依据\t读回的点"}));
        QVERIFY(
            lines.value(6).startsWith("1\t" + panel_->linkPath() + "\t19200\tE\t7\tTQ7310 模块\t"));
        QVERIFY(lines.value(6).endsWith(table->item(0, 7)->text()));
    }
    QCOMPARE(rowsOf(table), QStringList("1|" + panel_->linkPath() + "|19200|E|7|TQ7310 模块"));
    // The columns fit the dialog; the long ones are whole in their tooltips.
    QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
    // Holding registers 1..16 as the simulator starts: every function 0.
    QVERIFY(table->item(0, 7)->text().endsWith(
        QStringLiteral("保持寄存器1-16: 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0")));
    QCOMPARE(panel_->driver().linkStatus(1)->is_open, byKeyboard ? 1 : 0);

    // Nothing but reads reached the simulator.
    QVERIFY(panel_->sim().command("verbose off"));
    const QStringList log = panel_->sim().transcript().split(QLatin1Char('\n'));
    const QRegularExpression frame(QStringLiteral("^[0-9A-F]{2} ([0-9A-F]{2}) "));
    int frames = 0;
    for (const QString& line : log) {
        if (const auto m = frame.match(line); m.hasMatch()) {
            ++frames;
            QVERIFY2(QStringList({"01", "02", "03", "04"}).contains(m.captured(1)),
                     qPrintable(line));
        }
    }
    QVERIFY(frames >= 4);
    QVERIFY(log.filter(QStringLiteral("ignored, sent at 9600 baud")).size() > 0);

    table->selectRow(0);
    if (byKeyboard) {
        // Tab leaves the table; Enter on the row takes it.
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Tab);
        QVERIFY(!table->hasFocus());
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Return);
    } else {
        QVERIFY(panel_->click(QStringLiteral("FindUse")));
    }
    QTRY_VERIFY(!dialog_ || !dialog_->isVisible());
    QCOMPARE(panel_->driver().linkStatus(1)->is_open, 0);  // the search let go of the port
    QCOMPARE(panel_->text(QStringLiteral("Combo1")), QStringLiteral("1 "));
    QCOMPARE(panel_->text(QStringLiteral("Combo2")), QStringLiteral("7 "));
    QVERIFY(panel_->window().isSelected(QStringLiteral("Option1(1)")));
    QVERIFY(panel_->window().isSelected(QStringLiteral("Option2(2)")));
    auto* statusLine = panel_->find<QStatusBar>(QStringLiteral("LinkStatusBar"));
    QCoreApplication::processEvents();  // the link's status is shown again after a search
    auto* notice = statusLine->findChild<QLabel*>(QStringLiteral("Notice"));
    QCOMPARE(notice->text(), QStringLiteral("已填入：端口1 19200,E,8,1 地址 7，按“打开”连接"));

    QVERIFY(panel_->click(QStringLiteral("Command9")));
    QCOMPARE(notice->text(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(panel_->driver().linkStatus(1)->transactions >= 2, kTicksMs);
    const Tq7310LinkStatus status = *panel_->driver().linkStatus(1);
    QCOMPARE(status.baud, 19200);
    QCOMPARE(status.outcome, int(TQ7310_OK));
    QCOMPARE(status.failures, 0);
}

void tst_FindSim::otherBaudNotFound_data() {
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<int>("rows");
    QTest::newRow("strict line settings") << QStringList{} << 0;
    QTest::newRow("--any-baud, so the test can tell") << QStringList{"--any-baud"} << 1;
}

void tst_FindSim::otherBaudNotFound() {
    QFETCH(QStringList, simOptions);
    QFETCH(int, rows);
    QVERIFY2(panel_->startSim(QStringList{"--baud", "38400"} + simOptions),
             qPrintable(panel_->sim().transcript()));
    QVERIFY(openDialog());
    tickOnly({QStringLiteral("9600E")});
    QVERIFY(panel_->click(QStringLiteral("FindStart")));
    QVERIFY(waitForProgress(16));
    QVERIFY(panel_->click(QStringLiteral("FindStop")));
    QCOMPARE(panel_->find<QTableWidget>(QStringLiteral("FindResults"))->rowCount(), rows);
}

void tst_FindSim::endingLeavesPortClosed_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("停止") << QStringLiteral("FindStop");
    QTest::newRow("关闭") << QStringLiteral("FindClose");
}

void tst_FindSim::endingLeavesPortClosed() {
    QFETCH(QString, button);
    QVERIFY2(panel_->startSim({"--address", "200"}), qPrintable(panel_->sim().transcript()));
    QVERIFY(openDialog());
    int probes = 0;
    QObject listening;  // a signal still on its way dies with this frame
    connect(&dialog_->search(), &finder::ModuleSearch::trying, &listening, [&] { ++probes; });
    QVERIFY(panel_->click(QStringLiteral("FindStart")));
    QVERIFY(waitForProgress(3));
    QCOMPARE(panel_->driver().linkStatus(1)->is_open, 1);
    QCOMPARE(panel_->find<QLabel>(QStringLiteral("LinkState"))->text(),
             QStringLiteral("“查找模块”正在用端口1 查找，轮询已停"));
    bool ended = false;
    connect(&dialog_->search(), &finder::ModuleSearch::finished, &listening, [&] { ended = true; });
    QVERIFY(panel_->click(button));
    const int atClick = probes;
    QTRY_VERIFY_WITH_TIMEOUT(ended, kSearchMs);
    // The probe under way when the click came was the last one.
    QVERIFY(probes <= atClick + 1);
    QCOMPARE(panel_->driver().linkStatus(1)->is_open, 0);
}

void tst_FindSim::vanishedDeviceEndsItsPort() {
    // Port 1: a simulator that goes away mid-search; port 2: a module.
    QVERIFY2(panel_->startSim({"--address", "99"}), qPrintable(panel_->sim().transcript()));
    const QString second = panel_->linkPath() + QStringLiteral("-2");
    SimProcess other;
    QVERIFY2(other.start({"--link", second}), qPrintable(other.transcript()));
    qputenv("TQ7310_COM2", second.toLocal8Bit());
    QVERIFY(openDialog());
    panel_->find<QRadioButton>(QStringLiteral("FindAllPorts"))->setChecked(true);
    tickOnly({QStringLiteral("9600E")});
    QObject listening;  // a signal still on its way dies with this frame
    connect(&dialog_->search(), &finder::ModuleSearch::trying, &listening,
            [&](int port, const finder::LineSetting&, int address) {
                if (port == 1 && address == 3) {
                    panel_->sim().process().kill();
                    panel_->sim().process().waitForFinished();
                }
            });
    QVERIFY(panel_->click(QStringLiteral("FindStart")));
    auto* table = panel_->find<QTableWidget>(QStringLiteral("FindResults"));
    QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() > 0, kSearchMs);
    QVERIFY(panel_->click(QStringLiteral("FindStop")));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("2"));
    const auto* notes = panel_->find<QListWidget>(QStringLiteral("FindNotes"));
    QCOMPARE(notes->count(), 1);
    QVERIFY2(notes->item(0)->text().startsWith(QStringLiteral("端口1")) &&
                 notes->item(0)->text().contains(QStringLiteral("设备不见了")),
             qPrintable(notes->item(0)->text()));
    qunsetenv("TQ7310_COM2");
}

void tst_FindSim::openLinkClosedFirst() {
    QVERIFY2(panel_->startSim(), qPrintable(panel_->sim().transcript()));
    QVERIFY(panel_->showWindow(panel_->linkPath()));
    QVERIFY(panel_->click(QStringLiteral("Command9")));
    QCOMPARE(panel_->driver().linkStatus(1)->is_open, 1);
    QTRY_VERIFY_WITH_TIMEOUT(panel_->driver().linkStatus(1)->transactions > 0, kSearchMs);
    QVERIFY(panel_->click(QStringLiteral("FindModule")));
    dialog_ = panel_->find<FindModuleDialog>(QStringLiteral("FindModuleDialog"));
    QVERIFY(dialog_);
    QCOMPARE(panel_->driver().linkStatus(1)->is_open, 0);
    QVERIFY(!panel_->find<QTimer>(QStringLiteral("Timer1"))->isActive());
    QVERIFY(!panel_->find<QTimer>(QStringLiteral("Timer2"))->isActive());
    QVERIFY(panel_->find<QLabel>(QStringLiteral("FindLinkClosed")));
    // The link's counts stay the link's, through a search and after it.
    const QString counted = panel_->text(QStringLiteral("LinkCounters"));
    QVERIFY2(!counted.startsWith(QStringLiteral("通讯 0 次")), qPrintable(counted));
    QVERIFY(panel_->click(QStringLiteral("FindStart")));
    QVERIFY(waitForProgress(4));
    QVERIFY(panel_->click(QStringLiteral("FindClose")));
    QTRY_COMPARE_WITH_TIMEOUT(panel_->text(QStringLiteral("LinkCounters")), counted, kSearchMs);
}

QStringList tst_FindSim::firstPass(const QStringList& settings) {
    tickOnly(settings);
    bool pastFirstPass = false;
    QObject listening;  // a signal still on its way dies with this frame
    connect(&dialog_->search(), &finder::ModuleSearch::trying, &listening,
            [&](int, const finder::LineSetting&, int address) {
                pastFirstPass = pastFirstPass || address > module_line::kListedAddresses;
            });
    if (!panel_->click(QStringLiteral("FindStart"))) {
        return {};
    }
    const bool passed = QTest::qWaitFor([&] { return pastFirstPass; }, kSearchMs);
    panel_->click(QStringLiteral("FindStop"));
    if (!passed) {
        return {QStringLiteral("first pass not over")};
    }
    return rowsOf(panel_->find<QTableWidget>(QStringLiteral("FindResults")));
}

void tst_FindSim::slowModuleFoundInFirstPass_data() {
    QTest::addColumn<QString>("turnaroundMs");
    QTest::newRow("35 ms: the reply starts just after the fast wait") << QStringLiteral("35");
    QTest::newRow("150 ms: the reply comes during a later probe") << QStringLiteral("150");
}

void tst_FindSim::slowModuleFoundInFirstPass() {
    QFETCH(QString, turnaroundMs);
    QVERIFY2(panel_->startSim({"--baud", "19200", "--address", "5", "--turnaround", turnaroundMs}),
             qPrintable(panel_->sim().transcript()));
    QVERIFY(panel_->sim().command("count 1 5"));  // something tells it from an empty device
    QVERIFY(openDialog());
    // The fast pass as on a real line: the wait a module on an adapter needs.
    dialog_->prober().setAllowanceUs(finder::kProbeAllowanceUs);
    QCOMPARE(firstPass(), QStringList("1|" + panel_->linkPath() + "|19200|E|5|TQ7310 模块"));
}

void tst_FindSim::twoModulesOnOneLine() {
    QTemporaryDir dir;
    SimProcess at4;
    SimProcess at5;
    for (auto [sim, address] : {std::pair{&at4, "4"}, std::pair{&at5, "5"}}) {
        QVERIFY2(sim->start({"--address", address, "--any-baud", "--link",
                             dir.filePath(QStringLiteral("sim%1").arg(address))}),
                 qPrintable(sim->transcript()));
        QVERIFY(sim->command("count 1 5"));
    }
    test_bus::SharedLine line(panel_->linkPath().toStdString(),
                              {at4.device().toStdString(), at5.device().toStdString()});
    QVERIFY(line.ok());
    QVERIFY(openDialog());
    const QString device = panel_->linkPath();
    QCOMPARE(firstPass(), (QStringList{"1|" + device + "|19200|E|4|TQ7310 模块",
                                       "1|" + device + "|19200|E|5|TQ7310 模块"}));
}

using SimArgs = QList<QStringList>;
Q_DECLARE_METATYPE(test_bus::Trouble)

void tst_FindSim::troubledLines_data() {
    // Each at 19200 baud on the bus, its counter 1 at 5, 6, ...; searched at
    // 19200,E and 38400,N.
    QTest::addColumn<SimArgs>("sims");
    QTest::addColumn<test_bus::Trouble>("trouble");
    QTest::addColumn<int>("allowanceUs");
    QTest::addColumn<QStringList>("rows");  // "address|answer"; a run of addresses "–"

    using test_bus::Trouble;
    // A slow module's reply may come within the fast probe or during the
    // look back after the pass; either way it is found at its own address.
    for (const char* turnaround : {"60", "150"}) {
        QTest::addRow("slow module at the band's end, %s ms", turnaround)
            << SimArgs{{"--address", "16", "--turnaround", turnaround}} << Trouble::None
            << int(finder::kProbeAllowanceUs) << QStringList{"16|TQ7310 模块"};
    }
    QTest::newRow("behind an adapter that echoes")
        << SimArgs{{"--address", "7"}} << Trouble::Echo << kLenientAllowanceUs
        << QStringList{"—|回显", "7|TQ7310 模块（经回显适配器）", "—|回显"};
    QTest::newRow("two modules at one address")
        << SimArgs{{"--address", "5"}, {"--address", "5"}} << Trouble::Collide
        << kLenientAllowanceUs << QStringList{"5|该地址似有多台设备同时应答"};
    QTest::newRow("a slave that ignores the address")
        << SimArgs{{"--address", "1"}} << Trouble::AddressBlind << kLenientAllowanceUs
        << QStringList{"–|每个地址都应答：不看地址的设备或网关"};
}

void tst_FindSim::troubledLines() {
    QFETCH(SimArgs, sims);
    QFETCH(test_bus::Trouble, trouble);
    QFETCH(int, allowanceUs);
    QFETCH(QStringList, rows);
    QTemporaryDir dir;
    std::vector<std::unique_ptr<SimProcess>> running;
    std::vector<std::string> devices;
    for (const QStringList& args : sims) {
        auto& sim = running.emplace_back(std::make_unique<SimProcess>());
        const QString link = dir.filePath(QStringLiteral("sim%1").arg(running.size()));
        QVERIFY2(sim->start(args + QStringList{"--baud", "19200", "--link", link}),
                 qPrintable(sim->transcript()));
        QVERIFY(sim->command("count 1 " + QByteArray::number(4 + int(running.size()))));
        devices.push_back(sim->device().toStdString());
    }
    test_bus::SharedLine line(panel_->linkPath().toStdString(), devices, trouble, 1);
    QVERIFY(line.ok());
    QVERIFY(openDialog());
    dialog_->prober().setAllowanceUs(allowanceUs);
    QStringList seen;
    for (const QString& row : firstPass({QStringLiteral("19200E"), QStringLiteral("38400N")})) {
        seen << row.section(QLatin1Char('|'), 4, 5).replace(QRegularExpression("\\d+–\\d+"), "–");
    }
    QCOMPARE(seen.join('\n'), rows.join('\n'));
    // Nothing is picked for the technician where no module was told apart.
    const auto* table = panel_->find<QTableWidget>(QStringLiteral("FindResults"));
    const bool picked = table->currentRow() >= 0;
    QCOMPARE(picked, rows.join(QString()).contains(QStringLiteral("TQ7310 模块")));
}

void tst_FindSim::moduleByUnitOverTcp() {
    // Port 5 at the simulator's Modbus TCP service, a gateway for other units.
    SimProcess sim;
    QVERIFY2(sim.start({"--tcp", "0", "--gateway", "--address", "7"}),
             qPrintable(sim.transcript()));
    qputenv("TQ7310_COM5", sim.target(u"tcp:").toLocal8Bit());
    FindModuleDialog dialog(panel_->driver(), {5, {2, 2}, 1}, false);
    dialog.show();
    dialog.findChild<QSpinBox*>(QStringLiteral("FindLastUnit"))->setValue(9);
    dialog.findChild<QSpinBox*>(QStringLiteral("FindFirstUnit"))->setValue(5);
    bool ended = false;
    connect(&dialog.search(), &finder::ModuleSearch::finished, &dialog, [&] { ended = true; });
    dialog.findChild<QPushButton*>(QStringLiteral("FindStart"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(ended, kSearchMs);
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("FindPlan"))->text(),
             QStringLiteral("端口5：在 tcp %1 上查找单元 5–9").arg(sim.target(u"tcp:").mid(4)));
    const QString at = QStringLiteral("5|%1|—|—|").arg(sim.target(u"tcp:"));
    QCOMPARE(rowsOf(dialog.findChild<QTableWidget*>(QStringLiteral("FindResults"))),
             (QStringList{at + "5–6|无设备", at + "7|TQ7310 模块", at + "8–9|无设备"}));
    qputenv("TQ7310_COM5", "/nonexistent/tq7310");
}

QTEST_MAIN(tst_FindSim)
#include "tst_find_sim.moc"
