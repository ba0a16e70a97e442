#include "ssqx.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QThread>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "AccessibleNames.h"
#include "Announcement.h"
#include "AnyPointWindow.h"
#include "ControlFactory.h"
#include "ControlNames.h"
#include "CountersText.h"
#include "FindModuleDialog.h"
#include "Layout.h"
#include "LinkStatusBar.h"
#include "ModuleCheckWindow.h"
#include "ModuleMap.h"
#include "ProgramIcon.h"
#include "ReadMarks.h"
#include "ReadableControls.h"
#include "SerialLine.h"
#include "StartFolder.h"
#include "SystemErrorText.h"
#include "TextFile.h"
#include "ToolWindowRole.h"
#include "TrafficWindow.h"
#include "TrendWindow.h"
#include "ValueBox.h"
#include "WindowLinkSettings.h"
#include "WindowPlacement.h"

namespace {

struct ListFill {
    const char* combo;
    QStringList items;
};

QStringList numbered(int last) {
    QStringList items;
    for (int i = 1; i <= last; ++i) {
        items << listedNumber(i);
    }
    return items;
}

}  // namespace

ssqx::ssqx(ModuleDriver& driver, std::function<void()> endProgram)
    : driver_(driver),
      endProgram_(std::move(endProgram)),
      portControl_(linkParam_, driver_, *this),
      statusPoll_(linkParam_, driver_, *this),
      counterPoll_(linkParam_, driver_, *this),
      coilCommands_(linkParam_, driver_),
      configWrite_(linkParam_, driver_, *this),
      trendFeed_(statusPoll_, counterPoll_),
      trafficFeed_(driver_),
      // Any point on the link "打开" opened, between the ticks.
      anyPointPoller_(
          driver_, [this] { return linkOpened_ ? linkParam_[link_param::kPort] : 0; },
          [this] { return statusPoll_.ticking() || counterPoll_.ticking() || checking(); }) {
    setObjectName(QStringLiteral("ssqx"));
    useWindowRoles();
    setWindowTitle(QStringLiteral("计数测频模块 TQ7310 测试程序"));
    setWindowIcon(programIcon());
    // The window's own default font, as a Chinese desktop gives it.
    preferChineseFaces();
    QFont song(QStringLiteral("宋体"));
    song.setPointSizeF(9);
    setFont(song);

    auto* client = new ClientArea(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);
    setCentralWidget(client);
    controls_ = buildControls(client, mainWindowLayout());
    nameControls(controls_, mainWindowLayout());
    statusLine_ = new LinkStatusBar(this);
    setStatusBar(statusLine_);
    driver_.setObserver([this](std::int32_t port, bool anyPoint) {
        if (QThread::currentThread() == thread()) {
            lastCallAnyPoint_ = anyPoint;
        }
        refreshLinkStatus(port);
    });
    connect(statusLine_, &LinkStatusBar::findModuleClicked, this, &ssqx::findModule);
    connect(statusLine_, &LinkStatusBar::trendWindowClicked, this, &ssqx::showTrendWindow);
    connect(statusLine_, &LinkStatusBar::trafficWindowClicked, this, &ssqx::showTrafficWindow);
    connect(statusLine_, &LinkStatusBar::anyPointWindowClicked, this, &ssqx::showAnyPointWindow);
    connect(statusLine_, &LinkStatusBar::moduleCheckClicked, this, &ssqx::showModuleCheckWindow);
    // Once the log is read, the status line can show the bytes of a bad reply.
    connect(&trafficFeed_, &traffic::TrafficFeed::linesAdded, this,
            [this] { refreshLinkStatus(statusPort_, trafficFeed_.lastReply(statusPort_)); });
    connect(&trendFeed_, &trend::Feed::recordStatusChanged, statusLine_,
            &LinkStatusBar::showRecordStatus);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { statusPoll_.Timer1_Timer(); });
    connect(Timer2, &QTimer::timeout, this, [this] { counterPoll_.Timer2_Timer(); });
    // Marked at once, before the window draws the labels again; a tick that
    // "关闭" cut short read on a link since closed.
    connect(&statusPoll_, &StatusPoll::groupShown, this,
            [this](StatusPoll::Group group, bool answered) {
                if (linkOpened_) {
                    markStatusGroup(controls_, group, answered, QDateTime::currentDateTime(),
                                    lastFailure_);
                }
            });
    connect(&counterPoll_, &CounterPoll::tickShown, this, [this](const CounterTick& tick) {
        if (linkOpened_) {
            markCounterTick(controls_, tick, lastFailure_);
        }
    });

    connectArrays();
    applyTabOrder();
    Form_Load();
    adjustSize();
    placeOnScreen(this);
}

