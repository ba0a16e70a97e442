#pragma once
// "通讯记录": one row per frame on the line, newest at the bottom, followed
// until the user scrolls up or picks a row; then that row stays in view.

#include <QDateTime>
#include <QPersistentModelIndex>
#include <QWidget>
#include <functional>
#include <map>

#include "TrafficFeed.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace traffic {

class TrafficWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kMaxRows = 2000;

    explicit TrafficWindow(TrafficFeed& feed, QWidget* parent = nullptr);

    // The rows shown, as text, one a line; the window says whether it
    // saved them, and why not.
    bool saveTo(const QString& path);
    QString selectedText() const;

  private:
    void addNewLines();
    void addRow(const TrafficLine& line);
    // Changes the rows as the window's own move: the newest row stays in
    // view while following, else the chosen row stays where it is.
    void holdView(const std::function<void()>& change);
    // Following keeps the newest row in view and none chosen; not following
    // holds the current row, or else the top one in view.
    void setFollowing(bool following);
    void setPaused(bool paused);
    void clear();
    void applyFilter();
    void copySelection() const;
    void save();
    // The 统计 line for the port of the newest row.
    void showStats();
    void resetStats();

    TrafficFeed& feed_;
    QTableWidget* table_;
    QPushButton* pause_;
    QCheckBox* failuresOnly_;
    QCheckBox* follow_;       // "跟随最新": checked while following
    QLabel* result_;          // whether it saved, or why it follows again
    QPlainTextEdit* detail_;  // the current row whole
    QLabel* stats_;
    struct StatsBase {
        Tq7310LinkCounters counters;
        QDateTime at;
    };
    std::map<int, StatsBase> statsFrom_;  // by port: the counts at "统计清零"
    qint64 shownUntil_ = 0;               // feed index of the next line to show
    bool paused_ = false;
    bool following_ = true;         // the newest row kept in view
    QPersistentModelIndex chosen_;  // while not following: the row held in view
    bool ownMove_ = false;          // the window moves the view or the current row, not the user
};

}  // namespace traffic
