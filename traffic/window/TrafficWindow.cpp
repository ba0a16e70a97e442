#include "TrafficWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "CountersText.h"
#include "StartFolder.h"
#include "TextFile.h"

namespace traffic {

namespace {

enum Column { Number, Time, Direction, Bytes, Meaning, Columns };
constexpr int kFailedRole = Qt::UserRole;
constexpr int kTextRole = Qt::UserRole + 1;
constexpr int kPortRole = Qt::UserRole + 2;

QPushButton* button(const QString& caption, const char* name, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

}  // namespace

TrafficWindow::TrafficWindow(TrafficFeed& feed, QWidget* parent)
    : QWidget(parent, Qt::Window),
      feed_(feed),
      table_(new QTableWidget(0, Columns, this)),
      pause_(button(QStringLiteral("暂停"), "TrafficPause", this)),
      failuresOnly_(new QCheckBox(QStringLiteral("只看失败"), this)),
      follow_(new QCheckBox(QStringLiteral("跟随最新"), this)),
      result_(new QLabel(this)),
      detail_(new QPlainTextEdit(this)),
      stats_(new QLabel(this)) {
    setObjectName(QStringLiteral("TrafficLog"));
    setWindowTitle(QStringLiteral("通讯记录 - 计数测频模块 TQ7310"));
    resize(900, 560);

    auto* clear = button(QStringLiteral("清空"), "TrafficClear", this);
    auto* copy = button(QStringLiteral("复制"), "TrafficCopy", this);
    auto* save = button(QStringLiteral("保存"), "TrafficSave", this);
    failuresOnly_->setObjectName(QStringLiteral("TrafficFailuresOnly"));
    follow_->setObjectName(QStringLiteral("FollowNewest"));
    follow_->setChecked(true);
    auto* tools = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(pause_), static_cast<QWidget*>(clear),
                       static_cast<QWidget*>(failuresOnly_), static_cast<QWidget*>(copy),
                       static_cast<QWidget*>(save), static_cast<QWidget*>(follow_)}) {
        tools->addWidget(w);
    }
    tools->addStretch();
    result_->setObjectName(QStringLiteral("TrafficSaveResult"));
    tools->addWidget(result_);

    table_->setObjectName(QStringLiteral("TrafficLines"));
    table_->setHorizontalHeaderLabels({QStringLiteral("序号"), QStringLiteral("时间"),
                                       QStringLiteral("方向"), QStringLiteral("字节"),
                                       QStringLiteral("含义")});
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    // By row, the view's top is a whole row, but at the end its bottom is:
    // a view held there would move by a fraction of a row once rows come.
    table_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(Number, 90);
    table_->setColumnWidth(Time, 95);
    table_->setColumnWidth(Direction, 110);
    table_->setColumnWidth(Bytes, 300);
    // The newest row stays in view from the moment the window opens, until
    // the user scrolls up or picks a row, and again once they are back at
    // the end with no row picked. Where the bar is when rows come says
    // nothing: it has no range before the window is first laid out, and its
    // end moves away with every row; and the window's own moves of the bar
    // are not the user's.
    QScrollBar* bar = table_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!ownMove_) {
            setFollowing(value == bar->maximum() && !table_->selectionModel()->hasSelection());
        }
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (following_) {
            const QScopedValueRollback<bool> own(ownMove_, true);
            bar->setValue(maximum);
        }
    });
    connect(follow_, &QCheckBox::toggled, this, &TrafficWindow::setFollowing);

    // A long frame is cut at the column's edge: the current row is whole
    // below, for the keyboard and a screen reader, and in the tooltips.
    detail_->setObjectName(QStringLiteral("TrafficDetail"));
    detail_->setAccessibleName(QStringLiteral("当前行的全部字节和含义"));
    table_->setAccessibleName(QStringLiteral("通讯记录的行"));
    detail_->setReadOnly(true);
    detail_->setFont(QFont(QStringLiteral("monospace")));
    // A register block's reply (37 bytes) and its meaning without scrolling.
    constexpr int kDetailLines = 7;
    detail_->setFixedHeight(
        detail_->fontMetrics().lineSpacing() * kDetailLines +
        2 * (detail_->frameWidth() + static_cast<int>(detail_->document()->documentMargin())));
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) {
        detail_->setPlainText(row >= 0 ? table_->item(row, Bytes)->toolTip() : QString());
    });
    // A row picked is current and selected, whichever of the two came
    // last; the table makes its first row current, unselected, on focus.
    const auto picked = [this] {
        if (!ownMove_ && table_->currentItem() && table_->currentItem()->isSelected()) {
            setFollowing(false);
        }
    };
    connect(table_, &QTableWidget::currentCellChanged, this, picked);
    connect(table_, &QTableWidget::itemSelectionChanged, this, picked);

    stats_->setObjectName(QStringLiteral("TrafficStats"));
    stats_->setWordWrap(true);
    stats_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* resetStats = button(QStringLiteral("统计清零"), "TrafficStatsReset", this);
    auto* statsRow = new QHBoxLayout;
    statsRow->addWidget(stats_, 1);
    statsRow->addWidget(resetStats);
    connect(resetStats, &QPushButton::clicked, this, &TrafficWindow::resetStats);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addLayout(statsRow);
    layout->addWidget(table_, 1);
    layout->addWidget(detail_);

    connect(pause_, &QPushButton::clicked, this, [this] { setPaused(!paused_); });
    connect(clear, &QPushButton::clicked, this, &TrafficWindow::clear);
    connect(failuresOnly_, &QCheckBox::toggled, this, &TrafficWindow::applyFilter);
    connect(copy, &QPushButton::clicked, this, &TrafficWindow::copySelection);
    connect(save, &QPushButton::clicked, this, &TrafficWindow::save);
    connect(&feed_, &TrafficFeed::linesAdded, this, &TrafficWindow::addNewLines);
    connect(&feed_, &TrafficFeed::linesAdded, this, &TrafficWindow::showStats);
    shownUntil_ = feed_.firstIndex();
    addNewLines();
}

