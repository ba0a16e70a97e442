// The record's rows as a spreadsheet reads them: literal lines for whole
// ticks, read back by a CSV reader of the test's own.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "CsvReader.h"
#include "Feed.h"
#include "RecordingDriver.h"
#include "RecordingWindow.h"

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
    void quoting_data();
    void quoting();
    void endOfARecord_data();
    void endOfARecord();
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
    if (how == "stop") {
        feed.stopRecording();
    } else if (how == "remove") {
        QVERIFY(QFile::remove(path));
    } else {
        QVERIFY(feed.startRecording(path + "-2"));
    }
    counterPoll.Timer2_Timer();
    QCOMPARE(feed.recordStatus(), QString(status).replace(QStringLiteral("%1"), path));
    // The first file ends with the row before the end, and nothing is
    // written after it; a new record takes the next tick.
    QCOMPARE(feed.recording(), how == "restart");
    QCOMPARE(linesIn(path), how == "remove" ? -1 : 2);
    if (how == "restart") {
        QCOMPARE(linesIn(path + "-2"), 2);
    }
}

QTEST_MAIN(tst_TrendRecord)
#include "tst_trend_record.moc"
