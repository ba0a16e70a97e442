#pragma once
// The session a workspace file keeps: the link settings on the main window,
// the any-point rows, what SideWindows keeps of its windows and what each
// port number stands for (see PortSettings). 读写任意点's
// buttons save and open one here. Opening or saving says in the status line
// how it went, and in 读写任意点 when it is open, as that is where the user
// asked; a refused file changes nothing.

#include <QString>

#include "LinkParam.h"
#include "Workspace.h"

class LinkStatusBar;
class PortSettings;
class QWidget;
class SideWindows;
class WindowAccess;
namespace anypoint {
class AnyPointPoller;
}

class WorkspaceState {
  public:
    WorkspaceState(QWidget* window, WindowAccess& controls, const LinkParamTable& linkParam,
                   anypoint::AnyPointPoller& anyPoints, SideWindows& sideWindows,
                   PortSettings& ports, LinkStatusBar* statusLine);

    anypoint::Workspace collect() const;
    void apply(const anypoint::Workspace& workspace);
    bool open(const QString& path);
    bool save(const QString& path);

  private:
    // A refusal is announced.
    void report(const QString& words, bool done, const QString& path);

    QWidget* window_;
    WindowAccess& controls_;
    const LinkParamTable& linkParam_;
    anypoint::AnyPointPoller& anyPoints_;
    SideWindows& sideWindows_;
    PortSettings& ports_;
    LinkStatusBar* statusLine_;
};
