#include "SideWindows.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QTimer>

#include "AnyPointWindow.h"
#include "FindModuleDialog.h"
#include "LinkStatusBar.h"
#include "ModuleCheckWindow.h"
#include "ModuleDriver.h"
#include "ReadMarks.h"
#include "SerialLine.h"
#include "StartFolder.h"
#include "TrafficWindow.h"
#include "TrendWindow.h"
#include "WindowLinkSettings.h"
#include "WindowPlacement.h"

namespace {

void bringUp(QWidget* window) {
    keepOnScreen(window);
    window->show();
    window->raise();
    window->activateWindow();
}

// Empty when the choice was cancelled.
QString chooseWorkspaceFile(QWidget* parent, bool saving) {
    const QString filter = QStringLiteral("工作区 (*.json)");
    return rememberFolderOf(
        saving
            ? QFileDialog::getSaveFileName(parent, QStringLiteral("保存工作区"),
                                           startFolder() + QStringLiteral("/工作区.json"), filter)
            : QFileDialog::getOpenFileName(parent, QStringLiteral("打开工作区"), startFolder(),
                                           filter));
}

}  // namespace

SideWindows::SideWindows(Sources sources) : s_(std::move(sources)) {
    connect(s_.statusLine, &LinkStatusBar::findModuleClicked, this, &SideWindows::findModule);
    connect(s_.statusLine, &LinkStatusBar::trendWindowClicked, this, &SideWindows::showTrend);
    connect(s_.statusLine, &LinkStatusBar::trafficWindowClicked, this, &SideWindows::showTraffic);
    connect(s_.statusLine, &LinkStatusBar::anyPointWindowClicked, this, &SideWindows::showAnyPoint);
    connect(s_.statusLine, &LinkStatusBar::moduleCheckClicked, this, &SideWindows::showModuleCheck);
}

SideWindows::~SideWindows() {
    // The curves' window draws from the feed, and the any-point window from
    // its poller: the main window's members, gone before its children are.
    delete trend_;
    delete anyPoint_;
    // A check under way ends and puts the module back through the driver.
    delete check_;
}

void SideWindows::showTrend() {
    if (trend_ == nullptr) {
        trend_ = new trend::TrendWindow(s_.trendFeed, s_.window);
        showTrendChoice();
        placeAt(trend_, trendPlace_);
    }
    bringUp(trend_);
}

void SideWindows::showTrendChoice() {
    trend_->findChild<QComboBox*>(QStringLiteral("TrendSpan"))->setCurrentIndex(trendSpan_);
    trend_->setChosenQuantity(trendQuantity_);
}

void SideWindows::showTraffic() {
    if (traffic_ == nullptr) {
        traffic_ = new traffic::TrafficWindow(s_.trafficFeed, s_.window);
        placeAt(traffic_, trafficPlace_);
    }
    bringUp(traffic_);
}

void SideWindows::showAnyPoint() {
    if (anyPoint_ == nullptr) {
        anyPoint_ = new anypoint::AnyPointWindow(s_.anyPoints, s_.window);
        connect(anyPoint_, &anypoint::AnyPointWindow::saveWorkspaceClicked, this, [this] {
            if (const QString path = chooseWorkspaceFile(anyPoint_, true); !path.isEmpty()) {
                emit saveWorkspaceChosen(path);
            }
        });
        connect(anyPoint_, &anypoint::AnyPointWindow::openWorkspaceClicked, this, [this] {
            if (const QString path = chooseWorkspaceFile(anyPoint_, false); !path.isEmpty()) {
                emit openWorkspaceChosen(path);
            }
        });
        placeAt(anyPoint_, anyPointPlace_);
    }
    bringUp(anyPoint_);
}

void SideWindows::showModuleCheck() {
    if (check_ == nullptr) {
        check_ = new ModuleCheckWindow(
            s_.driver, [this] { return openLink(); }, s_.polling, s_.window);
        connect(check_, &ModuleCheckWindow::runningChanged, this, &SideWindows::pauseForCheck);
    }
    bringUp(check_);
}

std::optional<ReportHeader> SideWindows::openLink() const {
    if (!s_.linkOpened) {
        return std::nullopt;
    }
    using namespace link_param;
    ReportHeader header;
    header.port = s_.linkParam[kPort];
    header.address = s_.linkParam[kAddress];
    header.baud = module_line::baudOfCode(s_.linkParam[kBaudCode]).value_or(0);
    header.parity = module_line::parityOfCode(s_.linkParam[kParityCode]).value_or('?');
    if (const auto status = s_.driver.linkStatus(header.port)) {
        header.device = QString::fromLocal8Bit(status->device);
    }
    header.driver =
        QStringLiteral("ModbusRTU (tq7310-panel %1)").arg(QCoreApplication::applicationVersion());
    return header;
}

