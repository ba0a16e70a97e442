// Runs the panel's start-up in a process of its own, against the recording
// driver, so tests can watch it end. The scenario is the first argument:
//   splash            start as the panel does; prints "main-shown <ms>" at the
//                     hand-over, refuses a close of the main window
//                     ("close-refused"), then clicks "退出".
//   close-splash      closes the splash before the hand-over.
//   exit-during-yield opens the link and clicks "退出" while the status tick
//                     is yielded; prints "resumed" if the tick ever goes on.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "RecordingDriver.h"
#include "Startup.h"
#include "frmSplash.h"
#include "ssqx.h"

namespace {

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QPushButton* button(ssqx& window, const char* name) {
    return window.findChild<QPushButton*>(QLatin1String(name));
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    prepareApplication(app);
    const QString scenario = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    RecordingDriver driver;
    std::unique_ptr<ssqx> mainWindow;
    QElapsedTimer clock;
    clock.start();

    if (scenario == QLatin1String("exit-during-yield")) {
        mainWindow = std::make_unique<ssqx>(driver);
        mainWindow->show();
        driver.onCall = [&](const QString& op) {
            if (op == QLatin1String("Get_1X_B16")) {
                QMetaObject::invokeMethod(button(*mainWindow, "Command1"), "click",
                                          Qt::QueuedConnection);
            } else if (op == QLatin1String("Get_0X_B16")) {
                say(QStringLiteral("resumed"));
                std::_Exit(3);
            }
        };
        button(*mainWindow, "Command9")->click();
        return app.exec();
    }

    frmSplash splash([&] {
        say(QStringLiteral("main-shown %1").arg(clock.elapsed()));
        mainWindow = std::make_unique<ssqx>(driver);
        mainWindow->show();
        QTimer::singleShot(100, [&] {
            if (!mainWindow->close() && mainWindow->isVisible()) {
                say(QStringLiteral("close-refused"));
            }
            button(*mainWindow, "Command1")->click();
            say(QStringLiteral("still-running"));
        });
    });
    splash.show();
    // Keys and clicks on the splash must not shorten it.
    QTimer::singleShot(300, [&] {
        QTest::keyClick(&splash, Qt::Key_Return);
        QTest::keyClick(&splash, Qt::Key_Escape);
        QTest::mouseClick(&splash, Qt::LeftButton);
    });
    if (scenario == QLatin1String("close-splash")) {
        QTimer::singleShot(500, &splash, &QWidget::close);
    }
    const int code = app.exec();
    say(QStringLiteral("event-loop-ended %1").arg(clock.elapsed()));
    return code;
}