ssqx::~ssqx() {
    // The curves' window draws from the feed, and the any-point window from
    // its poller: members that go before the window's children do.
    delete trendWindow_;
    delete anyPointWindow_;
    // A check under way ends and puts the module back through the driver.
    delete moduleCheckWindow_;
}

void ssqx::endProgramNow() {
    // No event of any window may run after "退出", not even the rest of a poll
    // tick that is yielded below this click: leave without unwinding.
    std::fflush(nullptr);
    std::_Exit(0);
}

void ssqx::Form_Load() {
    const QStringList functionItems = {"0:DI开关量输入 ", "1:清零16位X1计数 ", "2:清零32位X1计数 "};
    const QStringList outputItems = {"0:通讯控制功能", "1:预置值到达报警 "};
    const QStringList outputItemsBlank = {"0:通讯控制功能 ", "1:预置值到达报警 "};
    const ListFill lists[] = {
        {"Combo1", numbered(module_line::kListedPorts)},
        {"Combo2", numbered(module_line::kListedAddresses)},
        {"Combo12", {"0:无校验 ", "1:奇校验 ", "2:偶校验 "}},
        {"Combo3", functionItems},
        {"Combo4", functionItems},
        {"Combo5", functionItems},
        {"Combo6", functionItems},
        {"Combo7", outputItems},
        {"Combo8", outputItemsBlank},
        {"Combo9", outputItems},
        {"Combo10", outputItemsBlank},
        {"Combo11", {"0:脉冲计数 ", "1:频率测量 ", "2:12正反，34计数 "}},
    };
    for (const ListFill& list : lists) {
        if (auto* combo = qobject_cast<QComboBox*>(control(QLatin1String(list.combo)))) {
            combo->addItems(list.items);
            combo->setEditText(combo->itemText(0));
            combo->lineEdit()->setCursorPosition(0);
        }
        // 9600 baud and even parity are chosen right after the port list.
        if (QLatin1String(list.combo) == QLatin1String("Combo1")) {
            for (const char* name : {"Option1(0)", "Option2(2)"}) {
                if (auto* option = qobject_cast<QRadioButton*>(control(QLatin1String(name)))) {
                    option->setChecked(true);
                }
            }
        }
    }
    CloseLock = true;
}

void ssqx::closeEvent(QCloseEvent* event) {
    if (CloseLock) {
        event->ignore();
        return;
    }
    event->accept();
}

void ssqx::Command1_Click() {
    CloseLock = false;
    close();
    endProgram_();
}

void ssqx::connectButton(const QString& name, void (ssqx::*handler)()) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(name))) {
        connect(button, &QAbstractButton::clicked, this, handler);
    }
}

void ssqx::connectArray(const char* array, std::function<void(int)> handler) {
    // A control array is a button group whose ids are the member indexes.
    auto* group = new QButtonGroup(this);
    group->setObjectName(QLatin1String(array));
    group->setExclusive(false);
    const QString prefix = QLatin1String(array) + QLatin1Char('(');
    for (auto it = controls_.cbegin(); it != controls_.cend(); ++it) {
        if (it.key().startsWith(prefix)) {
            const int index = it.key().mid(prefix.size()).chopped(1).toInt();
            group->addButton(qobject_cast<QAbstractButton*>(it.value()), index);
        }
    }
    connect(group, &QButtonGroup::idClicked, this, std::move(handler));
}

