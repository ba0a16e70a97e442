#include <QProcess>
#include <QTest>

// Start-up and exit, each in a child process of its own.
class tst_Startup : public QObject {
    Q_OBJECT
  private slots:
    void splashHandsOverAfterAboutOneAndAHalfSeconds();
    void closingSplashEarlyEndsProgram();
    void exitDuringYieldNeverResumesTick();

  private:
    struct Run {
        int exitCode = -1;
        QStringList lines;
    };
    Run run(const QString& scenario);
};

tst_Startup::Run tst_Startup::run(const QString& scenario) {
    QProcess child;
    child.setProgram(QCoreApplication::applicationDirPath() + "/panel_child");
    child.setArguments({scenario});
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

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
