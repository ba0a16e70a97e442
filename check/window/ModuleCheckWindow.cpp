#include "ModuleCheckWindow.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "Announcement.h"
#include "StartFolder.h"
#include "TextFile.h"

namespace {

enum Column { kStep, kVerdict, kTime };

// How often a start waits for a poll's tick to end: a tick is a few
// transactions long.
constexpr int kLineFreeRetryMs = 50;

const QString kPortClosed = QStringLiteral("端口未打开，不能自检：请先在主窗口按“打开”");

QString endWords(const CheckReport& report) {
    if (!report.answered) {
        return QStringLiteral("模块没有应答，未能自检");
    }
    switch (exitStatusOf(report)) {
        case 0:
            return QStringLiteral("自检结束：全部通过，模块已恢复原状");
        case 3:
            return QStringLiteral("未能恢复原状：") + report.notRestored.join(QStringLiteral("，"));
        case 1:
            return report.selfChanged.isEmpty()
                       ? QStringLiteral("自检结束：有步骤失败，模块已恢复原状")
                       : report.selfChanged.join(QStringLiteral("，"));
    }
    return report.stopped ? QStringLiteral("已停止，模块已恢复原状")
                          : QStringLiteral("自检结束：线路出错，有步骤未能判断，模块已恢复原状");
}

QColor verdictColour(Verdict verdict) {
    switch (verdict) {
        case Verdict::Passed:
            return Qt::darkGreen;
        case Verdict::Failed:
            return Qt::red;
        case Verdict::LinkProblem:
            return QColor(0xB3, 0x5C, 0x00);
        case Verdict::Skipped:
            break;
    }
    return Qt::gray;
}

}  // namespace

ModuleCheckWindow::ModuleCheckWindow(ModuleDriver& driver, OpenLink openLink, LineBusy lineBusy,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window),
      driver_(driver),
      openLink_(std::move(openLink)),
      lineBusy_(std::move(lineBusy)),
      keepCounts_(new QCheckBox(QStringLiteral("保留计数"), this)),
      inputs_(new QCheckBox(QStringLiteral("检查输入（需有人在现场操作）"), this)),
      start_(new QPushButton(QStringLiteral("开始"), this)),
      stop_(new QPushButton(QStringLiteral("停止"), this)),
      copy_(new QPushButton(QStringLiteral("复制"), this)),
      save_(new QPushButton(QStringLiteral("保存报告"), this)),
      state_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      steps_(new QTableWidget(0, 3, this)),
      detail_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("ModuleCheckWindow"));
    setWindowTitle(QStringLiteral("自检"));
    keepCounts_->setObjectName(QStringLiteral("KeepCounts"));
    inputs_->setObjectName(QStringLiteral("CheckInputs"));
    start_->setObjectName(QStringLiteral("CheckStart"));
    stop_->setObjectName(QStringLiteral("CheckStop"));
    copy_->setObjectName(QStringLiteral("CheckCopy"));
    save_->setObjectName(QStringLiteral("CheckSave"));
    state_->setObjectName(QStringLiteral("CheckState"));
    progress_->setObjectName(QStringLiteral("CheckProgress"));
    steps_->setObjectName(QStringLiteral("CheckSteps"));
    detail_->setObjectName(QStringLiteral("CheckDetail"));

    state_->setWordWrap(true);
    state_->setAccessibleName(QStringLiteral("自检状态"));
    progress_->setAccessibleName(QStringLiteral("自检进度"));
    steps_->setAccessibleName(QStringLiteral("自检步骤与结果"));
    detail_->setAccessibleName(QStringLiteral("失败步骤的详情"));
    progress_->setRange(0, ModuleCheck::kSteps);
    progress_->setValue(0);
    steps_->setHorizontalHeaderLabels(
        {QStringLiteral("步骤"), QStringLiteral("结果"), QStringLiteral("用时")});
    steps_->verticalHeader()->hide();
    // All six steps in sight without scrolling.
    steps_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    steps_->horizontalHeader()->setStretchLastSection(true);
    steps_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    steps_->setSelectionMode(QAbstractItemView::NoSelection);
    detail_->setReadOnly(true);
    detail_->setPlaceholderText(QStringLiteral("失败步骤的详情"));
    stop_->setEnabled(false);
    copy_->setEnabled(false);
    save_->setEnabled(false);

    auto* options = new QHBoxLayout;
    options->addWidget(keepCounts_);
    options->addWidget(inputs_);
    options->addStretch();
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {start_, stop_, copy_, save_}) {
        buttons->addWidget(b);
    }
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(options);
    layout->addLayout(buttons);
    layout->addWidget(state_);
    layout->addWidget(progress_);
    layout->addWidget(steps_, 2);
    layout->addWidget(detail_, 1);
    resize(460, 420);

    connect(start_, &QPushButton::clicked, this, &ModuleCheckWindow::confirm);
    connect(stop_, &QPushButton::clicked, this, [this] {
        check_->requestStop();
        stop_->setEnabled(false);
        state_->setText(QStringLiteral("正在停止，随后恢复原状…"));
    });
    connect(copy_, &QPushButton::clicked, this, &ModuleCheckWindow::copy);
    connect(save_, &QPushButton::clicked, this, &ModuleCheckWindow::save);
}

