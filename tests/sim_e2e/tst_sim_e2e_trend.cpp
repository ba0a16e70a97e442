// The record and the curves on the real driver against tq7310-sim: a row a
// counter tick holding what the module holds, rows going on with empty cells
// when the module is gone, and not one request more on the line for them.
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "CsvReader.h"
#include "PanelOnSim.h"
#include "TrendWindow.h"

using namespace sim_e2e;

namespace {

constexpr int kFields = 42;
constexpr int kFirstCount16 = 3;  // then the 32-bit counts, then the frequencies

QList<QStringList> recordRows(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<QStringList> rows = readCsv(QString::fromUtf8(file.readAll()));
    if (!rows.isEmpty()) {
        rows.removeFirst();  // the header
    }
    return rows;
}

// Opens the link and the curves' window and starts a record in `path`.
bool startRecording(PanelOnSim& panel, const QString& path) {
    if (!panel.click(QStringLiteral("Command9")) || panel.openResult() != 0 ||
        !panel.click(QStringLiteral("TrendWindow")) || panel.window().trendWindow() == nullptr) {
        return false;
    }
    panel.window().trendWindow()->setRecordPathChooser([path](const QString&) { return path; });
    return panel.click(QStringLiteral("TrendRecord")) && panel.window().trendFeed().recording();
}

}  // namespace

class tst_SimE2eTrend : public QObject {
    Q_OBJECT
  private slots:
    void rowPerTickWithTheModulesCounts();
    void rowsGoOnWhenTheModuleIsGone();
    void noExtraRequest();
};

void tst_SimE2eTrend::rowPerTickWithTheModulesCounts() {
    PanelOnSim panel;
    QVERIFY(panel.valid());
    QVERIFY(panel.startSim());
    // Counts that hold still, so the record and `show` can be compared.
    const QByteArray setup[] = {"freq 1 0",           "freq 2 0",      "freq 3 0",
                                "freq 4 0",           "count 1 70000", "count 2 65535",
                                "count 3 4294967295", "count 4 12"};
    for (const QByteArray& line : setup) {
        QVERIFY2(panel.sim().command(line), qPrintable(panel.sim().transcript()));
    }
    QVERIFY(panel.showWindow(panel.sim().device()));
    TickWatch ticks(panel.window(), "Timer2");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    QVERIFY(startRecording(panel, path));
    const int first = ticks.ticks();
    QVERIFY(ticks.waitFor(10, 30000));
    QVERIFY(panel.click(QStringLiteral("TrendStopRecord")));
    const int recorded = ticks.ticks() - first;

    const QList<QStringList> rows = recordRows(path);
    QVERIFY2(qAbs(rows.size() - recorded) <= 1,
             qPrintable(QStringLiteral("%1 rows, %2 ticks").arg(rows.size()).arg(recorded)));
    panel.sim().send("show");
    for (int x = 0; x < 4; ++x) {
        QString line;
        const QRegularExpression pattern(
            QStringLiteral("^X%1 .* count16 (\\d+) count32 (\\d+) frequency (\\d+)$").arg(x + 1));
        QVERIFY(panel.sim().waitForLine(pattern, 5000, &line));
        const auto m = pattern.match(line);
        for (const QStringList& row : rows) {
            QCOMPARE(row.size(), kFields);
            QCOMPARE(row[kFirstCount16 + x], m.captured(1));
            // The record shows a 32-bit count as the window does, in signed decimal.
            QCOMPARE(row[kFirstCount16 + 4 + x],
                     QString::number(std::int32_t(m.captured(2).toUInt())));
            QCOMPARE(row[kFirstCount16 + 8 + x], m.captured(3));
        }
    }
}

void tst_SimE2eTrend::rowsGoOnWhenTheModuleIsGone() {
    PanelOnSim panel;
    QVERIFY(panel.valid());
    QVERIFY(panel.startSim());
    QTemporaryDir dir;
    // The window's port leads through a name that goes with the module, as
    // an unplugged adapter's does: the freed pseudo-terminal number may be
    // another program's by the time the driver tries it again.
    const QString adapter = dir.filePath(QStringLiteral("adapter"));
    QVERIFY(QFile::link(panel.sim().device(), adapter));
    QVERIFY(panel.showWindow(adapter));
    TickWatch ticks(panel.window(), "Timer2");
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    QVERIFY(startRecording(panel, path));
    QVERIFY(ticks.waitFor(2, 10000));
    panel.sim().process().kill();
    QVERIFY(panel.sim().process().waitForFinished(5000));
    QVERIFY(QFile::remove(adapter));
    QVERIFY(ticks.waitFor(3, 60000));
    QVERIFY(panel.window().trendFeed().recording());

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().endsWith("\r\n"));
    const QList<QStringList> rows = recordRows(path);
    QVERIFY(rows.size() >= 5);
    for (const QStringList& row : rows) {
        QCOMPARE(row.size(), kFields);
    }
    // Values while the module was there (a loaded machine may fail a read
    // before it went), none once it had gone.
    QVERIFY(std::any_of(rows.begin(), rows.end() - 1,
                        [](const QStringList& row) { return !row[kFirstCount16].isEmpty(); }));
    for (int field = kFirstCount16; field < kFields; ++field) {
        QVERIFY2(rows.last()[field].isEmpty(), qPrintable(rows.last().join(u',')));
    }
}

void tst_SimE2eTrend::noExtraRequest() {
    PanelOnSim panel;
    QVERIFY(panel.valid());
    QVERIFY(panel.startSim());
    QVERIFY(panel.showWindow(panel.sim().device()));
    QVERIFY(panel.click(QStringLiteral("Command9")));
    QCOMPARE(panel.openResult(), 0);
    // The ticks are run by hand, so both runs hold the same ones.
    panel.window().setTimerEnabled(QStringLiteral("Timer1"), false);
    panel.window().setTimerEnabled(QStringLiteral("Timer2"), false);
    const auto requestsOfTicks = [&panel] {
        const QRegularExpression frame(QStringLiteral("^[0-9A-Fa-f ]+: "));
        if (!panel.sim().command("verbose on")) {
            return -1;
        }
        const qsizetype from = panel.sim().transcript().split(u'\n').size();
        for (int tick = 0; tick < 3; ++tick) {
            panel.window().statusPoll().Timer1_Timer();
            panel.window().counterPoll().Timer2_Timer();
        }
        if (!panel.sim().command("verbose off")) {
            return -1;
        }
        const QStringList lines = panel.sim().transcript().split(u'\n').mid(from);
        return int(lines.filter(frame).size());
    };
    const int without = requestsOfTicks();
    QCOMPARE(without, 3 * 5);
    QTemporaryDir dir;
    QVERIFY(panel.click(QStringLiteral("TrendWindow")));
    panel.window().trendWindow()->setRecordPathChooser(
        [&dir](const QString&) { return dir.filePath(QStringLiteral("r.csv")); });
    QVERIFY(panel.click(QStringLiteral("TrendRecord")));
    QVERIFY(panel.window().trendFeed().recording());
    QCOMPARE(requestsOfTicks(), without);
    QCOMPARE(recordRows(dir.filePath(QStringLiteral("r.csv"))).size(), 3);
}

QTEST_MAIN(tst_SimE2eTrend)
#include "tst_sim_e2e_trend.moc"
