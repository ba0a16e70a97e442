// The workspace file: what is saved comes back, and a file that is newer or
// does not read is refused whole, with the reason.
#include <sys/stat.h>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "Workspace.h"

using anypoint::Workspace;

namespace {

QString text(const Workspace& w) {
    QStringList rows;
    for (const anypoint::PointRow& r : w.rows) {
        rows << QStringLiteral("%1/%2/%3/%4/%5/%6")
                    .arg(r.address)
                    .arg(static_cast<int>(r.table))
                    .arg(r.first)
                    .arg(r.count)
                    .arg(static_cast<int>(r.format))
                    .arg(r.periodMs);
        if (r.base != 1 || r.waitMs != 0 || r.retries != 0) {
            rows.last() += QStringLiteral(" from %1 wait %2 retries %3")
                               .arg(r.base)
                               .arg(r.waitMs)
                               .arg(r.retries);
        }
        for (const anypoint::PointLabel& l : r.labels) {
            rows.last() += QStringLiteral(" [%1 x%2 %3 .%4 %5%6%7]")
                               .arg(l.name)
                               .arg(l.scale)
                               .arg(l.offset)
                               .arg(l.decimals)
                               .arg(l.unit)
                               .arg(l.charted ? " 曲线" : "")
                               .arg(l.recorded ? " 记录" : "");
        }
    }
    QStringList places;
    for (const auto& place : {w.trendPlace, w.trafficPlace, w.anyPointPlace}) {
        places << (place ? QStringLiteral("%1,%2,%3,%4")
                               .arg(place->x())
                               .arg(place->y())
                               .arg(place->width())
                               .arg(place->height())
                         : QStringLiteral("-"));
    }
    QStringList ports;
    for (const auto& [port, target] : w.ports.value_or(std::map<int, QString>{})) {
        ports << QStringLiteral("%1=%2").arg(port).arg(target);
    }
    return QStringLiteral(
               "%1 %2 %3 %4 %5%6%7 span %8 quantity %9 at %10 rows %11 ports %12 base %13")
        .arg(w.port)
        .arg(w.baudCode)
        .arg(w.parityCode)
        .arg(w.address)
        .arg(w.trendOpen)
        .arg(w.trafficOpen)
        .arg(w.anyPointOpen)
        .arg(w.trendSpan)
        .arg(w.trendQuantity ? QString::number(*w.trendQuantity) : QStringLiteral("-"))
        .arg(places.join(' '))
        .arg(rows.join(' '))
        .arg(w.ports ? ports.join(' ') : QStringLiteral("-"))
        .arg(w.pointBase);
}

}  // namespace

class tst_AnyPointWorkspace : public QObject {
    Q_OBJECT
  private slots:
    void read_data();
    void read();
};

