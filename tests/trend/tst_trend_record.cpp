// The record's rows as a spreadsheet reads them: literal lines for whole
// ticks, read back by a CSV reader of the test's own; a record whose file is
// replaced, truncated, removed or fills its disk, and one killed mid-row.
#include <sys/mount.h>
#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "CsvReader.h"
#include "Feed.h"
#include "RecordingDriver.h"
#include "RecordingWindow.h"
#include "StartFolder.h"
#include "SystemErrorText.h"

namespace {

const QString kHeader = QStringLiteral(
    "时间,端口,地址,X1 16位计数,X2 16位计数,X3 16位计数,X4 16位计数,"
    "X1 32位计数,X2 32位计数,X3 32位计数,X4 32位计数,X1 频率,X2 频率,X3 频率,X4 频率,"
    "配置寄存器1,配置寄存器2,配置寄存器3,配置寄存器4,配置寄存器5,配置寄存器6,配置寄存器7,"
    "配置寄存器8,配置寄存器9,配置寄存器10,配置寄存器11,配置寄存器12,配置寄存器13,"
    "X1,X2,X3,X4,DI1,DI2,DI3,DI4,DI5,DI6,Y1,Y2,Y3,Y4");

// 17:30:02.125 at UTC+8, as a technician's desktop would give it.
QDateTime tickTime() {
    return QDateTime(QDate(2026, 12, 7), QTime(17, 30, 2, 125), Qt::OffsetFromUTC, 8 * 3600);
}

}  // namespace

class tst_TrendRecord : public QObject {
    Q_OBJECT
  private slots:
    void rows_data();
    void rows();
    void pointColumns_data();
    void pointColumns();
    void pointText_data();
    void pointText();
    void quoting_data();
    void quoting();
    void endOfARecord_data();
    void endOfARecord();
    void wallClockStepsBack();
    void fullDiskLeavesWholeRows();
    void killedMidRecordLeavesWholeRows();
    void startFolder_data();
    void startFolder();
};

void tst_TrendRecord::rows_data() {
    QTest::addColumn<QString>("failing");  // the read that fails during the ticks
    QTest::addColumn<QList<int>>("count32");
    QTest::addColumn<QString>("expected");
    const QList<int> plain = {70000, 2, 3, 4, 50, 0, 0, 1000};
    QTest::newRow("all reads good")
        << "" << plain
        << "2026-12-07T17:30:02.125+08:00,1,7,4464,2,3,4,70000,2,3,4,50,0,0,1000,"
           "0,1,2,0,1,500,0,0,0,0,0,0,1,1,0,1,0,0,0,0,0,0,1,1,0,0,0";
    QTest::newRow("32-bit read fails") << "Get_3X_LUNDX" << plain
                                       << "2026-12-07T17:30:02.125+08:00,1,7,4464,2,3,4,,,,,,,,,"
                                          "0,1,2,0,1,500,0,0,0,0,0,0,1,1,0,1,0,0,0,0,0,0,1,1,0,0,0";
    QTest::newRow("coil read fails")
        << "Get_0X_B16" << plain
        << "2026-12-07T17:30:02.125+08:00,1,7,4464,2,3,4,70000,2,3,4,50,0,0,1000,"
           "0,1,2,0,1,500,0,0,0,0,0,0,1,1,0,1,0,0,0,0,0,0,1,,,,";
    QTest::newRow("negative 32-bit values")
        << "" << QList<int>{-1, -2147483648, 2147483647, -8887, 0, 0, 0, 0}
        << "2026-12-07T17:30:02.125+08:00,1,7,4464,2,3,4,-1,-2147483648,2147483647,-8887,"
           "0,0,0,0,0,1,2,0,1,500,0,0,0,0,0,0,1,1,0,1,0,0,0,0,0,0,1,1,0,0,0";
}