ModuleCheckWindow::~ModuleCheckWindow() {
    // The panel ends: the run stops and still puts the module back.
    if (thread_ != nullptr) {
        check_->requestStop();
        thread_->wait();
        delete thread_;
    }
}

void ModuleCheckWindow::closeEvent(QCloseEvent* event) {
    if (thread_ == nullptr) {
        event->accept();
        return;
    }
    // A check left running where nobody sees it would keep the main
    // window's polls held: closing asks, and stopping is the default.
    event->ignore();
    auto* ask = new QMessageBox(QMessageBox::Question, QStringLiteral("自检"),
                                QStringLiteral("自检正在进行。停止自检并恢复模块原状吗？"),
                                QMessageBox::Yes | QMessageBox::No, this);
    ask->setObjectName(QStringLiteral("CheckCloseConfirm"));
    ask->setDefaultButton(QMessageBox::Yes);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    connect(ask->button(QMessageBox::Yes), &QAbstractButton::clicked, this, [this] {
        if (stop_->isEnabled()) {
            stop_->click();
        }
        hide();
    });
    ask->open();
}

QString ModuleCheckWindow::report() const {
    return report_ ? reportText(header_, *report_) : QString();
}

void ModuleCheckWindow::confirm() {
    if (!openLink_()) {
        state_->setText(kPortClosed);
        announce(this, kPortClosed);
        return;
    }
    auto* ask = new QMessageBox(
        QMessageBox::Question, QStringLiteral("自检"),
        QStringLiteral("自检会逐个接通、断开输出 Y1-Y5，接在上面的负载会真的动作；%1"
                       "每个配置寄存器会写入测试值再写回原值。\n\n继续吗？")
            .arg(keepCounts_->isChecked()
                     ? QStringLiteral("计数保留不清零；")
                     : QStringLiteral("X1-X4 的计数会清零，无法恢复（勾选“保留计数”可免）；")),
        QMessageBox::Yes | QMessageBox::No, this);
    ask->setObjectName(QStringLiteral("CheckConfirm"));
    ask->setDefaultButton(QMessageBox::No);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    connect(ask->button(QMessageBox::Yes), &QAbstractButton::clicked, this, [this] {
        start_->setEnabled(false);
        startWhenLineFree();
    });
    ask->open();
}

