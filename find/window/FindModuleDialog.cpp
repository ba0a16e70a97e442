#include "FindModuleDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "Announcement.h"
#include "LastLink.h"
#include "StartFolder.h"
#include "TextFile.h"

namespace finder {

namespace {
// How often a search that waits for the line looks again.
constexpr int kQuietCheckMs = 10;
}  // namespace

FindModuleDialog::FindModuleDialog(ModuleDriver& driver, const WindowSetting& window,
                                   bool linkWasClosed, QWidget* parent, LineBusy lineBusy)
    : QDialog(parent),
      prober_(driver),
      search_(prober_),
      window_(window),
      lineBusy_(std::move(lineBusy)),
      waitForQuiet_(new QTimer(this)),
      onePort_(new QRadioButton(QStringLiteral("端口 %1 (通讯端口所选)").arg(window.port), this)),
      allPorts_(new QRadioButton(
          QStringLiteral("端口 1 到 %1 中存在的").arg(module_line::kListedPorts), this)),
      firstUnit_(new QSpinBox(this)),
      lastUnit_(new QSpinBox(this)),
      plan_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      trying_(new QLabel(this)),
      timeLeft_(new QLabel(this)),
      results_(new QTableWidget(0, 8, this)),
      notes_(new QListWidget(this)),
      start_(new QPushButton(QStringLiteral("开始"), this)),
      stop_(new QPushButton(QStringLiteral("停止"), this)),
      use_(new QPushButton(QStringLiteral("使用"), this)),
      close_(new QPushButton(QStringLiteral("关闭"), this)),
      copy_(new QPushButton(QStringLiteral("复制"), this)),
      save_(new QPushButton(QStringLiteral("保存"), this)),
      saveResult_(new QLabel(this)) {
    setObjectName(QStringLiteral("FindModuleDialog"));
    setWindowTitle(QStringLiteral("查找模块"));
    setWindowModality(Qt::WindowModal);
    onePort_->setObjectName(QStringLiteral("FindOnePort"));
    allPorts_->setObjectName(QStringLiteral("FindAllPorts"));
    onePort_->setChecked(true);
    progress_->setObjectName(QStringLiteral("FindProgress"));
    trying_->setObjectName(QStringLiteral("FindTrying"));
    timeLeft_->setObjectName(QStringLiteral("FindTimeLeft"));
    results_->setObjectName(QStringLiteral("FindResults"));
    notes_->setObjectName(QStringLiteral("FindNotes"));
    start_->setObjectName(QStringLiteral("FindStart"));
    stop_->setObjectName(QStringLiteral("FindStop"));
    use_->setObjectName(QStringLiteral("FindUse"));
    close_->setObjectName(QStringLiteral("FindClose"));
    copy_->setObjectName(QStringLiteral("FindCopy"));
    save_->setObjectName(QStringLiteral("FindSave"));
    saveResult_->setObjectName(QStringLiteral("FindSaveResult"));
    firstUnit_->setObjectName(QStringLiteral("FindFirstUnit"));
    lastUnit_->setObjectName(QStringLiteral("FindLastUnit"));
    plan_->setObjectName(QStringLiteral("FindPlan"));
    progress_->setAccessibleName(QStringLiteral("查找进度"));
    results_->setAccessibleName(QStringLiteral("查找结果"));
    notes_->setAccessibleName(QStringLiteral("查找备注"));

    auto* where = new QGroupBox(QStringLiteral("端口"), this);
    auto* whereLayout = new QVBoxLayout(where);
    whereLayout->addWidget(onePort_);
    whereLayout->addWidget(allPorts_);

    auto* settingsBox = new QGroupBox(QStringLiteral("波特率和校验 (地址 1 到 247)"), this);
    auto* grid = new QGridLayout(settingsBox);
    for (const LineSetting& s : allSettings()) {
        auto* box = new QCheckBox(s.text(), settingsBox);
        box->setObjectName(QStringLiteral("FindSetting_%1%2").arg(s.baud()).arg(s.parityName()));
        box->setChecked(true);
        grid->addWidget(box, s.baudCode - 1, s.parityCode);
        settings_.emplace_back(box, s);
    }

    // Asked only of a port pointed at a Modbus TCP server or gateway.
    auto* unitsBox = new QGroupBox(QStringLiteral("Modbus TCP 单元"), this);
    auto* units = new QHBoxLayout(unitsBox);
    auto* from = new QLabel(QStringLiteral("从"), unitsBox);
    auto* to = new QLabel(QStringLiteral("到"), unitsBox);
    from->setBuddy(firstUnit_);
    to->setBuddy(lastUnit_);
    firstUnit_->setAccessibleName(QStringLiteral("第一个单元"));
    lastUnit_->setAccessibleName(QStringLiteral("最后一个单元"));
    firstUnit_->setRange(module_line::kFirstAddress, module_line::kLastAddress);
    lastUnit_->setRange(module_line::kFirstAddress, module_line::kLastAddress);
    lastUnit_->setValue(module_line::kLastAddress);
    connect(firstUnit_, &QSpinBox::valueChanged, lastUnit_, &QSpinBox::setMinimum);
    connect(lastUnit_, &QSpinBox::valueChanged, firstUnit_, &QSpinBox::setMaximum);
    for (QWidget* w : std::initializer_list<QWidget*>{from, firstUnit_, to, lastUnit_}) {
        units->addWidget(w);
    }

    results_->setHorizontalHeaderLabels(columnTitles());
    results_->setSelectionBehavior(QAbstractItemView::SelectRows);
    results_->setSelectionMode(QAbstractItemView::SingleSelection);
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The columns fit the dialog: the short ones to their contents, the
    // reason and the points share the rest, elided, whole in the tooltip.
    results_->setWordWrap(false);
    results_->setTextElideMode(Qt::ElideRight);
    results_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (const int column : {6, 7}) {
        results_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    // Tab leaves the table for the buttons; Enter on a row takes it.
    results_->setTabKeyNavigation(false);
    connect(results_, &QTableWidget::activated, this, [this] {
        if (use_->isEnabled()) {
            use_->click();
        }
    });
    results_->verticalHeader()->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(where);
    top->addWidget(settingsBox, 1);
    top->addWidget(unitsBox);
    auto* status = new QHBoxLayout;
    status->addWidget(trying_, 1);
    status->addWidget(timeLeft_);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {copy_, save_}) {
        b->setAutoDefault(false);
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->addWidget(saveResult_, 1);
    for (QPushButton* b : {start_, stop_, use_, close_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    if (linkWasClosed) {
        auto* closed = new QLabel(
            QStringLiteral("端口原来已打开：已先按“关闭”关闭，查找不与轮询抢端口。"), this);
        closed->setObjectName(QStringLiteral("FindLinkClosed"));
        layout->addWidget(closed);
    }
    layout->addLayout(top);
    layout->addWidget(plan_);
    layout->addWidget(progress_);
    layout->addLayout(status);
    layout->addWidget(results_, 3);
    layout->addWidget(notes_, 1);
    layout->addLayout(buttons);
    resize(820, 520);

    stop_->setEnabled(false);
    use_->setEnabled(false);
    waitForQuiet_->setInterval(kQuietCheckMs);
    connect(waitForQuiet_, &QTimer::timeout, this, [this] { startWhenQuiet(pending_); });
    connect(start_, &QPushButton::clicked, this, &FindModuleDialog::begin);
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (waitForQuiet_->isActive()) {
            waitForQuiet_->stop();
            ended(true);
        }
        search_.stop();
        stop_->setEnabled(false);
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(copy_, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(recordText()); });
    connect(save_, &QPushButton::clicked, this, &FindModuleDialog::save);
    connect(use_, &QPushButton::clicked, this, [this] {
        const int row = results_->currentRow();
        if (row >= 0 && row < static_cast<int>(rows_.size())) {
            emit use(rows_[static_cast<std::size_t>(row)]);
            accept();
        }
    });
    connect(results_, &QTableWidget::currentCellChanged, this, [this](int row) {
        use_->setEnabled(row >= 0 && row < static_cast<int>(rows_.size()) &&
                         rows_[static_cast<std::size_t>(row)].address != 0 &&
                         rows_[static_cast<std::size_t>(row)].lastAddress == 0 &&
                         rows_[static_cast<std::size_t>(row)].kind != Answer::NoDevice);
    });
    // Queued: the search runs on a thread of its own.
    const ModuleSearch* search = &search_.search();
    connect(search, &ModuleSearch::searching, this,
            [this](int port, bool byUnit, const QString& how) {
                plan_->setText(how);
                searched_.plans << how;
                if (byUnit) {
                    unitPorts_.insert(port);
                }
            });
    connect(
        search, &ModuleSearch::trying, this, [this](int port, const LineSetting& s, int address) {
            trying_->setText(unitPorts_.count(port) != 0
                                 ? QStringLiteral("正在试: 端口%1  单元 %2").arg(port).arg(address)
                                 : QStringLiteral("正在试: 端口%1  %2,8,1  地址 %3")
                                       .arg(port)
                                       .arg(s.text())
                                       .arg(address));
        });
    connect(search, &ModuleSearch::progress, this, &FindModuleDialog::showProgress);
    connect(search, &ModuleSearch::found, this, &FindModuleDialog::showFound);
    connect(search, &ModuleSearch::grown, this, &FindModuleDialog::showGrown);
    connect(search, &ModuleSearch::note, this,
            [this](const QString& text) { notes_->addItem(text); });
    connect(search, &ModuleSearch::finished, this, &FindModuleDialog::ended);
}

std::vector<int> FindModuleDialog::portsToSearch() {
    if (onePort_->isChecked()) {
        return {window_.port};
    }
    std::vector<int> ports;
    for (int port = 1; port <= module_line::kListedPorts; ++port) {
        // A port pointed at the network is there to search; one pointed at
        // it wrongly too, so that the search says so.
        const auto target = prober_.target(port);
        if (!target || target->networked() || QFileInfo::exists(prober_.device(port))) {
            ports.push_back(port);
        }
    }
    return ports;
}

void FindModuleDialog::begin() {
    Scope scope;
    scope.ports = portsToSearch();
    for (const auto& [box, setting] : settings_) {
        if (box->isChecked()) {
            scope.settings.push_back(setting);
        }
    }
    scope.current = window_.setting;
    scope.currentAddress = window_.address;
    scope.firstUnit = firstUnit_->value();
    scope.lastUnit = lastUnit_->value();
    if (const auto last = loadLastLink()) {
        scope.rememberedPort = last->port;
        scope.remembered = last->setting;
        scope.rememberedAddress = last->address;
    }
    rows_.clear();
    unitPorts_.clear();
    plan_->clear();
    results_->setRowCount(0);
    notes_->clear();
    saveResult_->clear();
    searched_ = {
        QDateTime::currentDateTime(), {}, {}, scope.settings, scope.lastAddress, {}, {}, {}};
    for (const int port : scope.ports) {
        searched_.ports.emplace_back(port, prober_.device(port));
    }
    copy_->setEnabled(true);
    save_->setEnabled(true);
    // A network target is asked at the window's setting, whatever is ticked.
    const bool serialPorts = std::any_of(scope.ports.begin(), scope.ports.end(), [&](int port) {
        const auto target = prober_.target(port);
        return target && !target->networked();
    });
    if (scope.ports.empty() || (scope.settings.empty() && serialPorts)) {
        notes_->addItem(scope.ports.empty() ? QStringLiteral("没有可查找的端口")
                                            : QStringLiteral("没有勾选波特率和校验"));
        return;
    }
    start_->setEnabled(false);
    stop_->setEnabled(true);
    use_->setEnabled(false);
    progress_->setValue(0);
    timeLeft_->clear();
    startWhenQuiet(scope);
}

bool FindModuleDialog::searching() const {
    return search_.running() || waitForQuiet_->isActive();
}

void FindModuleDialog::startWhenQuiet(const Scope& scope) {
    // A poll's tick that was under way when the dialog opened finishes its
    // reads (on the closed port, so none reaches the line) before the first
    // probe: nothing but probes goes out while the search holds the port.
    if (lineBusy_ && lineBusy_()) {
        pending_ = scope;
        trying_->setText(QStringLiteral("等轮询的这一次读完…"));
        waitForQuiet_->start();
        return;
    }
    waitForQuiet_->stop();
    search_.start(scope);
}

void FindModuleDialog::showFound(const Found& found) {
    rows_.push_back(found);
    const int row = results_->rowCount();
    results_->insertRow(row);
    fillRow(row);
    if (found.kind == Answer::Module && results_->currentRow() < 0) {
        results_->selectRow(row);
    }
}

void FindModuleDialog::showGrown(const Found& found) {
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        const Found& r = rows_[row];
        if (r.port == found.port && r.setting == found.setting && r.address == found.address) {
            rows_[row] = found;
            fillRow(static_cast<int>(row));
            // Picked as a module, it turned out to answer at every address.
            if (results_->currentRow() == static_cast<int>(row) && found.kind != Answer::Module) {
                results_->setCurrentCell(-1, -1);
                results_->clearSelection();
            }
            return;
        }
    }
}

void FindModuleDialog::fillRow(int row) {
    const QStringList cells = rowCells(rows_[static_cast<std::size_t>(row)]);
    for (int column = 0; column < cells.size(); ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        // The points run wider than any window: the whole line on hovering.
        item->setToolTip(cells[column]);
        results_->setItem(row, column, item);
    }
}

QString FindModuleDialog::recordText() const {
    SearchRecord record = searched_;
    record.state = trying_->text();
    record.rows = rows_;
    for (int row = 0; row < notes_->count(); ++row) {
        record.notes << notes_->item(row)->text();
    }
    return finder::recordText(record);
}

bool FindModuleDialog::saveTo(const QString& path) {
    const SaveOutcome outcome = writeTextFile(path, recordText());
    saveResult_->setText(outcome.words);
    return outcome.saved;
}

void FindModuleDialog::save() {
    const QString path = rememberFolderOf(QFileDialog::getSaveFileName(
        this, QStringLiteral("保存查找结果"), startFolder() + QStringLiteral("/查找模块.txt"),
        QStringLiteral("文本文件 (*.txt)")));
    if (!path.isEmpty()) {
        saveTo(path);
    }
}

void FindModuleDialog::showProgress(int done, int total, qint64 msLeft) {
    progress_->setMaximum(std::max(1, total));
    progress_->setValue(done);
    timeLeft_->setText(QStringLiteral("还需约 %1 秒").arg((msLeft + 999) / 1000));
}

void FindModuleDialog::ended(bool stopped) {
    start_->setEnabled(true);
    stop_->setEnabled(false);
    timeLeft_->clear();
    trying_->setText(stopped
                         ? QStringLiteral("已停止，端口已关闭")
                         : QStringLiteral("查找结束，端口已关闭；找到 %1 行").arg(rows_.size()));
    announce(this, trying_->text());
}

void FindModuleDialog::done(int result) {
    // Closing the dialog in any way ends the search and lets go of the port.
    waitForQuiet_->stop();
    search_.stopAndWait();
    QDialog::done(result);
}

}  // namespace finder