bool SideWindows::checking() const {
    return check_ != nullptr && check_->running();
}

void SideWindows::pauseForCheck(bool running) {
    for (std::size_t i = 0; i < s_.polls.size(); ++i) {
        QTimer* poll = s_.polls[i];
        if (running) {
            pollsBeforeCheck_[i] = poll->isActive();
            poll->stop();
        } else {
            pollsBeforeCheck_[i] ? poll->start() : poll->stop();
        }
    }
    if (running) {
        // The check clears counts and writes the configuration: what the
        // boxes show is no longer the module's.
        markAllOld(s_.window, QStringLiteral("自检中，轮询已停"));
    }
    // "关闭", "退出", the writes and the finder would use the port under the check.
    s_.window->centralWidget()->setEnabled(!running);
    s_.statusLine->findChild<QWidget*>(QStringLiteral("FindModule"))->setEnabled(!running);
    if (!running) {
        emit checkEnded();
    }
}

bool SideWindows::searching() const {
    return finder_ && finder_->searching();
}

void SideWindows::findModule() {
    // The search owns the port while it runs: an open link is closed first,
    // just as "关闭" closes it, so no poll talks in between.
    const bool wasOpen = s_.linkOpened;
    if (wasOpen) {
        if (auto* close = s_.window->findChild<QAbstractButton*>(QStringLiteral("Command10"))) {
            close->click();
        }
    }
    // The search starts where "打开" would open.
    LinkParamTable opening = s_.linkParam;
    applyLinkSettings(readLinkSettings(s_.controls), opening);
    using namespace link_param;
    finder::WindowSetting here;
    here.port = opening[kPort];
    here.address = opening[kAddress];
    here.setting = {opening[kBaudCode], opening[kParityCode]};
    auto* dialog = new finder::FindModuleDialog(s_.driver, here, wasOpen, s_.window, s_.polling);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &finder::FindModuleDialog::use, this, &SideWindows::useFound);
    connect(&dialog->search(), &finder::ModuleSearch::finished, this, &SideWindows::searchEnded);
    finder_ = dialog;
    keepOnScreen(dialog);
    dialog->open();
}

void SideWindows::useFound(const finder::Found& found) {
    showLinkSettings(s_.controls, found.port, found.setting.baudCode, found.setting.parityCode,
                     found.address);
    // Until "打开" is pressed.
    s_.statusLine->showNotice(QStringLiteral("已填入：端口%1 %2,8,1 地址 %3，按“打开”连接")
                                  .arg(found.port)
                                  .arg(found.setting.text())
                                  .arg(found.address));
}

void SideWindows::collect(anypoint::Workspace& w) const {
    const auto open = [](const QWidget* window) { return window && window->isVisible(); };
    w.trendOpen = open(trend_);
    w.trendSpan = trend_
                      ? trend_->findChild<QComboBox*>(QStringLiteral("TrendSpan"))->currentIndex()
                      : trendSpan_;
    w.trendQuantity = trend_ ? trend_->chosenQuantity() : trendQuantity_;
    w.trafficOpen = open(traffic_);
    w.anyPointOpen = open(anyPoint_);
    const auto place = [](const QWidget* window, const std::optional<QRect>& kept) {
        return window ? placeOf(window) : kept;
    };
    w.trendPlace = place(trend_, trendPlace_);
    w.trafficPlace = place(traffic_, trafficPlace_);
    w.anyPointPlace = place(anyPoint_, anyPointPlace_);
}

void SideWindows::apply(const anypoint::Workspace& w) {
    trendSpan_ = w.trendSpan;
    trendQuantity_ = w.trendQuantity;
    if (trend_) {
        showTrendChoice();
    }
    const auto place = [](QWidget* window, std::optional<QRect>& kept,
                          const std::optional<QRect>& given) {
        kept = given;
        if (window) {
            placeAt(window, given);
        }
    };
    place(trend_, trendPlace_, w.trendPlace);
    place(traffic_, trafficPlace_, w.trafficPlace);
    place(anyPoint_, anyPointPlace_, w.anyPointPlace);
    if (w.trendOpen) {
        showTrend();
    }
    if (w.trafficOpen) {
        showTraffic();
    }
    if (w.anyPointOpen) {
        showAnyPoint();
    }
    // The windows opened where they were, and the main window stays in front.
    if (s_.window->isVisible()) {
        s_.window->raise();
        s_.window->activateWindow();
    }
}
