#include <QDir>
#include <QProcess>
#include <QTest>

// Start-up and exit, each in a child process of its own.
class tst_Startup : public QObject {
    Q_OBJECT
  private slots:
    void splashHandsOverAfterAboutOneAndAHalfSeconds();
    void closingSplashEarlyEndsProgram();
    void exitDuringYieldNeverResumesTick();
    void commandLineWithoutDisplay_data();
    void commandLineWithoutDisplay();

  private:
    struct Run {
        int exitCode = -1;
        QStringList lines;
        QString errors;
    };
    Run run(const QString& scenario) { return run("panel_child", {scenario}); }
    Run run(const QString& program, const QStringList& arguments,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
};

tst_Startup::Run tst_Startup::run(const QString& program, const QStringList& arguments,
                                  const QProcessEnvironment& environment) {
    QProcess child;
    child.setProgram(QCoreApplication::applicationDirPath() + "/" + program);
    child.setArguments(arguments);
    child.setProcessEnvironment(environment);
    child.start();
    Run result;
    if (!child.waitForFinished(15000)) {
        child.kill();
        child.waitForFinished(2000);
        return result;
    }
    result.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -2;
    result.lines = QString::fromUtf8(child.readAllStandardOutput())
                       .remove(u'\r')
                       .split(u'\n', Qt::SkipEmptyParts);
    result.errors = QString::fromUtf8(child.readAllStandardError());
    return result;
}

void tst_Startup::splashHandsOverAfterAboutOneAndAHalfSeconds() {
    const Run r = run("splash");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.lines.size(), 2);
    QVERIFY(r.lines[0].startsWith("main-shown "));
    const int ms = r.lines[0].section(' ', 1).toInt();
    QVERIFY2(ms >= 1400 && ms < 2500, qPrintable(r.lines[0]));
    // "退出" ended the program inside the click: nothing after it ran.
    QCOMPARE(r.lines[1], "close-refused");
}

void tst_Startup::closingSplashEarlyEndsProgram() {
    const Run r = run("close-splash");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.lines.size(), 1);
    QVERIFY(r.lines[0].startsWith("event-loop-ended "));
    QVERIFY(r.lines[0].section(' ', 1).toInt() < 1400);
}

void tst_Startup::exitDuringYieldNeverResumesTick() {
    const Run r = run("exit-during-yield");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.lines, QStringList());
}

void tst_Startup::commandLineWithoutDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("firstLine");  // of the standard output
    QTest::addColumn<QString>("error");      // in the standard error output
    QTest::newRow("help") << QStringList{"--help"} << 0 << "用法：tq7310-panel [选项] [工作区文件]"
                          << "";
    QTest::newRow("version") << QStringList{"-v"} << 0 << "tq7310-panel " TQ7310_VERSION << "";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << ""
                                    << "frobnicate";
    QTest::newRow("two files") << QStringList{"a.json", "b.json"} << 2 << ""
                               << "只能打开一个工作区文件";
}

// Answered before any window, with no display to open one on.
void tst_Startup::commandLineWithoutDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, firstLine);
    QFETCH(QString, error);
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        bare.remove(name);
    }
    const Run r = run("tq7310-panel", arguments, bare);
    QCOMPARE(r.exitCode, exitCode);
    const QString folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/");
    QCOMPARE(r.lines.value(0).replace(folder, ""), firstLine);
    QVERIFY2(error.isEmpty() ? r.errors.isEmpty() : r.errors.contains(error), qPrintable(r.errors));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