void tst_TrendRecord::rows() {
    QFETCH(QString, failing);
    QFETCH(QList<int>, count32);
    QFETCH(QString, expected);

    LinkParamTable linkParam{};
    linkParam[link_param::kPort] = 1;
    linkParam[link_param::kAddress] = 7;
    RecordingDriver driver;
    driver.count16 = {4464, 2, 3, 4};
    driver.count32.assign(count32.begin(), count32.end());
    driver.config = {0, 1, 2, 0, 1, 500, 0, 0, 0, 0, 0, 0, 1, 9, 9, 9};
    driver.inputBytes[0] = 0b0000'0101;  // X1, X3
    driver.inputBytes[1] = 0b10;         // DI6
    driver.coilBytes[0] = 0b0001;        // Y1
    driver.onCall = [&](const QString& op) {
        driver.readFailure = op == failing ? std::optional(MODBUSRTU_FAILED) : std::nullopt;
    };
    RecordingWindow window;
    StatusPoll statusPoll(linkParam, driver, window, &tickTime);
    CounterPoll counterPoll(linkParam, driver, window, &tickTime);
    trend::Feed feed(statusPoll, counterPoll);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    QVERIFY(feed.startRecording(path));
    statusPoll.Timer1_Timer();
    counterPoll.Timer2_Timer();
    feed.stopRecording();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines, (QStringList{kHeader, expected, QString()}));
    const QList<QStringList> rows = readCsv(QString::fromUtf8(bytes.mid(3)));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].size(), 42);
    QCOMPARE(rows[1], expected.split(u','));
}

namespace {

// Three points recorded, one only charted; "only" tracks the first alone.
std::vector<trend::TrackedPoint> trackedPoints(bool all) {
    std::vector<trend::TrackedPoint> points{
        {"1/3/40/0", "温度", "°C", 1, true, true, 5000},
        {"1/3/41/0", "从站1 保持寄存器 第 42 点", "", -1, false, true, 5000},
        {"2/4/1/0", "压力, 入口", "bar", 2, false, true, 5000},
        {"2/4/2/0", "流量", "", -1, true, false, 5000}};
    points.resize(all ? 4 : 1);
    return points;
}

}  // namespace

void tst_TrendRecord::pointColumns_data() {
    // At a moment in ms: "a=21.46@0" a read of point a (b, c, d; "-" failed),
    // "start@0", "tick@1000", "only@500" (a alone tracked), "all@500".
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("header");  // after the module's columns
    QTest::addColumn<QString>("cells");   // of each row, after the module's
    const QString all = QStringLiteral("温度 (°C),从站1 保持寄存器 第 42 点,\"压力, 入口 (bar)\"");
    QTest::newRow("each with its decimals, or as read")
        << "a=21.46@0 b=0.1@0 c=2@0 d=3@0 start@0 tick@1000" << all << "21.5,0.1,2.00";
    QTest::newRow("read while recording; a failed read empty")
        << "start@0 a=21.46@500 b=-@500 c=-1.234@500 tick@1000" << all << "21.5,,-1.23";
    QTest::newRow("never an old value")
        << "a=1@0 b=2@0 start@0 c=3@4000 tick@5000 tick@5001" << all << "1.0,2,3.00|,,3.00";
    QTest::newRow("a value again with the next read")
        << "a=1@0 start@0 tick@6000 a=2@6500 tick@7000" << all << ",,|2.0,,";
    QTest::newRow("a point no longer tracked keeps its column, empty")
        << "a=1@0 b=2@0 start@0 only@500 tick@1000" << all << "1.0,,";
    QTest::newRow("a point tracked later has none")
        << "only@0 start@0 all@100 a=1@200 b=2@200 tick@1000"
        << "温度 (°C)"
        << "1.0";
}