void TrafficWindow::addNewLines() {
    if (paused_) {
        return;
    }
    const bool chosen = chosen_.isValid();
    holdView([this] {
        shownUntil_ = qMax(shownUntil_, feed_.firstIndex());
        for (; shownUntil_ < feed_.endIndex(); ++shownUntil_) {
            addRow(feed_.line(shownUntil_));
        }
        table_->model()->removeRows(0, qMax(0, table_->rowCount() - kMaxRows));
    });
    if (chosen && !chosen_.isValid()) {
        // Held, the view would only show ever newer rows where it was.
        result_->setText(
            QStringLiteral("所选的行已超出保留的 %1 行，已恢复跟随最新").arg(kMaxRows));
        setFollowing(true);
    }
}

void TrafficWindow::holdView(const std::function<void()>& change) {
    const QScopedValueRollback<bool> own(ownMove_, true);
    const QPersistentModelIndex held =
        chosen_.isValid() ? chosen_ : QPersistentModelIndex(table_->indexAt({0, 0}));
    const int before = table_->rowViewportPosition(held.row());
    change();
    // The bar's range for the rows now, rather than unasked later, when its
    // moves would look like the user's.
    table_->doItemsLayout();
    if (following_) {
        table_->scrollToBottom();
    } else if (held.isValid()) {
        // Rows dropped or hidden above it move it up by their height.
        QScrollBar* bar = table_->verticalScrollBar();
        bar->setValue(bar->value() + table_->rowViewportPosition(held.row()) - before);
    }
}

void TrafficWindow::setFollowing(bool following) {
    const QScopedValueRollback<bool> own(ownMove_, true);
    following_ = following;
    {
        const QSignalBlocker quiet(follow_);
        follow_->setChecked(following);
    }
    if (following) {
        chosen_ = QPersistentModelIndex();
        table_->selectionModel()->clear();
        table_->scrollToBottom();
    } else {
        const QTableWidgetItem* current = table_->currentItem();
        const int row = current && current->isSelected() ? current->row() : table_->rowAt(0);
        chosen_ = QPersistentModelIndex(table_->model()->index(row, Number));
    }
}

