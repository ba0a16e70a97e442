#pragma once
// The status line under the main window's controls: the link, the module's
// health and the counters since the last "打开".

#include <QLabel>
#include <QStatusBar>

#include "link/LinkStatusText.h"

class LinkStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    explicit LinkStatusBar(QWidget* parent = nullptr);
    void showStatus(const LinkStatusText& text);

  private:
    QLabel* link_;
    QLabel* module_;
    QLabel* counters_;
};