void ssqx::connectArrays() {
    connectButton(QStringLiteral("Command1"), &ssqx::Command1_Click);
    connect(qobject_cast<QAbstractButton*>(control(QStringLiteral("Command9"))),
            &QAbstractButton::clicked, this, [this] {
                linkOpened_ = true;
                linkHealthy_ = true;
                moduleStatus_.reset();
                statusLine_->clearNotice();
                portControl_.Command9_Click();
            });
    connect(qobject_cast<QAbstractButton*>(control(QStringLiteral("Command10"))),
            &QAbstractButton::clicked, this, [this] {
                if (const auto s = driver_.linkStatus(linkParam_[link_param::kPort]);
                    s && linkOpened_) {
                    closedLinkCounts_ = {s->transactions, s->failures, s->round_trip_us};
                }
                linkOpened_ = false;
                portControl_.Command10_Click();
                // The counts stay, but no longer as current.
                markAllOld(this, QStringLiteral("端口已关闭"));
            });
    // Each write returns what it did not write as typed.
    const auto writing = [this](const char* array, std::function<QString(int)> write) {
        connectArray(array, [this, array, write](int i) {
            reportWrite(control(QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(i)),
                        [&] { return write(i); });
        });
    };
    writing("Command2", [this](int i) { return coilCommands_.Command2_Click(i), QString(); });
    writing("Command3", [this](int i) { return coilCommands_.Command3_Click(i), QString(); });
    writing("Command2A", [this](int i) { return coilCommands_.Command2A_Click(i), QString(); });
    writing("Command2B", [this](int i) { return coilCommands_.Command2B_Click(i), QString(); });
    writing("Command2AC", [this](int i) {
        const auto row = configRow(i);
        const QString note = configWriteNote(i, row ? text(row->editor) : QString());
        configWrite_.Command2AC_Click(i);
        return note;
    });
}

void ssqx::reportWrite(QWidget* button, const std::function<QString()>& write) {
    const int before = driver_.count().transactions;
    QString words = write();
    if (driver_.count().transactions > before && moduleStatus_ &&
        moduleStatus_->outcome != TQ7310_OK) {
        words += (words.isEmpty() ? QString() : QStringLiteral("；")) +
                 QStringLiteral("写入失败：") +
                 briefOutcomeText(moduleStatus_->outcome, moduleStatus_->exception_code,
                                  moduleStatus_->other_address, moduleStatus_->maybe_answers);
    }
    if (words.isEmpty() || button == nullptr) {
        return;
    }
    const QString what = button->accessibleName().isEmpty() ? button->property("text").toString()
                                                            : button->accessibleName();
    statusLine_->showNotice(what + QStringLiteral("：") + words);
    announce(this, what + QStringLiteral("：") + words);
}

void ssqx::applyTabOrder() {
    const auto& order = mainWindowTabOrder();
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget* before = control(order[i - 1]);
        QWidget* after = control(order[i]);
        if (before && after) {
            setTabOrder(before, after);
        }
    }
    // Then the status line's buttons, and round to the first control.
    QWidget* previous = control(order.back());
    for (QPushButton* button : statusLine_->buttons()) {
        setTabOrder(previous, button);
        previous = button;
    }
}

QString ssqx::text(const QString& name) const {
    QWidget* w = control(name);
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        return combo->currentText();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return edit->text();
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text();
    }
    return {};
}

bool ssqx::isSelected(const QString& name) const {
    auto* option = qobject_cast<QRadioButton*>(control(name));
    return option && option->isChecked();
}

void ssqx::setText(const QString& name, const QString& text) {
    QWidget* w = control(name);
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        const int index = combo->findText(text);
        if (index >= 0) {
            combo->setCurrentIndex(index);
        } else {
            combo->setEditText(text);
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(text);
    }
}

void ssqx::select(const QString& name) {
    if (auto* option = qobject_cast<QRadioButton*>(control(name))) {
        option->setChecked(true);
    }
}

void ssqx::setCaption(const QString& name, const QString& caption) {
    QWidget* w = control(name);
    if (auto* box = qobject_cast<ValueBox*>(w)) {
        box->showValue(caption);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(caption);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(caption);
    } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        frame->setTitle(caption);
    }
}

void ssqx::setBackground(const QString& name, Rgb colour) {
    if (QWidget* w = control(name)) {
        setBackgroundColour(w, colour);
    }
}

void ssqx::setTimerEnabled(const QString& timer, bool enabled) {
    QTimer* t = timer == QLatin1String("Timer1")   ? Timer1
                : timer == QLatin1String("Timer2") ? Timer2
                                                   : nullptr;
    if (t) {
        enabled ? t->start() : t->stop();
    }
}