void tst_TrendRecord::pointColumns() {
    QFETCH(QString, events);
    QFETCH(QString, header);
    QFETCH(QString, cells);
    qint64 now = 0;
    LinkParamTable linkParam{};
    RecordingDriver driver;
    RecordingWindow window;
    StatusPoll statusPoll(linkParam, driver, window, &tickTime);
    CounterPoll counterPoll(linkParam, driver, window, &tickTime);
    trend::Feed feed(statusPoll, counterPoll, &tickTime, [&now] { return now; });
    feed.setTrackedPoints(trackedPoints(true));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    for (const QString& event : events.split(u' ')) {
        const QString what = event.section(u'@', 0, 0);
        now = event.section(u'@', 1).toLongLong();
        if (what == "start") {
            QVERIFY(feed.startRecording(path));
        } else if (what == "tick") {
            counterPoll.Timer2_Timer();
        } else if (what == "only" || what == "all") {
            feed.setTrackedPoints(trackedPoints(what == "all"));
        } else {
            const QString value = what.section(u'=', 1);
            feed.takePointReads({{trackedPoints(true)[what[0].unicode() - 'a'].key,
                                  value == "-" ? std::nullopt : std::optional(value.toDouble())}});
        }
    }
    feed.stopRecording();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll().mid(3));
    QCOMPARE(text.section(u'\r', 0, 0).section(u',', 42), header);  // as written, quoted
    QStringList shown;
    for (const QStringList& row : readCsv(text).mid(1)) {
        shown << row.mid(42).join(u',');
    }
    QCOMPARE(shown.join(u'|'), cells);
}

void tst_TrendRecord::pointText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("a whole number as read") << 1e6 << -1 << "1000000";
    QTest::newRow("a 32-bit count, every digit") << 4294967295.0 << -1 << "4294967295";
    QTest::newRow("a float as it was read") << double(0.1f) << -1 << "0.1";
    QTest::newRow("a double, as many digits as tell it") << 1.0 / 3 << -1 << "0.3333333333333333";
    QTest::newRow("decimals rounded") << -12.76 << 1 << "-12.8";
    QTest::newRow("decimals padded") << 7.0 << 2 << "7.00";
    QTest::newRow("nothing is not negative") << -0.001 << 2 << "0.00";
}

void tst_TrendRecord::pointText() {
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(QString::fromLatin1(trend::pointText(value, decimals)), text);
}

void tst_TrendRecord::quoting_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("plain") << QStringList{"a", "", "1"};
    QTest::newRow("comma") << QStringList{"COM1,2", "x"};
    QTest::newRow("quote") << QStringList{"say \"hi\"", ""};
    QTest::newRow("line break") << QStringList{"two\r\nlines", "\n"};
}

void tst_TrendRecord::quoting() {
    QFETCH(QStringList, fields);
    const QByteArray line = trend::csvLine(fields);
    QVERIFY(line.endsWith("\r\n"));
    QCOMPARE(readCsv(QString::fromUtf8(line)), QList<QStringList>{fields});
}

namespace {
// Lines in the file at `path`, the header included; -1 when there is none.
int linesIn(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("\r\n")) : -1;
}
}  // namespace

void tst_TrendRecord::endOfARecord_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("status");  // with the first file's path as %1
    QTest::newRow("stopped by hand") << "stop"
                                     << "记录已保存：%1";
    QTest::newRow("file removed") << "remove"
                                  << "记录已停止：文件已被删除或移走";
    QTest::newRow("file moved away") << "move"
                                     << "记录已停止：文件已被删除或移走";
    QTest::newRow("file saved over by renaming") << "replace"
                                                 << "记录已停止：文件已被替换";
    QTest::newRow("file emptied") << "truncate"
                                  << "记录已停止：文件已被截断";
    QTest::newRow("file shortened by a byte") << "shorten"
                                              << "记录已停止：文件已被截断";
    QTest::newRow("folder hidden behind a link loop")
        << "hide"
        << "记录已停止：无法查看文件：" + systemErrorText(ELOOP, ErrorSubject::File);
    QTest::newRow("a new record") << "restart"
                                  << "记录中：%1-2";
}

