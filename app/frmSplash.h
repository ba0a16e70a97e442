#pragma once
// The splash window: a picture and one line of text for about 1.5 s. Timer2
// counts seven 200 ms ticks, then Timer1 fires once after 100 ms and hands
// over to the main window. Keys and clicks do not shorten it; closing it
// before the hand-over ends the program without the main window.

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

class frmSplash : public QWidget {
    Q_OBJECT
  public:
    // `showMainWindow` creates and shows the main window; called once, at the
    // hand-over, after the splash has closed.
    explicit frmSplash(std::function<void()> showMainWindow);

  protected:
    void closeEvent(QCloseEvent* event) override;   // Form_Unload
    void keyPressEvent(QKeyEvent* event) override;  // Form_KeyPress

  private:
    void Form_Load();
    void showBlankTitle();
    void Timer1_Timer();
    void Timer2_Timer();

    std::function<void()> showMainWindow_;
    QTimer* Timer1;
    QTimer* Timer2;
    QLabel* Label1;
    std::int16_t SplashTicks = 0;
    bool handingOver_ = false;
};