void ssqx::refreshLinkStatus(std::int32_t port, const QByteArray& lastReply) {
    if (QThread::currentThread() != thread()) {
        // The finder's probes run on a thread of their own.
        QMetaObject::invokeMethod(
            this, [this, port, lastReply] { refreshLinkStatus(port, lastReply); },
            Qt::QueuedConnection);
        return;
    }
    // The log is read in any case, so the finder's probes reach "通讯记录".
    trafficFeed_.schedule();
    if (finder_ && finder_->searching()) {
        // The probes are the finder's, not the panel's failed transactions.
        statusPort_ = port;
        statusLine_->showStatus(
            {QStringLiteral("“查找模块”正在用端口%1 查找，轮询已停").arg(port), {}, {}, false, {}});
        return;
    }
    if (checking()) {
        // The check's thread has the driver; the line is shown again after it.
        LinkStatusText checking;
        checking.link = QStringLiteral("自检正在进行，轮询已停");
        statusLine_->showStatus(checking);
        return;
    }
    auto status = driver_.linkStatus(port);
    // The status line speaks of the module the window polls: a row of
    // 读写任意点 may ask another slave, and its failures stay in its row and
    // in the counts.
    if (status && lastCallAnyPoint_) {
        const Tq7310LinkStatus module = moduleStatus_.value_or(Tq7310LinkStatus{});
        status->outcome = moduleStatus_ ? module.outcome : TQ7310_NONE;
        status->system_error = module.system_error;
        status->exception_code = module.exception_code;
        status->other_address = module.other_address;
        status->maybe_answers = module.maybe_answers;
        status->round_trip_us = moduleStatus_ ? module.round_trip_us : -1;
    } else if (status) {
        moduleStatus_ = status;
        if (status->outcome != TQ7310_OK) {
            lastFailure_ = briefOutcomeText(status->outcome, status->exception_code,
                                            status->other_address, status->maybe_answers);
        }
    }
    if (status && !linkOpened_) {
        // The port's counts since its last open may be the finder's probes.
        status->transactions = closedLinkCounts_.transactions;
        status->failures = closedLinkCounts_.failures;
        status->round_trip_us = closedLinkCounts_.roundTripUs;
    }
    const TransactionCount count = driver_.count();
    const LinkStatusText shown =
        describeLink(status, linkParam_, linkOpened_,
                     {driver_.libraryLoaded(), count.transactions, count.failures}, lastReply);
    statusLine_->showStatus(shown);
    announceLinkHealth(shown);
    statusPort_ = port;
    const auto counters = linkOpened_ ? driver_.linkCounters(port) : std::nullopt;
    statusLine_->showCountersDetail(counters ? countersBreakdown(*counters) : QString());
    using namespace link_param;
    if (linkOpened_ && status && status->outcome == TQ7310_OK) {
        const finder::LastLink answered{linkParam_[kPort],
                                        {linkParam_[kBaudCode], linkParam_[kParityCode]},
                                        linkParam_[kAddress]};
        if (answered != lastLink_) {
            lastLink_ = answered;
            finder::saveLastLink(answered);
        }
    }
}

void ssqx::announceLinkHealth(const LinkStatusText& shown) {
    // A link that opened well is not news; a failure, and the end of one, is.
    const bool healthy = !shown.linkFailed;
    if (!linkOpened_ || (healthy && !shown.healthy) || healthy == linkHealthy_) {
        return;
    }
    linkHealthy_ = healthy;
    announce(this, healthy ? QStringLiteral("通讯恢复：") + shown.module
                           : QStringLiteral("通讯故障：%1 %2").arg(shown.link, shown.module));
}

void ssqx::showTrafficWindow() {
    if (trafficWindow_ == nullptr) {
        trafficWindow_ = new traffic::TrafficWindow(trafficFeed_, this);
        placeAt(trafficWindow_, trafficPlace_);
    }
    keepOnScreen(trafficWindow_);
    trafficWindow_->show();
    trafficWindow_->raise();
    trafficWindow_->activateWindow();
}

void ssqx::showTrendWindow() {
    if (trendWindow_ == nullptr) {
        trendWindow_ = new trend::TrendWindow(trendFeed_, this);
        trendWindow_->findChild<QComboBox*>(QStringLiteral("TrendSpan"))
            ->setCurrentIndex(trendSpan_);
        trendWindow_->setChosenQuantity(trendQuantity_);
        placeAt(trendWindow_, trendPlace_);
    }
    keepOnScreen(trendWindow_);
    trendWindow_->show();
    trendWindow_->raise();
    trendWindow_->activateWindow();
}

