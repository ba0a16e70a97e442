#pragma once
// The main window's side windows: 查找模块, the curves, 通讯记录, 读写任意点
// and 自检. The status line's buttons (and their keys) lead here; each window
// is built at its first opening as a child of the main window, put where a
// workspace placed it, kept on the screen and brought to the front. What a
// workspace says of them waits here until they are built.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <array>
#include <functional>
#include <optional>

#include "LinkParam.h"
#include "ModuleSearch.h"
#include "ReportText.h"
#include "Workspace.h"

class LinkStatusBar;
class ModuleCheckWindow;
class ModuleDriver;
class QMainWindow;
class QTimer;
class WindowAccess;
namespace finder {
class FindModuleDialog;
}
namespace trend {
class Feed;
class TrendWindow;
}  // namespace trend
namespace traffic {
class TrafficFeed;
class TrafficWindow;
}  // namespace traffic
namespace anypoint {
class AnyPointPoller;
class AnyPointWindow;
}  // namespace anypoint

class SideWindows : public QObject {
    Q_OBJECT
  public:
    // All the main window's, and all outlive the side windows.
    struct Sources {
        QMainWindow* window;
        WindowAccess& controls;
        LinkStatusBar* statusLine;
        ModuleDriver& driver;
        const LinkParamTable& linkParam;
        std::array<QTimer*, 2> polls;
        trend::Feed& trendFeed;
        traffic::TrafficFeed& trafficFeed;
        anypoint::AnyPointPoller& anyPoints;
        const bool& linkOpened;         // "打开" was the last link action
        std::function<bool()> polling;  // a poll is in the middle of a tick
    };
    explicit SideWindows(Sources sources);
    ~SideWindows() override;

    void showTrend();
    void showTraffic();
    void showAnyPoint();
    void showModuleCheck();
    void findModule();

    // Null until first opened.
    trend::TrendWindow* trend() const { return trend_; }
    traffic::TrafficWindow* traffic() const { return traffic_; }
    anypoint::AnyPointWindow* anyPoint() const { return anyPoint_; }
    bool checking() const;
    bool searching() const;

    // A workspace's word on the windows: which are open, where, and the
    // curves' span and quantity.
    void collect(anypoint::Workspace& workspace) const;
    void apply(const anypoint::Workspace& workspace);

  signals:
    void searchEnded();
    void checkEnded();
    void saveWorkspaceChosen(const QString& path);
    void openWorkspaceChosen(const QString& path);

  private:
    // The polls stop for 自检 and the window's controls wait, so that only
    // the check's thread calls the driver; they come back as they were.
    void pauseForCheck(bool running);
    std::optional<ReportHeader> openLink() const;
    void useFound(const finder::Found& found);
    void showTrendChoice();

    Sources s_;
    trend::TrendWindow* trend_ = nullptr;
    traffic::TrafficWindow* traffic_ = nullptr;
    anypoint::AnyPointWindow* anyPoint_ = nullptr;
    ModuleCheckWindow* check_ = nullptr;
    QPointer<finder::FindModuleDialog> finder_;
    std::array<bool, 2> pollsBeforeCheck_{};
    int trendSpan_ = anypoint::Workspace{}.trendSpan;
    std::optional<int> trendQuantity_;
    std::optional<QRect> trendPlace_;
    std::optional<QRect> trafficPlace_;
    std::optional<QRect> anyPointPlace_;
};