void tst_TrendRecord::endOfARecord() {
    QFETCH(QString, how);
    QFETCH(QString, status);
    // Qt warns of a file renamed while open: a record closes one before the next.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    LinkParamTable linkParam{};
    RecordingDriver driver;
    RecordingWindow window;
    StatusPoll statusPoll(linkParam, driver, window, &tickTime);
    CounterPoll counterPoll(linkParam, driver, window, &tickTime);
    trend::Feed feed(statusPoll, counterPoll);
    QTemporaryDir dir;
    const QString path = QDir::toNativeSeparators(dir.filePath(QStringLiteral("record.csv")));
    QVERIFY(feed.startRecording(path));
    counterPoll.Timer2_Timer();
    const qint64 size = QFileInfo(path).size();
    QFile other(path + "-other");
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("edited\r\n");
    other.close();
    if (how == "stop") {
        feed.stopRecording();
    } else if (how == "remove") {
        QVERIFY(QFile::remove(path));
    } else if (how == "move") {
        QVERIFY(QFile::rename(path, path + "-moved"));
    } else if (how == "replace") {
        QVERIFY(std::rename(QFile::encodeName(other.fileName()), QFile::encodeName(path)) == 0);
    } else if (how == "truncate" || how == "shorten") {
        QVERIFY(QFile::resize(path, how == "truncate" ? 0 : size - 1));
    } else if (how == "hide") {
        // The file is still there, but its path cannot be looked at.
        QVERIFY(QFile::rename(dir.path(), dir.path() + "-away"));
        QVERIFY(QFile::link(dir.path(), dir.path()));
    } else {
        QVERIFY(feed.startRecording(path + "-2"));
    }
    counterPoll.Timer2_Timer();
    QCOMPARE(feed.recordStatus(), QString(status).replace(QStringLiteral("%1"), path));
    // The first file ends with the row before the end, and nothing is
    // written after it; a new record takes the next tick.
    QCOMPARE(feed.recording(), how == "restart");
    if (how == "hide") {
        QVERIFY(QFile::remove(dir.path()) && QFile::rename(dir.path() + "-away", dir.path()));
    }
    const QHash<QString, int> linesLeft{
        {"remove", -1}, {"move", -1}, {"replace", 1}, {"truncate", 0}, {"shorten", 1}};
    QCOMPARE(linesIn(path), linesLeft.value(how, 2));
    if (how == "restart") {
        QCOMPARE(linesIn(path + "-2"), 2);
    }
}

namespace {

trend::Sample someSample(int n) {
    trend::Sample s;
    s.time = tickTime().addSecs(n);
    s.count32 = {n, -n, 70000, 0};
    s.frequency[2] = 1000;
    return s;
}

// The bytes of a record at `path` as rows; every row the header's width but
// at most the last, which is at least what was written of one.
void checkRows(const QString& path, bool lastMayBeCut, int atLeast) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    if (!lastMayBeCut) {
        QVERIFY(bytes.endsWith("\r\n"));
    }
    const QList<QStringList> rows = readCsv(QString::fromUtf8(bytes.mid(3)));
    QVERIFY(rows.size() > atLeast);
    QCOMPARE(rows[0].join(u','), kHeader);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        if (r + 1 == rows.size() && lastMayBeCut) {
            QVERIFY(rows[r].size() <= 42);
        } else {
            QCOMPARE(rows[r], trend::recordFields(someSample(int(r))));
        }
    }
}

// Mounts a small tmpfs at `dir` where permitted; else limits the size of the
// files this process writes, so a write stops mid-row all the same.
struct SmallDisk {
    QString dir;
    bool mounted = false;
    rlimit saved{};
    explicit SmallDisk(const QString& at) : dir(at) {
        mounted = ::mount("tmpfs", QFile::encodeName(dir), "tmpfs", 0, "size=8k") == 0;
        if (!mounted) {
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit small = saved;
            small.rlim_cur = 8192;
            setrlimit(RLIMIT_FSIZE, &small);
        }
    }
    ~SmallDisk() {
        if (mounted) {
            ::umount2(QFile::encodeName(dir), MNT_DETACH);
        } else {
            setrlimit(RLIMIT_FSIZE, &saved);
        }
    }
};

}  // namespace

