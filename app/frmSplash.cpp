#include "frmSplash.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include "ControlFactory.h"
#include "ProgramIcon.h"
#include "SplashPicture.h"
#include "WindowPlacement.h"

namespace {
constexpr int kClientWidth = 999;  // the 1000-pixel picture is cut by one
constexpr int kClientHeight = 348;
constexpr int kTicksBeforeHandOver = 6;
}  // namespace

frmSplash::frmSplash(std::function<void()> showMainWindow)
    : showMainWindow_(std::move(showMainWindow)),
      Timer1(new QTimer(this)),
      Timer2(new QTimer(this)),
      Label1(new QLabel(QStringLiteral("系统正在初始化数据引擎，请稍后。。。。。。"), this)) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QString());
    setWindowIcon(programIcon());
    setFixedSize(kClientWidth, kClientHeight);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture"));
    picture->setPixmap(splashPicture());
    picture->setGeometry(0, 0, 1000, kClientHeight);
    picture->setAccessibleName(QStringLiteral("TQ7310"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(5610 / 15, 1680 / 15, 7005 / 15, 735 / 15);
    Label1->setAlignment(Qt::AlignCenter);
    preferChineseFaces();
    QFont song(QStringLiteral("宋体"));
    song.setPointSizeF(15);
    Label1->setFont(song);
    QPalette white = Label1->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(white);
    Label1->setAttribute(Qt::WA_TranslucentBackground);
    Label1->raise();

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &frmSplash::Timer2_Timer);

    placeOnScreen(this);
    showBlankTitle();
    Form_Load();
}

void frmSplash::showBlankTitle() {
    // Qt hands the desktop the application's name in place of an empty
    // title; a single blank is what keeps the title bar empty. The window's
    // own title stays empty.
    create();
    if (QWindow* window = windowHandle()) {
        window->setTitle(QStringLiteral(" "));
    }
}

void frmSplash::Form_Load() {
    Timer2->start();
}

void frmSplash::Timer2_Timer() {
    ++SplashTicks;
    if (SplashTicks > kTicksBeforeHandOver) {
        Timer2->stop();
        SplashTicks = 0;
        Timer1->start();
    }
}

void frmSplash::Timer1_Timer() {
    Timer2->stop();
    Timer1->stop();
    handingOver_ = true;
    close();
    showMainWindow_();
}

void frmSplash::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    Timer2->stop();
    event->accept();
    if (!handingOver_) {
        // Closed by the user or the system before the hand-over: no main
        // window follows, and with no window left the program ends.
        QCoreApplication::quit();
    }
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    event->accept();
}
