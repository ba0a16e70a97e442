#pragma once
// The status line under the main window's controls: the link, the module's
// health and the counters since the last "打开", and beside them the way
// into "查找模块" for a module whose settings nobody knows.

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

#include "link/LinkStatusText.h"

class LinkStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    explicit LinkStatusBar(QWidget* parent = nullptr);
    void showStatus(const LinkStatusText& text);

  signals:
    void findModuleClicked();

  private:
    QLabel* link_;
    QLabel* module_;
    QLabel* counters_;
    QPushButton* findModule_;
};
