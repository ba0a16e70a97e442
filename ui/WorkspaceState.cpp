#include "WorkspaceState.h"

#include "Announcement.h"
#include "AnyPointPoller.h"
#include "AnyPointWindow.h"
#include "LinkStatusBar.h"
#include "PortSettings.h"
#include "SideWindows.h"
#include "TextFile.h"
#include "WindowLinkSettings.h"

WorkspaceState::WorkspaceState(QWidget* window, WindowAccess& controls,
                               const LinkParamTable& linkParam, anypoint::AnyPointPoller& anyPoints,
                               SideWindows& sideWindows, PortSettings& ports,
                               LinkStatusBar* statusLine)
    : window_(window),
      controls_(controls),
      linkParam_(linkParam),
      anyPoints_(anyPoints),
      sideWindows_(sideWindows),
      ports_(ports),
      statusLine_(statusLine) {
    QObject::connect(&sideWindows, &SideWindows::saveWorkspaceChosen, &sideWindows,
                     [this](const QString& path) { save(path); });
    QObject::connect(&sideWindows, &SideWindows::openWorkspaceChosen, &sideWindows,
                     [this](const QString& path) { open(path); });
}

anypoint::Workspace WorkspaceState::collect() const {
    using namespace link_param;
    const WindowLinkSettings shown = readLinkSettings(controls_);
    anypoint::Workspace w;
    w.port = shown.port.value_or(linkParam_[kPort]);
    w.baudCode = shown.baudCode.value_or(linkParam_[kBaudCode]);
    w.parityCode = shown.parityCode.value_or(linkParam_[kParityCode]);
    w.address = shown.address.value_or(linkParam_[kAddress]);
    w.rows = anyPoints_.rows();
    w.pointBase = anyPoints_.pointBase();
    w.ports = ports_.chosen();
    sideWindows_.collect(w);
    return w;
}

void WorkspaceState::apply(const anypoint::Workspace& w) {
    // Before the port list changes, so the line settings show its target.
    if (w.ports) {
        ports_.choose(*w.ports);
    }
    showLinkSettings(controls_, w.port, w.baudCode, w.parityCode, w.address);
    anyPoints_.setPointBase(w.pointBase);
    anyPoints_.replaceRows(w.rows);
    sideWindows_.apply(w);
}

bool WorkspaceState::open(const QString& path) {
    const auto read = anypoint::readWorkspaceFile(path);
    if (const auto* why = std::get_if<QString>(&read)) {
        report(*why, false, path);
        return false;
    }
    apply(std::get<anypoint::Workspace>(read));
    report(QStringLiteral("已打开工作区：") + path, true, path);
    return true;
}

bool WorkspaceState::save(const QString& path) {
    const anypoint::Workspace w = collect();
    // What would be refused at opening is not saved.
    if (const auto fault = anypoint::workspaceFault(w)) {
        report(QStringLiteral("工作区%1，未保存").arg(*fault), false, path);
        return false;
    }
    const SaveOutcome outcome = writeTextFile(path, QString::fromUtf8(anypoint::workspaceJson(w)));
    report(outcome.words, outcome.saved, path);
    return outcome.saved;
}

void WorkspaceState::report(const QString& words, bool done, const QString& path) {
    statusLine_->showNotice(words, path);
    if (auto* anyPoint = sideWindows_.anyPoint(); anyPoint && anyPoint->isVisible()) {
        anyPoint->showNote(words, !done);
    } else if (!done) {
        announce(window_, words);
    }
}