void tst_AnyPointWorkspace::read_data() {
    QTest::addColumn<QByteArray>("edit");  // "key": value put into a saved file; empty: as saved
    QTest::addColumn<QString>("file");     // what is at the path instead of the file, if anything
    QTest::addColumn<QString>("result");   // the workspace read, or why it was refused

    const QString saved =
        "200 3 0 247 101 span 3 quantity - at -8,0,960,800 - - rows 1/3/14/3/6/500 from 0 wait "
        "2500 retries 3 [温度 x0.1 -40 .1 °C 曲线] [ x1 0 .-1  记录] 9/1/1/2000/0/0 ports - base "
        "0";  // as a file saved before ports were kept: they stay as they are
    QTest::newRow("as saved") << QByteArray() << QString() << saved;
    const QByteArray row = R"("rows": [{"address": 1, "function": 3, "first": 1, "count": 2,)"
                           R"( "format": 0, "periodMs": 0)";
    QTest::newRow("a row as saved before points were named")
        << row + "}]" << QString()
        << QString(saved).replace(QRegularExpression(" rows .* ports"), " rows 1/3/1/2/0/0 ports");
    QTest::newRow("base 2") << row + R"(, "base": 2}])" << QString()
                            << "工作区文件的第 1 行的 base 无效，未打开";
    QTest::newRow("a wait too short")
        << row + R"(, "waitMs": 99}])" << QString() << "工作区文件的第 1 行的 waitMs 无效，未打开";
    QTest::newRow("retries 4") << row + R"(, "retries": 4}])" << QString()
                               << "工作区文件的第 1 行的 retries 无效，未打开";
    QTest::newRow("scale 0") << row + R"(, "labels": [{"scale": 0}]}])" << QString()
                             << "工作区文件的第 1 行的 labels 无效，未打开";
    QTest::newRow("decimals -2") << row + R"(, "labels": [{"decimals": -2}]}])" << QString()
                                 << "工作区文件的第 1 行的 labels 无效，未打开";
    QTest::newRow("more labels than values") << row + R"(, "labels": [{}, {}, {}]}])" << QString()
                                             << "工作区文件的第 1 行的 labels 无效，未打开";
    QTest::newRow("a name as a number") << row + R"(, "labels": [{"name": 5}]}])" << QString()
                                        << "工作区文件的第 1 行的 labels 无效，未打开";
    QTest::newRow("point base 2") << QByteArray(R"("pointBase": 2)") << QString()
                                  << "工作区文件的 pointBase 无效，未打开";
    QTest::newRow("a quantity chosen") << QByteArray(R"("trendQuantity": 2)") << QString()
                                       << QString(saved).replace("quantity -", "quantity 2");
    QTest::newRow("quantity 3") << QByteArray(R"("trendQuantity": 3)") << QString()
                                << "工作区文件的 trendQuantity 无效，未打开";
    QTest::newRow("a place of three numbers")
        << QByteArray(R"("trafficPlace": [1, 2, 3])") << QString()
        << "工作区文件的 trafficPlace 无效，未打开";
    QTest::newRow("a place of no width") << QByteArray(R"("anyPointPlace": [0, 0, 0, 10])")
                                         << QString() << "工作区文件的 anyPointPlace 无效，未打开";
    QTest::newRow("ports")
        << QByteArray(
               R"("ports": {"3": "tcp:plc:502", "40": "rtu-tcp:[fd00::5]:4001", "5": "/dev/ttyS4"})")
        << QString()
        << QString(saved).replace("ports -",
                                  "ports 3=tcp:plc:502 5=/dev/ttyS4 40=rtu-tcp:[fd00::5]:4001");
    QTest::newRow("ports, none chosen")
        << QByteArray(R"("ports": {})") << QString() << QString(saved).replace("ports -", "ports ");
    QTest::newRow("ports, rtu-tcp without its port")
        << QByteArray(R"("ports": {"4": "rtu-tcp:10.0.0.5"})") << QString()
        << "工作区文件的 ports 无效，未打开";
    QTest::newRow("ports, port 0") << QByteArray(R"("ports": {"0": "/dev/ttyS0"})") << QString()
                                   << "工作区文件的 ports 无效，未打开";
    QTest::newRow("ports, a list") << QByteArray(R"("ports": ["/dev/ttyS0"])") << QString()
                                   << "工作区文件的 ports 无效，未打开";
    QTest::newRow("newer") << QByteArray(R"("version": 2)") << QString()
                           << "工作区文件来自更新的版本（版本 2），未打开";
    QTest::newRow("version as text")
        << QByteArray(R"("version": "1")") << QString() << "工作区文件的版本号无效，未打开";
    QTest::newRow("no version") << QByteArray(R"({"port": 1})") << QString()
                                << "工作区文件没有版本号，未打开";
    QTest::newRow("port 256") << QByteArray(R"("port": 256)") << QString()
                              << "工作区文件的 port 无效，未打开";
    QTest::newRow("baud code 4") << QByteArray(R"("baudCode": 4)") << QString()
                                 << "工作区文件的 baudCode 无效，未打开";
    QTest::newRow("a fraction") << QByteArray(R"("address": 1.5)") << QString()
                                << "工作区文件的 address 无效，未打开";
    QTest::newRow("126 registers")
        << QByteArray(R"("rows": [{"address": 1, "function": 3, "first": 1, "count": 126,)"
                      R"( "format": 0, "periodMs": 0}])")
        << QString() << "工作区文件的第 1 行的点超出范围，未打开";
    QTest::newRow("2001 coils")
        << QByteArray(R"("rows": [{"address": 1, "function": 1, "first": 1, "count": 2001,)"
                      R"( "format": 0, "periodMs": 0}])")
        << QString() << "工作区文件的第 1 行的点超出范围，未打开";
    QTest::newRow("past point 65536")
        << QByteArray(R"("rows": [{"address": 1, "function": 1, "first": 65536, "count": 2,)"
                      R"( "format": 0, "periodMs": 0}])")
        << QString() << "工作区文件的第 1 行的点超出范围，未打开";
    QTest::newRow("function 5")
        << QByteArray(R"("rows": [{"address": 1, "function": 5, "first": 1, "count": 1,)"
                      R"( "format": 0, "periodMs": 0}])")
        << QString() << "工作区文件的第 1 行的 function 无效，未打开";
    QTest::newRow("not JSON") << QByteArray("{") << QString()
                              << "工作区文件不是有效的 JSON，未打开";
    QTest::newRow("rows an object")
        << QByteArray(R"("rows": {})") << QString() << "工作区文件的 rows 无效，未打开";
    QTest::newRow("rows null") << QByteArray(R"("rows": null)") << QString()
                               << "工作区文件的 rows 无效，未打开";
    QTest::newRow("open as a word") << QByteArray(R"("trendOpen": "yes")") << QString()
                                    << "工作区文件的 trendOpen 无效，未打开";
    QTest::newRow("a period not offered")
        << QByteArray(R"("rows": [{"address": 1, "function": 3, "first": 1, "count": 1,)"
                      R"( "format": 0, "periodMs": 750}])")
        << QString() << "工作区文件的第 1 行的 periodMs 无效，未打开";
    QTest::newRow("version 0") << QByteArray(R"("version": 0)") << QString()
                               << "工作区文件的版本号无效，未打开";
    QTest::newRow("version 1.5") << QByteArray(R"("version": 1.5)") << QString()
                                 << "工作区文件的版本号无效，未打开";
    QTest::newRow("version 1e12") << QByteArray(R"("version": 1e12)") << QString()
                                  << "工作区文件来自更新的版本（版本 1000000000000），未打开";
    QTest::newRow("missing") << QByteArray() << "missing"
                             << "未能打开工作区：文件不存在";
    QTest::newRow("a folder") << QByteArray() << "folder"
                              << "未能打开工作区：是文件夹，不是文件";
#ifdef Q_OS_UNIX  // Windows has neither named pipes in folders nor /dev
    QTest::newRow("a pipe") << QByteArray() << "fifo"
                            << "未能打开工作区：不是普通文件（管道或设备？）";
    QTest::newRow("a device") << QByteArray() << "/dev/zero"
                              << "未能打开工作区：不是普通文件（管道或设备？）";
#endif
    QTest::newRow("5 MB") << QByteArray() << "large"
                          << "未能打开工作区：文件过大（5242880 字节），不是工作区文件";
}