void ssqx::showAnyPointWindow() {
    if (anyPointWindow_ == nullptr) {
        anyPointWindow_ = new anypoint::AnyPointWindow(anyPointPoller_, this);
        const QString filter = QStringLiteral("工作区 (*.json)");
        connect(anyPointWindow_, &anypoint::AnyPointWindow::saveWorkspaceClicked, this, [=, this] {
            const QString path = rememberFolderOf(QFileDialog::getSaveFileName(
                anyPointWindow_, QStringLiteral("保存工作区"),
                startFolder() + QStringLiteral("/工作区.json"), filter));
            if (!path.isEmpty()) {
                saveWorkspace(path);
            }
        });
        connect(anyPointWindow_, &anypoint::AnyPointWindow::openWorkspaceClicked, this, [=, this] {
            const QString path = rememberFolderOf(QFileDialog::getOpenFileName(
                anyPointWindow_, QStringLiteral("打开工作区"), startFolder(), filter));
            if (!path.isEmpty()) {
                openWorkspace(path);
            }
        });
        placeAt(anyPointWindow_, anyPointPlace_);
    }
    keepOnScreen(anyPointWindow_);
    anyPointWindow_->show();
    anyPointWindow_->raise();
    anyPointWindow_->activateWindow();
}

void ssqx::showModuleCheckWindow() {
    if (moduleCheckWindow_ == nullptr) {
        const auto openLink = [this]() -> std::optional<ReportHeader> {
            if (!linkOpened_) {
                return std::nullopt;
            }
            using namespace link_param;
            ReportHeader header;
            header.port = linkParam_[kPort];
            header.address = linkParam_[kAddress];
            header.baud = module_line::baudOfCode(linkParam_[kBaudCode]).value_or(0);
            header.parity = module_line::parityOfCode(linkParam_[kParityCode]).value_or('?');
            if (const auto status = driver_.linkStatus(header.port)) {
                header.device = QString::fromLocal8Bit(status->device);
            }
            header.driver = QStringLiteral("ModbusRTU (tq7310-panel %1)")
                                .arg(QCoreApplication::applicationVersion());
            return header;
        };
        moduleCheckWindow_ = new ModuleCheckWindow(
            driver_, openLink, [this] { return statusPoll_.ticking() || counterPoll_.ticking(); },
            this);
        connect(moduleCheckWindow_, &ModuleCheckWindow::runningChanged, this, &ssqx::pauseForCheck);
    }
    keepOnScreen(moduleCheckWindow_);
    moduleCheckWindow_->show();
    moduleCheckWindow_->raise();
    moduleCheckWindow_->activateWindow();
}

bool ssqx::checking() const {
    return moduleCheckWindow_ != nullptr && moduleCheckWindow_->running();
}

void ssqx::pauseForCheck(bool running) {
    if (running) {
        timer1BeforeCheck_ = Timer1->isActive();
        timer2BeforeCheck_ = Timer2->isActive();
        Timer1->stop();
        Timer2->stop();
        // The check clears counts and writes the configuration: what the
        // boxes show is no longer the module's.
        markAllOld(this, QStringLiteral("自检中，轮询已停"));
    } else {
        setTimerEnabled(QStringLiteral("Timer1"), timer1BeforeCheck_);
        setTimerEnabled(QStringLiteral("Timer2"), timer2BeforeCheck_);
    }
    // "关闭", "退出", the writes and the finder would use the port under the check.
    centralWidget()->setEnabled(!running);
    statusLine_->findChild<QWidget*>(QStringLiteral("FindModule"))->setEnabled(!running);
    if (!running) {
        refreshLinkStatus(statusPort_);
    }
}

anypoint::Workspace ssqx::workspace() const {
    using namespace link_param;
    const WindowLinkSettings shown = readLinkSettings(*this);
    anypoint::Workspace w;
    w.port = shown.port.value_or(linkParam_[kPort]);
    w.baudCode = shown.baudCode.value_or(linkParam_[kBaudCode]);
    w.parityCode = shown.parityCode.value_or(linkParam_[kParityCode]);
    w.address = shown.address.value_or(linkParam_[kAddress]);
    w.rows = anyPointPoller_.rows();
    const auto open = [](const QWidget* window) { return window && window->isVisible(); };
    w.trendOpen = open(trendWindow_);
    w.trendSpan =
        trendWindow_
            ? trendWindow_->findChild<QComboBox*>(QStringLiteral("TrendSpan"))->currentIndex()
            : trendSpan_;
    w.trendQuantity = trendWindow_ ? trendWindow_->chosenQuantity() : trendQuantity_;
    w.trafficOpen = open(trafficWindow_);
    w.anyPointOpen = open(anyPointWindow_);
    const auto place = [](const QWidget* window, const std::optional<QRect>& kept) {
        return window ? placeOf(window) : kept;
    };
    w.trendPlace = place(trendWindow_, trendPlace_);
    w.trafficPlace = place(trafficWindow_, trafficPlace_);
    w.anyPointPlace = place(anyPointWindow_, anyPointPlace_);
    return w;
}