void TrafficWindow::addRow(const TrafficLine& line) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QString cells[Columns] = {QStringLiteral("%1 #%2").arg(line.port).arg(line.sequence),
                                    line.time.toString(QStringLiteral("hh:mm:ss.zzz")),
                                    line.direction, line.bytes, line.meaning};
    const QString detail = detailText(line);
    for (int column = 0; column < Columns; ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        if (line.failed) {
            item->setForeground(QColor(200, 0, 0));
        }
        if (column == Bytes || column == Meaning) {
            item->setToolTip(detail);
        }
        table_->setItem(row, column, item);
    }
    table_->item(row, Number)->setData(kFailedRole, line.failed);
    table_->item(row, Number)->setData(kTextRole, lineText(line));
    table_->item(row, Number)->setData(kPortRole, line.port);
    table_->setRowHidden(row, failuresOnly_->isChecked() && !line.failed);
    // A failure keeps what was asked beside it: the rows of its exchange
    // before it are shown with it.
    for (int before = row - 1;
         line.failed && before >= 0 && table_->item(before, Number)->text() == cells[Number];
         --before) {
        table_->item(before, Number)->setData(kFailedRole, true);
        table_->setRowHidden(before, false);
    }
}

void TrafficWindow::showStats() {
    if (feed_.endIndex() == feed_.firstIndex()) {
        return;
    }
    const int port = feed_.line(feed_.endIndex() - 1).port;
    const auto now = feed_.counters(port);
    if (!now) {
        stats_->setText(QStringLiteral("统计：驱动库不按种类计数"));
        return;
    }
    auto base = statsFrom_.find(port);
    if (base != statsFrom_.end() && base->second.counters.transactions > now->transactions) {
        statsFrom_.erase(base);  // the port was opened again: its counts began anew
        base = statsFrom_.end();
    }
    const bool reset = base != statsFrom_.end();
    stats_->setText(QStringLiteral("统计 端口%1（%2）：")
                        .arg(port)
                        .arg(reset ? base->second.at.toString(QStringLiteral("自 hh:mm:ss 清零"))
                                   : QStringLiteral("自打开端口")) +
                    countersBreakdown(reset ? countsSince(*now, base->second.counters) : *now));
}

void TrafficWindow::resetStats() {
    if (feed_.endIndex() == feed_.firstIndex()) {
        return;
    }
    const int port = feed_.line(feed_.endIndex() - 1).port;
    if (const auto now = feed_.counters(port)) {
        statsFrom_[port] = {*now, QDateTime::currentDateTime()};
    }
    showStats();
}

void TrafficWindow::setPaused(bool paused) {
    paused_ = paused;
    pause_->setText(paused ? QStringLiteral("继续") : QStringLiteral("暂停"));
    addNewLines();
}

void TrafficWindow::clear() {
    table_->setRowCount(0);
    shownUntil_ = feed_.endIndex();
    setFollowing(true);  // nothing left to hold
}

void TrafficWindow::applyFilter() {
    holdView([this] {
        const bool only = failuresOnly_->isChecked();
        for (int row = 0; row < table_->rowCount(); ++row) {
            table_->setRowHidden(row,
                                 only && !table_->item(row, Number)->data(kFailedRole).toBool());
        }
    });
}

QString TrafficWindow::selectedText() const {
    QStringList lines;
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (!table_->isRowHidden(row) && table_->item(row, Number)->isSelected()) {
            lines << table_->item(row, Number)->data(kTextRole).toString();
        }
    }
    return lines.join(QLatin1Char('\n'));
}

void TrafficWindow::copySelection() const {
    QApplication::clipboard()->setText(selectedText());
}

bool TrafficWindow::saveTo(const QString& path) {
    // What the rows were read on, and when they were saved.
    QStringList lines{QStringLiteral("# 通讯记录，保存于 ") +
                      QDateTime::currentDateTime().toString(Qt::ISODate)};
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QString port = QStringLiteral("# ") +
                             feed_.portText(table_->item(row, Number)->data(kPortRole).toInt());
        if (!table_->isRowHidden(row) && !lines.contains(port)) {
            lines << port;
        }
    }
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (!table_->isRowHidden(row)) {
            lines << table_->item(row, Number)->data(kTextRole).toString();
        }
    }
    const SaveOutcome outcome = writeTextFile(path, lines.join(QLatin1Char('\n')) + '\n');
    result_->setText(outcome.words);
    return outcome.saved;
}

void TrafficWindow::save() {
    const QString path = rememberFolderOf(QFileDialog::getSaveFileName(
        this, QStringLiteral("保存通讯记录"), startFolder() + QStringLiteral("/通讯记录.txt"),
        QStringLiteral("文本文件 (*.txt)")));
    if (!path.isEmpty()) {
        saveTo(path);
    }
}

}  // namespace traffic
