// tq7310-check against the simulator, plain and with each fault a module
// can have: which steps pass, which one turns red, and that the module is
// left as found.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "SimProcess.h"

class CheckOnSim : public QObject {
    Q_OBJECT

    // The simulator's state without its counts, which the check clears, and
    // the levels of its running pulse generators.
    static QString stateOf(SimProcess& sim) {
        sim.send("show");
        if (!sim.waitForLine(QRegularExpression(QStringLiteral("^config ")),
                             SimProcess::kStartMs)) {
            return {};
        }
        const QString text = sim.transcript();
        QString state = text.mid(text.lastIndexOf(QStringLiteral("mode ")));
        state.replace(QRegularExpression(QStringLiteral(" count16 \\d+ count32 \\d+| level [01]")),
                      QString());
        return state;
    }

  private slots:
    void faults_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("step");     // the step that is not passed, empty for none
        QTest::addColumn<QString>("verdict");  // what it is
        QTest::addColumn<QList<int>>("statuses");
        const QString failed = QStringLiteral("失败");
        QTest::newRow("plain") << QStringList() << QString() << QString() << QList<int>{0};
        QTest::newRow("stuck register") << QStringList{"--stuck-register", "3"}
                                        << QStringLiteral("配置") << failed << QList<int>{1};
        QTest::newRow("stuck coil") << QStringList{"--stuck-coil", "2"} << QStringLiteral("输出")
                                    << failed << QList<int>{1};
        QTest::newRow("stuck counter") << QStringList{"--stuck-counter", "2"}
                                       << QStringLiteral("计数") << failed << QList<int>{1};
        QTest::newRow("clear code ignored") << QStringList{"--ignore-clear-code"}
                                            << QStringLiteral("计数") << failed << QList<int>{1};
        QTest::newRow("clear coils swapped") << QStringList{"--swap-clear-coils"}
                                             << QStringLiteral("计数") << failed << QList<int>{1};
        QTest::newRow("frequency dead") << QStringList{"--dead-frequency"}
                                        << QStringLiteral("频率模式") << failed << QList<int>{1};
        // The link step's 100 reads come after the 2 that find the state:
        // a module gone quiet is no module fault the check can tell.
        QTest::newRow("mute") << QStringList{"--mute-after", "110:2000"} << QStringLiteral("配置")
                              << QStringLiteral("通讯故障") << QList<int>{2};
        // A line that loses replies: whatever it costs, never the module's fault.
        QTest::newRow("2 % lost") << QStringList{"--drop", "0.02", "--pace", "--seed", "3"}
                                  << QString() << QString() << QList<int>{0, 2};
        QTest::newRow("other address")
            << QStringList{"--address", "2"} << QString() << QString() << QList<int>{2};
        QTest::newRow("over Modbus TCP")
            << QStringList{"--tcp", "0"} << QString() << QString() << QList<int>{0};
        QTest::newRow("stuck coil, RTU over TCP")
            << QStringList{"--rtu-tcp", "0", "--stuck-coil", "2"} << QStringLiteral("输出")
            << failed << QList<int>{1};
    }

    void faults() {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, step);
        QFETCH(QString, verdict);
        QFETCH(QList<int>, statuses);
        SimProcess sim;
        QVERIFY2(sim.start(simArgs), qPrintable(sim.transcript()));
        const QString before = stateOf(sim);
        QVERIFY(!before.isEmpty());

        QStringList where{"--device", sim.device()};
        for (const QString service : {"tcp", "rtu-tcp"}) {
            if (simArgs.contains("--" + service)) {
                where =
                    QStringList{"--" + service, sim.target(QString(service + ':')).section(':', 1)};
            }
        }
        QProcess check;
        check.start(QStringLiteral(TQ7310_CHECK_PATH), where + QStringList{"--json", "--yes"});
        QVERIFY(check.waitForFinished(90000));
        QVERIFY2(statuses.contains(check.exitCode()),
                 qPrintable(QString::number(check.exitCode())));
        const QJsonObject report = QJsonDocument::fromJson(check.readAllStandardOutput()).object();
        for (const QJsonValue& s : report[QStringLiteral("steps")].toArray()) {
            const QString name = s[QStringLiteral("name")].toString();
            const QString said = s[QStringLiteral("verdict")].toString();
            // Where the line may fail, a step may say so; no step blames the module for it.
            const bool lineOnly = said == QStringLiteral("通讯故障") && statuses.contains(2);
            QVERIFY2(
                name == step ? said == verdict
                             : said != QStringLiteral("失败") &&
                                   (said != QStringLiteral("通讯故障") || lineOnly),
                qPrintable(name + u' ' + said + u' ' +
                           s[QStringLiteral("evidence")].toVariant().toStringList().join(u';')));
        }
        // Could not run: the report shows what was sent and that nothing came back.
        const QString first =
            report[QStringLiteral("steps")][0][QStringLiteral("evidence")][0].toString();
        QVERIFY2(simArgs.value(0) != QLatin1String("--address") ||
                     first.endsWith(QStringLiteral(", 收 无")),
                 qPrintable(first));
        QVERIFY(report[QStringLiteral("notRestored")].toArray().isEmpty());
        QCOMPARE(stateOf(sim), before);
    }

    // Ended by a signal mid-way: the module is put back and the report written.
    void stopSignals_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP, the terminal closed") << SIGHUP;
        QTest::newRow("SIGPIPE, the reader gone") << SIGPIPE;
    }

    void stopSignals() {
        QFETCH(int, signal);
        SimProcess sim;
        QVERIFY2(sim.start({}), qPrintable(sim.transcript()));
        const QString before = stateOf(sim);
        QTemporaryDir folder;
        const QString reportFile = folder.filePath(QStringLiteral("report.json"));
        QProcess check;
        check.start(QStringLiteral(TQ7310_CHECK_PATH),
                    {"--device", sim.device(), "--json", "--report", reportFile, "--yes"});
        QByteArray progress;
        QTRY_VERIFY_WITH_TIMEOUT((progress += check.readAllStandardError()).contains("输出...") ||
                                     check.state() == QProcess::NotRunning,
                                 30000);
        QVERIFY2(progress.contains("输出..."), progress.constData());
        ::kill(pid_t(check.processId()), signal);
        QVERIFY(check.waitForFinished(30000));
        QCOMPARE(check.exitStatus(), QProcess::NormalExit);
        QCOMPARE(check.exitCode(), 2);
        progress += check.readAllStandardError();
        QVERIFY2(progress.contains(": 跳过"), progress.constData());
        QFile written(reportFile);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QJsonObject report = QJsonDocument::fromJson(written.readAll()).object();
        QVERIFY(report[QStringLiteral("stopped")].toBool());
        QVERIFY(report[QStringLiteral("notRestored")].toArray().isEmpty());
        QCOMPARE(stateOf(sim), before);
    }

    // What is answered before anything is sent: help and version, and
    // refusals, as JSON on stdout with --json.
    void answersAtOnce_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const QStringList json{"--device", "/nonexistent/tty", "--json"};
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "退出状态";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "用法";
        QTest::newRow("--version")
            << QStringList{"--version"} << 0 << "tq7310-check " TQ7310_VERSION;
        QTest::newRow("a known step") << QStringList{"--only", "计数,输入", "-h"} << 0 << "用法";
        QTest::newRow("no --yes") << json << 2 << "--yes";
        QTest::newRow("port not a number")
            << QStringList{"--port", "x", "--yes"} + json << 2 << "--port 应为 1..255";
        QTest::newRow("device empty")
            << QStringList{"--device", "", "--yes"} + json << 2 << "--device 应给出设备路径";
        QTest::newRow("--device and --tcp")
            << QStringList{"--tcp", "gw", "--yes"} + json << 2 << "只能给一个";
        QTest::newRow("--rtu-tcp without its port")
            << QStringList{"--rtu-tcp", "10.0.0.5", "--yes", "--json"} << 2 << "--rtu-tcp 应为";
        QTest::newRow("--tcp has no baud rate")
            << QStringList{"--baud", "19200", "--tcp", "gw", "--yes", "--json"} << 2
            << "--tcp 没有波特率和校验";
        QTest::newRow("--tcp points the port at the server, nobody there")
            << QStringList{"--tcp", "127.0.0.1:1", "--yes", "--json"} << 2 << "127.0.0.1:1";
        QTest::newRow("--rtu-tcp takes its far line's parity, then wants --yes")
            << QStringList{"--rtu-tcp", "10.0.0.5:4001", "--parity", "odd", "--json"} << 2
            << "未给 --yes";
        QTest::newRow("unknown option")
            << QStringList{"--bogus", "--yes"} + json << 2 << "未知选项 --bogus";
        QTest::newRow("unknown step")
            << QStringList{"--only", "计数,无此步", "--yes"} + json << 2 << "--only 的步骤应为";
        QTest::newRow("report in a missing folder")
            << QStringList{"--report", "/nonexistent/r.txt", "--yes"} + json << 2 << "未能写入";
        QTest::newRow("report a folder")
            << QStringList{"--report", "/tmp", "--yes"} + json << 2 << "不是普通文件";
        QTest::newRow("report a device")
            << QStringList{"--report", "/dev/full", "--yes"} + json << 2 << "不是普通文件";
    }

    void answersAtOnce() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        QProcess check;
        check.start(QStringLiteral(TQ7310_CHECK_PATH), args);
        QVERIFY(check.waitForFinished(10000));
        QCOMPARE(check.exitCode(), status);
        const QByteArray out = check.readAllStandardOutput();
        QVERIFY(QString::fromUtf8(out + check.readAllStandardError()).contains(said));
        const QJsonObject json = QJsonDocument::fromJson(out).object();
        QVERIFY(status == 0 || (json[QStringLiteral("exitStatus")].toInt() == status &&
                                !json[QStringLiteral("error")].toString().isEmpty()));
    }
};

QTEST_GUILESS_MAIN(CheckOnSim)
#include "tst_sim_e2e_check.moc"
