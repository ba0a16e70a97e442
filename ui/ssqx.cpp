#include "ssqx.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "AccessibleNames.h"
#include "Announcement.h"
#include "ControlFactory.h"
#include "CountersText.h"
#include "Layout.h"
#include "LinkStatusBar.h"
#include "PointTracking.h"
#include "PortSettings.h"
#include "ProgramIcon.h"
#include "ReadMarks.h"
#include "ReadableControls.h"
#include "SerialLine.h"
#include "ToolWindowRole.h"
#include "ValueBox.h"
#include "WindowLinkSettings.h"
#include "WindowPlacement.h"

namespace {

constexpr std::chrono::milliseconds kStatusTick{500};
// A write right after "打开" waits for the first tick's answers, or this long.
constexpr std::chrono::milliseconds kFirstWriteWait = 3 * kStatusTick;

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
    : firstWrite_(driver, kFirstWriteWait),
      driver_(firstWrite_),
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
          [this] {
              return statusPoll_.ticking() || counterPoll_.ticking() ||
                     (sideWindows_ && sideWindows_->checking());
          }) {
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
    // Once the log is read, the status line can show the bytes of a bad reply.
    connect(&trafficFeed_, &traffic::TrafficFeed::linesAdded, this,
            [this] { refreshLinkStatus(statusPort_, trafficFeed_.lastReply(statusPort_)); });
    connect(&trendFeed_, &trend::Feed::recordStatusChanged, statusLine_,
            &LinkStatusBar::showRecordStatus);
    followTrackedPoints(anyPointPoller_, trendFeed_);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kStatusTick);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { statusPoll_.Timer1_Timer(); });
    connect(Timer2, &QTimer::timeout, this, [this] { counterPoll_.Timer2_Timer(); });
    const auto polling = [this] { return statusPoll_.ticking() || counterPoll_.ticking(); };
    const std::array<QTimer*, 2> polls = {Timer1, Timer2};
    sideWindows_ = std::make_unique<SideWindows>(
        SideWindows::Sources{this, *this, statusLine_, driver_, linkParam_, polls, trendFeed_,
                             trafficFeed_, anyPointPoller_, linkOpened_, polling});
    portSettings_ = new PortSettings(this, controls_);
    workspace_ = std::make_unique<WorkspaceState>(this, *this, linkParam_, anyPointPoller_,
                                                  *sideWindows_, *portSettings_, statusLine_);
    connect(sideWindows_.get(), &SideWindows::searchEnded, this,
            [this] { refreshLinkStatus(linkParam_[link_param::kPort]); });
    connect(sideWindows_.get(), &SideWindows::checkEnded, this,
            [this] { refreshLinkStatus(statusPort_); });
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

void ssqx::connectButton(const QString& name, std::function<void()> handler) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(name))) {
        connect(button, &QAbstractButton::clicked, this, std::move(handler));
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
    connectButton(QStringLiteral("Command1"), [this] { Command1_Click(); });
    connectButton(QStringLiteral("Command9"), [this] {
        linkOpened_ = true;
        linkHealthy_ = true;
        moduleStatus_.reset();
        statusLine_->clearNotice();
        portControl_.Command9_Click();
    });
    connectButton(QStringLiteral("Command10"), [this] {
        if (const auto s = driver_.linkStatus(linkParam_[link_param::kPort]); s && linkOpened_) {
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
    if (sideWindows_->searching()) {
        // The probes are the finder's, not the panel's failed transactions.
        statusPort_ = port;
        statusLine_->showStatus(
            {QStringLiteral("“查找模块”正在用端口%1 查找，轮询已停").arg(port), {}, {}, false, {}});
        return;
    }
    if (sideWindows_->checking()) {
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

void ssqx::yieldToEvents() {
    QCoreApplication::processEvents();
}
