#pragma once
// The status line under the main window's controls: the link, the module's
// health and the counters since the last "打开"; the record under way; and
// the buttons into "查找模块", for a module whose settings nobody knows, and
// into the curves, the traffic on the line, any point of any slave and the
// module's 自检.

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

#include "LinkStatusText.h"

class ElidedLabel;
class QTimer;

class LinkStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    explicit LinkStatusBar(QWidget* parent = nullptr);
    void showStatus(const LinkStatusText& text);
    void showRecordStatus(const QString& status);
    // The counts' breakdown, on hovering them; empty for none.
    void showCountersDetail(const QString& detail);
    // A notice ("已保存：…") beside the link's state, never in its place, for
    // a few seconds or until the next. Only the `path` in it, or without
    // one what follows its first "，", may be cut where room is short: the
    // rest says what happened.
    void showNotice(const QString& notice, const QString& path = {});
    void clearNotice();
    // "查找模块", "曲线", "通讯记录", "读写任意点", "自检", in their Tab order.
    QList<QPushButton*> buttons() const;

  signals:
    void findModuleClicked();
    void trendWindowClicked();
    void trafficWindowClicked();
    void anyPointWindowClicked();
    void moduleCheckClicked();

  private:
    ElidedLabel* link_;
    ElidedLabel* module_;
    ElidedLabel* counters_;
    QLabel* record_;
    ElidedLabel* notice_;
    QTimer* noticeTimer_;
    QPushButton* findModule_;
    QPushButton* trend_;
    QPushButton* traffic_;
    QPushButton* anyPoint_;
    QPushButton* moduleCheck_;
};