void ssqx::applyWorkspace(const anypoint::Workspace& w) {
    showLinkSettings(*this, w.port, w.baudCode, w.parityCode, w.address);
    anyPointPoller_.replaceRows(w.rows);
    trendSpan_ = w.trendSpan;
    trendQuantity_ = w.trendQuantity;
    if (trendWindow_) {
        trendWindow_->findChild<QComboBox*>(QStringLiteral("TrendSpan"))
            ->setCurrentIndex(trendSpan_);
        trendWindow_->setChosenQuantity(trendQuantity_);
    }
    const auto place = [](QWidget* window, std::optional<QRect>& kept,
                          const std::optional<QRect>& given) {
        kept = given;
        if (window) {
            placeAt(window, given);
        }
    };
    place(trendWindow_, trendPlace_, w.trendPlace);
    place(trafficWindow_, trafficPlace_, w.trafficPlace);
    place(anyPointWindow_, anyPointPlace_, w.anyPointPlace);
    if (w.trendOpen) {
        showTrendWindow();
    }
    if (w.trafficOpen) {
        showTrafficWindow();
    }
    if (w.anyPointOpen) {
        showAnyPointWindow();
    }
    // The windows opened where they were, and the main window stays in front.
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

bool ssqx::openWorkspace(const QString& path) {
    const auto read = anypoint::readWorkspaceFile(path);
    if (const auto* why = std::get_if<QString>(&read)) {
        reportWorkspace(*why, false, path);
        return false;
    }
    applyWorkspace(std::get<anypoint::Workspace>(read));
    reportWorkspace(QStringLiteral("已打开工作区：") + path, true, path);
    return true;
}

bool ssqx::saveWorkspace(const QString& path) {
    const anypoint::Workspace w = workspace();
    // What would be refused at opening is not saved.
    if (const auto fault = anypoint::workspaceFault(w)) {
        reportWorkspace(QStringLiteral("工作区%1，未保存").arg(*fault), false, path);
        return false;
    }
    const SaveOutcome outcome = writeTextFile(path, QString::fromUtf8(anypoint::workspaceJson(w)));
    reportWorkspace(outcome.words, outcome.saved, path);
    return outcome.saved;
}

void ssqx::reportWorkspace(const QString& words, bool done, const QString& path) {
    statusLine_->showNotice(words, path);
    // Said where the user asked: 读写任意点 holds the workspace's buttons.
    if (anyPointWindow_ && anyPointWindow_->isVisible()) {
        anyPointWindow_->showNote(words, !done);
    } else if (!done) {
        announce(this, words);
    }
}

void ssqx::yieldToEvents() {
    QCoreApplication::processEvents();
}

void ssqx::findModule() {
    // The search owns the port while it runs: an open link is closed first,
    // just as "关闭" closes it, so no poll talks in between.
    const bool wasOpen = linkOpened_;
    if (wasOpen) {
        if (auto* close = qobject_cast<QAbstractButton*>(control(QStringLiteral("Command10")))) {
            close->click();
        }
    }
    // The search starts where "打开" would open.
    LinkParamTable opening = linkParam_;
    applyLinkSettings(readLinkSettings(*this), opening);
    using namespace link_param;
    finder::WindowSetting here;
    here.port = opening[kPort];
    here.address = opening[kAddress];
    here.setting = {opening[kBaudCode], opening[kParityCode]};
    auto* dialog = new finder::FindModuleDialog(driver_, here, wasOpen, this, [this] {
        return statusPoll_.ticking() || counterPoll_.ticking();
    });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &finder::FindModuleDialog::use, this, &ssqx::useFound);
    connect(&dialog->search(), &finder::ModuleSearch::finished, this,
            [this] { refreshLinkStatus(linkParam_[link_param::kPort]); });
    finder_ = dialog;
    keepOnScreen(dialog);
    dialog->open();
}

void ssqx::useFound(const finder::Found& found) {
    showLinkSettings(*this, found.port, found.setting.baudCode, found.setting.parityCode,
                     found.address);
    // Until "打开" is pressed.
    statusLine_->showNotice(QStringLiteral("已填入：端口%1 %2,8,1 地址 %3，按“打开”连接")
                                .arg(found.port)
                                .arg(found.setting.text())
                                .arg(found.address));
}