void tst_AnyPointWorkspace::read() {
    QFETCH(QByteArray, edit);
    QFETCH(QString, file);
    QFETCH(QString, result);
    Workspace w;
    w.port = 200;
    w.baudCode = 3;
    w.parityCode = 0;
    w.address = 247;
    w.trendOpen = true;
    w.anyPointOpen = true;
    w.trendSpan = 3;
    w.trendPlace = QRect(-8, 0, 960, 800);
    anypoint::PointRow row;
    row.first = 14;
    row.count = 3;
    row.format = anypoint::Format::Float32;
    row.periodMs = 500;
    row.base = 0;
    row.waitMs = 2500;
    row.retries = 3;
    row.labels = {{"温度", 0.1, -40, 1, "°C", true, false}, {"", 1, 0, -1, "", false, true}};
    row.values = {1, 2, 3};  // what it read is not kept
    w.pointBase = 0;
    w.rows.push_back(row);
    row = {};
    row.address = 9;
    row.table = anypoint::Table::Coils;
    row.count = 2000;
    row.periodMs = 0;
    w.rows.push_back(row);
    QByteArray json = anypoint::workspaceJson(w);
    if (!edit.isEmpty()) {  // the edited keys over the saved ones; not JSON as it is
        QJsonObject saved = QJsonDocument::fromJson(json).object();
        const QJsonDocument changes = QJsonDocument::fromJson("{" + edit + "}");
        const QJsonObject edits = changes.object();
        for (auto it = edits.begin(); it != edits.end(); ++it) {
            saved.insert(it.key(), it.value());
        }
        json = changes.isNull() ? edit : QJsonDocument(saved).toJson();
    }
    QTemporaryDir dir;
    QString path = dir.filePath("workspace.json");
    QFile out(path);
    QVERIFY(file == "missing" || file == "folder" || file == "fifo" ||
            (out.open(QIODevice::WriteOnly) &&
             out.write(file == "large" ? QByteArray(5 << 20, ' ') : json) > 0));
    out.close();
    QVERIFY(file != "folder" || QDir(dir.path()).mkdir("workspace.json"));
#ifdef Q_OS_UNIX
    QVERIFY(file != "fifo" || mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
#endif
    path = file.startsWith('/') ? file : path;
    QVERIFY(anypoint::workspaceFault(w) == std::nullopt);
    const auto read = anypoint::readWorkspaceFile(path);
    const auto* readBack = std::get_if<Workspace>(&read);
    QCOMPARE(readBack ? text(*readBack) : std::get<QString>(read), result);
}

QTEST_GUILESS_MAIN(tst_AnyPointWorkspace)
#include "tst_anypoint_workspace.moc"