void ModuleCheckWindow::startWhenLineFree() {
    if (lineBusy_()) {
        state_->setText(QStringLiteral("等待主窗口的轮询结束…"));
        QTimer::singleShot(kLineFreeRetryMs, this, &ModuleCheckWindow::startWhenLineFree);
        return;
    }
    // The link may have closed while the question was open.
    const auto link = openLink_();
    if (!link) {
        state_->setText(kPortClosed);
        start_->setEnabled(true);
        return;
    }
    header_ = *link;
    header_.when = QDateTime::currentDateTime();
    CheckOptions options;
    options.port = header_.port;
    options.address = header_.address;
    options.inputs = inputs_->isChecked();
    options.keepCounts = keepCounts_->isChecked();
    check_ = std::make_unique<ModuleCheck>(driver_, options);
    // The engine calls these on its thread; the window shows them on its own.
    check_->onStepStarted = [this](const QString& step) {
        QMetaObject::invokeMethod(
            this, [this, step] { showStarted(step); }, Qt::QueuedConnection);
    };
    check_->onStepDone = [this](const StepResult& step) {
        QMetaObject::invokeMethod(
            this, [this, step] { showDone(step); }, Qt::QueuedConnection);
    };
    check_->onPrompt = [this](const QString& ask) {
        QMetaObject::invokeMethod(
            this,
            [this, ask] {
                state_->setText(QStringLiteral("请操作：") + ask);
                announce(this, state_->text());
            },
            Qt::QueuedConnection);
    };
    report_.reset();
    steps_->setRowCount(0);
    detail_->clear();
    progress_->setValue(0);
    stop_->setEnabled(true);
    copy_->setEnabled(false);
    save_->setEnabled(false);
    state_->setText(QStringLiteral("自检中，主窗口的轮询已暂停"));
    thread_ = QThread::create([this] { report_ = check_->run(); });
    connect(thread_, &QThread::finished, this, &ModuleCheckWindow::finish);
    emit runningChanged(true);
    thread_->start();
}

int ModuleCheckWindow::rowOf(const QString& step) {
    for (int row = 0; row < steps_->rowCount(); ++row) {
        if (steps_->item(row, kStep)->text() == step) {
            return row;
        }
    }
    const int row = steps_->rowCount();
    steps_->insertRow(row);
    steps_->setItem(row, kStep, new QTableWidgetItem(step));
    steps_->setItem(row, kVerdict, new QTableWidgetItem);
    steps_->setItem(row, kTime, new QTableWidgetItem);
    return row;
}

void ModuleCheckWindow::showStarted(const QString& step) {
    steps_->item(rowOf(step), kVerdict)->setText(QStringLiteral("进行中"));
}

void ModuleCheckWindow::showDone(const StepResult& step) {
    const int row = rowOf(step.name);
    QTableWidgetItem* verdict = steps_->item(row, kVerdict);
    verdict->setText(verdictText(step.verdict));
    verdict->setForeground(verdictColour(step.verdict));
    steps_->item(row, kTime)
        ->setText(step.verdict == Verdict::Skipped ? QString()
                                                   : QStringLiteral("%1 ms").arg(step.ms));
    progress_->setValue(progress_->value() + 1);
    // The first failure is the one to read; a skipped step says why.
    const bool failed = step.verdict == Verdict::Failed || step.verdict == Verdict::LinkProblem;
    if (failed && detail_->toPlainText().isEmpty()) {
        detail_->setPlainText(step.name + QStringLiteral("：\n") + step.evidence.join(u'\n'));
    }
}

void ModuleCheckWindow::finish() {
    thread_->deleteLater();
    thread_ = nullptr;
    progress_->setValue(progress_->maximum());
    state_->setText(endWords(*report_));
    announce(this, state_->text());
    stop_->setEnabled(false);
    start_->setEnabled(true);
    copy_->setEnabled(true);
    save_->setEnabled(true);
    emit runningChanged(false);
}

void ModuleCheckWindow::copy() {
    QGuiApplication::clipboard()->setText(report());
    state_->setText(QStringLiteral("已复制报告"));
}

void ModuleCheckWindow::save() {
    const QString path = rememberFolderOf(QFileDialog::getSaveFileName(
        this, QStringLiteral("保存报告"), startFolder() + QStringLiteral("/自检报告.txt"),
        QStringLiteral("文本文件 (*.txt)")));
    if (!path.isEmpty()) {
        state_->setText(writeTextFile(path, report()).words);
    }
}