// A time server sets the wall clock back an hour between two ticks: the
// rows say the times the ticks brought, the history keeps its order.
void tst_TrendRecord::wallClockStepsBack() {
    QDateTime wall = tickTime();
    qint64 monotonic = 1000;
    const auto clock = [&wall] { return wall; };
    LinkParamTable linkParam{};
    RecordingDriver driver;
    RecordingWindow window;
    StatusPoll statusPoll(linkParam, driver, window, clock);
    CounterPoll counterPoll(linkParam, driver, window, clock);
    trend::Feed feed(statusPoll, counterPoll, clock, [&monotonic] { return monotonic; });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    QVERIFY(feed.startRecording(path));
    for (int secs : {0, -3600, 1}) {
        wall = wall.addSecs(secs);
        monotonic += 1000;
        driver.count32[0] = int(monotonic);
        counterPoll.Timer2_Timer();
    }
    feed.stopRecording();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList times;
    for (const QStringList& row : readCsv(QString::fromUtf8(file.readAll().mid(3))).mid(1)) {
        times << row[0];
    }
    QCOMPARE(times, (QStringList{"2026-12-07T17:30:02.125+08:00", "2026-12-07T16:30:02.125+08:00",
                                 "2026-12-07T16:30:03.125+08:00"}));
    QCOMPARE(feed.nowMs(), 4000);
    QCOMPARE(feed.wallOffsetMs(), wall.toMSecsSinceEpoch() - 4000);
    QCOMPARE(feed.history().curve(trend::Quantity::Count32, 0, 2500),
             (QList<QPointF>{{3000, 3000}, {4000, 4000}}));
}

void tst_TrendRecord::fullDiskLeavesWholeRows() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    QString failure;
    {
        SmallDisk disk(dir.path());
        trend::RecordFile record;
        QCOMPARE(record.open(path), QString());
        for (int n = 1; n < 1000 && failure.isEmpty(); ++n) {
            failure = record.append(someSample(n));
        }
        QVERIFY(!record.isOpen());
        QCOMPARE(failure, disk.mounted ? QStringLiteral("磁盘已满") : QStringLiteral("文件过大"));
        checkRows(path, false, 10);
    }
}

void tst_TrendRecord::killedMidRecordLeavesWholeRows() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.csv"));
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write-record"), path});
    QVERIFY(child.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > 20000, 10000);
    child.kill();
    QVERIFY(child.waitForFinished(5000));
    checkRows(path, true, 20);
}

void tst_TrendRecord::startFolder_data() {
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("documents");
    QTest::addColumn<QString>("start");
    const QString gone = QDir::tempPath() + "/no-such-folder";
    QTest::newRow("the last folder") << QDir::rootPath() << QDir::tempPath() << QDir::rootPath();
    QTest::newRow("the last folder gone") << gone << QDir::tempPath() << QDir::tempPath();
    QTest::newRow("no documents folder") << QString() << gone << QDir::homePath();
    QTest::newRow("no documents at all") << QString() << QString() << QDir::homePath();
}

void tst_TrendRecord::startFolder() {
    QFETCH(QString, remembered);
    QFETCH(QString, documents);
    QFETCH(QString, start);
    QCOMPARE(firstExistingFolder(remembered, documents), start);
}

// As a child: records rows as fast as it can until killed.
int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--write-record") == 0) {
        trend::RecordFile record;
        if (!record.open(QString::fromLocal8Bit(argv[2])).isEmpty()) {
            return 1;
        }
        for (int n = 1; record.append(someSample(n)).isEmpty(); ++n) {
        }
        return 1;
    }
    QCoreApplication app(argc, argv);
    tst_TrendRecord test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_trend_record.moc"
