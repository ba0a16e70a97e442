#pragma once
// The main window. It owns the controls (built from the layout table), the
// two poll timers, and the handler objects that do the work:
//
//   click or timer tick -> ssqx slot -> PortControl / StatusPoll /
//   CounterPoll / CoilCommands / ConfigWrite -> ModuleDriver (the ModbusRTU
//   library) -> back through WindowAccess to captions and colours.
//
// Every driver call passes through ObservedDriver, after which the status
// line reads the driver's account of the port (no transaction of its own),
// and FirstWriteGate, which holds a write made right after "打开" for the
// polls' first answers.
//
// The handlers see the window only as WindowAccess and share the link
// settings through LinkParam. SideWindows opens the side windows,
// PortSettings keeps what each port number stands for ("端口设置") and
// WorkspaceState reads and puts back a session. Everything but the finder's
// search (see SearchThread) runs on the GUI thread; the polls yield to the
// event queue between their driver transactions, so a click can be handled
// in the middle of a tick.

#include <QHash>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>

#include "AnyPointPoller.h"
#include "CoilCommands.h"
#include "ConfigWrite.h"
#include "CounterPoll.h"
#include "Feed.h"
#include "FirstWriteGate.h"
#include "LastLink.h"
#include "LinkParam.h"
#include "LinkStatusText.h"
#include "ModuleDriver.h"
#include "ObservedDriver.h"
#include "PortControl.h"
#include "SideWindows.h"
#include "StatusPoll.h"
#include "TrafficFeed.h"
#include "WindowAccess.h"
#include "Workspace.h"
#include "WorkspaceState.h"

class LinkStatusBar;
class PortSettings;

class ssqx : public QMainWindow, public WindowAccess {
    Q_OBJECT
  public:
    // `endProgram` ends the program at once and never returns; tests replace it.
    explicit ssqx(ModuleDriver& driver, std::function<void()> endProgram = endProgramNow);

    static void endProgramNow();

    // The session: link settings on the window, the any-point rows, which
    // windows are open (see WorkspaceState).
    anypoint::Workspace workspace() const { return workspace_->collect(); }
    void applyWorkspace(const anypoint::Workspace& workspace) { workspace_->apply(workspace); }
    bool openWorkspace(const QString& path) { return workspace_->open(path); }
    bool saveWorkspace(const QString& path) { return workspace_->save(path); }

    // WindowAccess
    QString text(const QString& control) const override;
    bool isSelected(const QString& option) const override;
    void setText(const QString& control, const QString& text) override;
    void select(const QString& option) override;
    void setCaption(const QString& control, const QString& caption) override;
    void setBackground(const QString& control, Rgb colour) override;
    void setTimerEnabled(const QString& timer, bool enabled) override;
    void yieldToEvents() override;

    void D_Byte(std::uint8_t value) { statusPoll_.D_Byte(value); }

    LinkParamTable& linkParam() { return linkParam_; }
    StatusPoll& statusPoll() { return statusPoll_; }
    CounterPoll& counterPoll() { return counterPoll_; }
    QWidget* control(const QString& name) const { return controls_.value(name); }
    bool closeLock() const { return CloseLock; }
    trend::Feed& trendFeed() { return trendFeed_; }
    // The curves' window and "通讯记录": null until first opened.
    trend::TrendWindow* trendWindow() const { return sideWindows_->trend(); }
    traffic::TrafficFeed& trafficFeed() { return trafficFeed_; }
    traffic::TrafficWindow* trafficWindow() const { return sideWindows_->traffic(); }

  protected:
    void closeEvent(QCloseEvent* event) override;  // Form_Unload

  private:
    void Form_Load();
    void Command1_Click();
    void connectArrays();
    void connectButton(const QString& name, std::function<void()> handler);
    void connectArray(const char* array, std::function<void(int)> handler);
    void applyTabOrder();
    // Runs the write of `button`, which returns what it did not write as
    // typed, and says that, or what the module refused, in the status line
    // and to a screen reader; a write done as typed says nothing.
    void reportWrite(QWidget* button, const std::function<QString()>& write);
    void refreshLinkStatus(std::int32_t port, const QByteArray& lastReply = {});
    // Tells a screen reader when the link fails and when it answers again.
    void announceLinkHealth(const LinkStatusText& shown);

    LinkParamTable linkParam_{};
    FirstWriteGate firstWrite_;
    ObservedDriver driver_;
    std::function<void()> endProgram_;
    QHash<QString, QWidget*> controls_;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    bool CloseLock = false;
    LinkStatusBar* statusLine_ = nullptr;
    bool linkOpened_ = false;  // "打开" was the last link action
    // What the panel's link counted until "关闭", shown while it is closed.
    struct ClosedLinkCounts {
        int transactions = 0;
        int failures = 0;
        int roundTripUs = -1;
    } closedLinkCounts_;
    // The port's status after the window's own last transaction, and whether
    // the port's last one was a row of 读写任意点's.
    std::optional<Tq7310LinkStatus> moduleStatus_;
    bool lastCallAnyPoint_ = false;
    // Why the window's own last failed transaction failed, in brief.
    QString lastFailure_ = QStringLiteral("失败");
    bool linkHealthy_ = true;    // as last announced
    finder::LastLink lastLink_;  // the last link that answered, as saved

    PortControl portControl_;
    StatusPoll statusPoll_;
    CounterPoll counterPoll_;
    CoilCommands coilCommands_;
    ConfigWrite configWrite_;
    trend::Feed trendFeed_;
    traffic::TrafficFeed trafficFeed_;
    anypoint::AnyPointPoller anyPointPoller_;
    std::int32_t statusPort_ = 0;           // the port the status line speaks of
    PortSettings* portSettings_ = nullptr;  // "端口设置", the window's child
    // Built once the status line and the timers are; the side windows last,
    // so that they go while every other member is still there.
    std::unique_ptr<WorkspaceState> workspace_;
    std::unique_ptr<SideWindows> sideWindows_;
};
