// tq7310-check against the simulator, plain and with each fault a module
// can have: which steps pass, which one turns red, and that the module is
// left as found.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include "SimProcess.h"

class CheckOnSim : public QObject {
    Q_OBJECT

    // The simulator's state without its counts, which the check clears.
    static QString stateOf(SimProcess& sim) {
        sim.send("show");
        if (!sim.waitForLine(QRegularExpression(QStringLiteral("^config ")),
                             SimProcess::kStartMs)) {
            return {};
        }
        const QString text = sim.transcript();
        QString state = text.mid(text.lastIndexOf(QStringLiteral("mode ")));
        state.replace(QRegularExpression(QStringLiteral(" count16 \\d+ count32 \\d+")), QString());
        return state;
    }

  private slots:
    void faults_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("failed");  // the step that turns red, empty for none
        QTest::addColumn<int>("status");
        QTest::newRow("plain") << QStringList() << QString() << 0;
        QTest::newRow("stuck register")
            << QStringList{"--stuck-register", "3"} << QStringLiteral("配置") << 1;
        QTest::newRow("stuck coil")
            << QStringList{"--stuck-coil", "2"} << QStringLiteral("输出") << 1;
        QTest::newRow("stuck counter")
            << QStringList{"--stuck-counter", "2"} << QStringLiteral("计数") << 1;
        // The link step's 100 reads come after the 2 that find the state.
        QTest::newRow("mute") << QStringList{"--mute-after", "110:2000"} << QStringLiteral("配置")
                              << 1;
        QTest::newRow("other address") << QStringList{"--address", "2"} << QString() << 2;
    }

    void faults() {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, failed);
        QFETCH(int, status);
        SimProcess sim;
        QVERIFY2(sim.start(simArgs), qPrintable(sim.transcript()));
        // Counts that hold still, and one a failed clear cannot hide.
        for (const char* command :
             {"freq 1 0", "freq 2 0", "freq 3 0", "freq 4 0", "count 2 100000"}) {
            QVERIFY(sim.command(command));
        }
        const QString before = stateOf(sim);
        QVERIFY(!before.isEmpty());

        QProcess check;
        check.start(QStringLiteral(TQ7310_CHECK_PATH),
                    {"--device", sim.device(), "--json", "--yes"});
        QVERIFY(check.waitForFinished(60000));
        QCOMPARE(check.exitCode(), status);
        const QJsonObject report = QJsonDocument::fromJson(check.readAllStandardOutput()).object();
        for (const QJsonValue& step : report[QStringLiteral("steps")].toArray()) {
            const QString name = step[QStringLiteral("name")].toString();
            const QString verdict = step[QStringLiteral("verdict")].toString();
            const bool red = verdict == QStringLiteral("失败");
            QVERIFY2(
                red == (name == failed),
                qPrintable(name + u' ' + verdict + u' ' +
                           step[QStringLiteral("evidence")].toVariant().toStringList().join(u';')));
        }
        // Could not run: the report shows what was sent and that nothing came back.
        const QString first =
            report[QStringLiteral("steps")][0][QStringLiteral("evidence")][0].toString();
        QVERIFY2(status != 2 || first.endsWith(QStringLiteral(", 收 无")), qPrintable(first));
        QVERIFY(report[QStringLiteral("notRestored")].toArray().isEmpty());
        QCOMPARE(stateOf(sim), before);
    }

    void refusesWithoutYes() {
        QProcess check;
        check.start(QStringLiteral(TQ7310_CHECK_PATH), {"--device", "/dev/null"});
        QVERIFY(check.waitForFinished(10000));
        QCOMPARE(check.exitCode(), 2);
        QVERIFY(check.readAllStandardError().contains("--yes"));
    }
};

QTEST_GUILESS_MAIN(CheckOnSim)
#include "tst_sim_e2e_check.moc"
