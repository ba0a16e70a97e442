#include "AnyPointWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "Announcement.h"
#include "CellManners.h"
#include "RangeSpinBox.h"
#include "Scaling.h"

namespace anypoint {

namespace {

enum RowColumn {
    Slave,
    Function,
    First,
    Count,
    Shape,
    Period,
    Values,
    Outcome,
    RoundTrip,
    GoodAge,
    Columns
};
const QColor kFailed(200, 0, 0);

QString seconds(std::int64_t ms) {
    return QStringLiteral("%1 秒").arg(static_cast<double>(ms) / 1000.0);
}

QString periodText(int ms) {
    return ms == 0 ? QStringLiteral("不轮询") : seconds(ms);
}

// How often the row is really asked, and why when that is not its period:
// backed off after time-outs, or later than due because the line is busy.
// The period it was given is in the tooltip.
QString realPeriodText(const PointRow& row) {
    if (row.periodMs > 0 && row.backedOffMs > row.periodMs) {
        return QStringLiteral("%1（无应答）").arg(seconds(row.backedOffMs));
    }
    if (row.periodMs > 0 && row.realPeriodMs > row.periodMs + row.periodMs / 10) {
        return QStringLiteral("%1（线路忙）").arg(seconds(row.realPeriodMs));
    }
    return periodText(row.periodMs);
}

QString ageText(const PointRow& row, std::int64_t nowMs) {
    return row.goodAtMs < 0 ? QStringLiteral("-")
                            : QStringLiteral("%1 秒前").arg((nowMs - row.goodAtMs) / 1000);
}

// The number of each value's first point, beside the values, and the value
// in its units where it has them.
QStringList numberedValues(const PointRow& row) {
    if (row.values.empty()) {
        return {};
    }
    const Format format = isBitTable(row.table) ? Format::Unsigned : row.format;
    const QStringList texts = valueTexts(format, row.values);
    const auto numbers = valueNumbers(format, row.values);
    QStringList numbered;
    for (int i = 0; i < texts.size(); ++i) {
        const PointLabel label = labelOf(row, i);
        const auto at = static_cast<std::size_t>(i);
        const QString scaled = at < numbers.size() && numbers[at] && isScaled(label)
                                   ? QStringLiteral(" = ") + scaledText(label, numbers[at].value())
                                   : QString();
        numbered << QStringLiteral("%1: %2%3").arg(shownPoint(row, i)).arg(texts[i], scaled);
    }
    return numbered;
}

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace

AnyPointWindow::AnyPointWindow(AnyPointPoller& poller, QWidget* parent)
    : QWidget(parent, Qt::Window),
      poller_(poller),
      address_(named(new RangeSpinBox(this), "AnyPointAddress")),
      table_(named(new QComboBox(this), "AnyPointTable")),
      first_(named(new FirstPointBox(this), "AnyPointFirst")),
      base_(named(new QComboBox(this), "AnyPointBase")),
      manual_(named(new QLabel(this), "AnyPointManual")),
      count_(named(new RangeSpinBox(this), "AnyPointCount")),
      format_(named(new QComboBox(this), "AnyPointFormat")),
      period_(named(new QComboBox(this), "AnyPointPeriod")),
      wait_(named(new RangeSpinBox(this), "AnyPointWait")),
      retries_(named(new RangeSpinBox(this), "AnyPointRetries")),
      rows_(named(new QTableWidget(0, Columns, this), "AnyPointRows")),
      points_(named(new PointsTable(poller, this), "AnyPointPoints")),
      note_(named(new QLabel(this), "AnyPointNote")) {
    setObjectName(QStringLiteral("AnyPointWindow"));
    setWindowTitle(QStringLiteral("读写任意点 - 计数测频模块 TQ7310"));
    resize(1200, 600);

    address_->setRange(1, 247);
    base_->addItem(QStringLiteral("从 1 编号"), 1);
    base_->addItem(QStringLiteral("从 0 编号"), 0);
    base_->setToolTip(QStringLiteral("新添的行的点如何编号；手册的 40001 写法总是从 1 编号"));
    connect(base_, &QComboBox::currentIndexChanged, this, [this] {
        first_->setBase(base_->currentData().toInt());
        poller_.setPointBase(first_->base());
    });
    base_->setCurrentIndex(base_->findData(poller_.pointBase()));
    connect(first_, &FirstPointBox::manualAddressTyped, this,
            [this](const QString& typed, const ManualAddress& manual) {
                table_->setCurrentIndex(table_->findData(static_cast<int>(manual.table)));
                manual_->setText(manualAddressText(typed, manual, first_->base()));
            });
    connect(first_, &QSpinBox::valueChanged, this, [this] {
        if (!first_->hasFocus()) {
            manual_->clear();
        }
    });
    wait_->setRange(0, kLongestWaitMs);
    wait_->setSingleStep(100);
    wait_->setSpecialValueText(QStringLiteral("链路的"));
    wait_->setSuffix(QStringLiteral(" ms"));
    wait_->setToolTip(QStringLiteral("本行等应答多久：%1–%2 ms，或最小值“链路的”")
                          .arg(kShortestWaitMs)
                          .arg(kLongestWaitMs));
    connect(wait_, &QAbstractSpinBox::editingFinished, this, [this] {
        // Between "the link's" and the shortest wait there is nothing.
        if (wait_->value() > 0 && wait_->value() < kShortestWaitMs) {
            wait_->setValue(kShortestWaitMs);
        }
    });
    retries_->setRange(0, kMostRetries);
    retries_->setToolTip(
        QStringLiteral("无应答时立即再问几次（0–%1），之后才算失败").arg(kMostRetries));
    for (Table t : kTables) {
        table_->addItem(tableName(t), static_cast<int>(t));
    }
    table_->setCurrentIndex(2);  // holding registers
    for (Format f : allFormats()) {
        format_->addItem(formatName(f), static_cast<int>(f));
    }
    for (int ms : kPeriodsMs) {
        period_->addItem(periodText(ms), ms);
    }
    period_->setCurrentIndex(2);  // 1 s
    const auto fitCount = [this] {
        const Table t = static_cast<Table>(table_->currentData().toInt());
        count_->setRange(1, std::min(maxCount(t), 65536 - first_->value() + first_->base()));
        format_->setEnabled(!isBitTable(t));
    };
    connect(table_, &QComboBox::currentIndexChanged, this, fitCount);
    connect(first_, &QSpinBox::valueChanged, this, fitCount);
    fitCount();

    auto* settings = new QHBoxLayout;
    const std::pair<const char*, QWidget*> fields[] = {
        {"从站地址", address_}, {"功能", table_}, {"起始点", first_},
        {"编号", base_},        {"数量", count_}, {"格式", format_},
        {"周期", period_},      {"等待", wait_},  {"重试", retries_}};
    for (const auto& [caption, field] : fields) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(field);
        // A list is heard by its caption, not only by its choice: through
        // this name on Windows, through the caption's buddy on Linux, where
        // AT-SPI names a list by its choice.
        if (qobject_cast<QComboBox*>(field) != nullptr) {
            field->setAccessibleName(QString::fromUtf8(caption));
        }
        settings->addWidget(label);
        settings->addWidget(field);
        if (field == first_) {
            settings->addWidget(manual_);
        }
        if (auto* box = qobject_cast<RangeSpinBox*>(field)) {
            connect(box, &RangeSpinBox::corrected, this,
                    [this, box, caption](const QString& typed, int value) {
                        showNote(QStringLiteral("%1只能是 %2–%3：输入的 %4 已改为 %5")
                                     .arg(QString::fromUtf8(caption))
                                     .arg(box->minimum())
                                     .arg(box->maximum())
                                     .arg(typed)
                                     .arg(value),
                                 true);
                    });
        }
    }
    settings->addStretch();
    auto* add = named(new QPushButton(QStringLiteral("添加"), this), "AnyPointAdd");
    auto* change = named(new QPushButton(QStringLiteral("修改所选"), this), "AnyPointChange");
    auto* remove = named(new QPushButton(QStringLiteral("删除所选"), this), "AnyPointRemove");
    auto* once = named(new QPushButton(QStringLiteral("读一次"), this), "AnyPointReadOnce");
    once->setShortcut(QKeySequence(Qt::Key_F5));
    once->setToolTip(QStringLiteral("读所选行一次，轮询与否 (F5)"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {add, change, remove, once}) {
        buttons->addWidget(b);
    }
    auto* hold = named(new QCheckBox(QStringLiteral("暂存改动"), this), "AnyPointHold");
    hold->setToolTip(QStringLiteral("输入的值先暂存，按“写入改动”时相邻的点一次请求写入"));
    auto* writeHeld = named(new QPushButton(QStringLiteral("写入改动"), this), "AnyPointWriteHeld");
    writeHeld->setToolTip(QStringLiteral("把暂存的值写入：相邻的点一次请求"));
    auto* writeAll = named(new QPushButton(QStringLiteral("全部写入"), this), "AnyPointWriteAll");
    writeAll->setToolTip(QStringLiteral("把所选行的全部点（含暂存的值）一次请求写入"));
    connect(hold, &QCheckBox::toggled, points_, &PointsTable::setHolding);
    connect(writeHeld, &QPushButton::clicked, points_, &PointsTable::writeHeld);
    connect(writeAll, &QPushButton::clicked, points_, &PointsTable::writeAll);
    connect(points_, &PointsTable::noted, this, &AnyPointWindow::showNote);
    buttons->addWidget(hold);
    buttons->addWidget(writeHeld);
    buttons->addWidget(writeAll);
    buttons->addWidget(note_, 1);
    // The whole session, this window's rows with the rest of the panel.
    auto* save = named(new QPushButton(QStringLiteral("保存工作区"), this), "WorkspaceSave");
    auto* open = named(new QPushButton(QStringLiteral("打开工作区"), this), "WorkspaceOpen");
    buttons->addWidget(save);
    buttons->addWidget(open);
    connect(save, &QPushButton::clicked, this, &AnyPointWindow::saveWorkspaceClicked);
    connect(open, &QPushButton::clicked, this, &AnyPointWindow::openWorkspaceClicked);

    rows_->setHorizontalHeaderLabels({QStringLiteral("从站"), QStringLiteral("功能"),
                                      QStringLiteral("起始点"), QStringLiteral("数量"),
                                      QStringLiteral("格式"), QStringLiteral("周期"),
                                      QStringLiteral("值"), QStringLiteral("结果"),
                                      QStringLiteral("往返"), QStringLiteral("有效值")});
    rows_->setAccessibleName(QStringLiteral("读写的行"));
    rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows_->setSelectionMode(QAbstractItemView::SingleSelection);
    rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows_->setTabKeyNavigation(false);
    rows_->setWordWrap(false);
    rows_->verticalHeader()->hide();
    tintChoice(rows_);
    // Widths fixed once from the texts a column holds: fitting them to the
    // contents at every read would measure every row at every read. The
    // values take what is left; every cell's whole text is in its tooltip.
    const auto widestOf = [](auto&& texts) {
        QString widest;
        for (const QString& text : texts) {
            widest = text.size() > widest.size() ? text : widest;
        }
        return widest;
    };
    QStringList tables;
    QStringList formats;
    for (Table t : kTables) {
        tables << tableName(t);
    }
    for (Format f : allFormats()) {
        formats << formatName(f);
    }
    // Long formats and results are cut: their whole text is the tooltip.
    const QString widest[Columns] = {QStringLiteral("从站"),
                                     widestOf(tables),
                                     QStringLiteral("65536"),
                                     QStringLiteral("2000"),
                                     widestOf(formats).left(7),
                                     QStringLiteral("60 秒（无应答）"),
                                     {},
                                     QStringLiteral("超时：无应答；超"),
                                     QStringLiteral("100.0 ms"),
                                     QStringLiteral("99 秒前")};
    QHeaderView* header = rows_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < Columns; ++column) {
        header->resizeSection(column, fontMetrics().horizontalAdvance(widest[column]) + 16);
    }
    header->setSectionResizeMode(Values, QHeaderView::Stretch);
    // Once the columns have settled after a drag or a narrower window, not
    // within it: the values' width follows the others only then.
    connect(header, &QHeaderView::sectionResized, this, &AnyPointWindow::keepRoomForValues,
            Qt::QueuedConnection);
    auto* ages = new QTimer(this);
    connect(ages, &QTimer::timeout, this, [this] {
        const std::int64_t now = poller_.nowMs();
        for (int i = 0; i < rows_->rowCount(); ++i) {
            if (QTableWidgetItem* item = rows_->item(i, GoodAge)) {
                item->setText(ageText(poller_.rows()[static_cast<std::size_t>(i)], now));
            }
        }
    });
    ages->start(1000);

    auto* where = new QLabel(
        QStringLiteral(
            "在主窗口“打开”的端口上读写，与主窗口的轮询轮流进行；本窗口不打开、不关闭端口。"),
        this);
    // The points below the rows: the rows keep the window's width for their
    // values, the points theirs for names and units.
    auto* lower = new QVBoxLayout;
    lower->addWidget(rows_, 3);
    lower->addWidget(points_, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addLayout(settings);
    layout->addLayout(buttons);
    layout->addLayout(lower, 1);

    connect(add, &QPushButton::clicked, this, &AnyPointWindow::addRow);
    connect(change, &QPushButton::clicked, this, &AnyPointWindow::changeRow);
    connect(remove, &QPushButton::clicked, this, &AnyPointWindow::removeRow);
    connect(once, &QPushButton::clicked, this, [this] {
        if (const int index = chosenRow(); index >= 0) {
            poller_.readOnce(static_cast<std::size_t>(index));
        }
    });
    connect(rows_, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(poller_.rows().size())) {
            showSettings(poller_.rows()[static_cast<std::size_t>(row)]);
        }
        showPoints();
    });
    connect(&poller_, &AnyPointPoller::rowChanged, this, [this](int index) {
        fillRow(index);
        const PointRow& row = poller_.rows()[static_cast<std::size_t>(index)];
        if (index == chosenRow() && note_->text().startsWith(QStringLiteral("正在写入")) &&
            !row.written.startsWith(QStringLiteral("待写入"))) {
            showNote(row.written, row.writeFailed);
        }
        if (index == chosenRow()) {
            showPoints();
        }
    });
    connect(&poller_, &AnyPointPoller::rowsReplaced, this, [this] {
        base_->setCurrentIndex(base_->findData(poller_.pointBase()));
        showAllRows();
    });
    showAllRows();
}

void AnyPointWindow::keepRoomForValues() {
    // The values keep room for a few of them, however wide the results are
    // dragged or the window narrowed: the results give way, cut, with their
    // whole text in the tooltip.
    const int fewValues =
        fontMetrics().horizontalAdvance(QStringLiteral("11: 65535  12: 65535  13: 65535")) + 16;
    const int leastOutcome = fontMetrics().horizontalAdvance(QStringLiteral("应答正常")) + 16;
    QHeaderView* header = rows_->horizontalHeader();
    int room = rows_->viewport()->width() - fewValues;
    for (int column = 0; column < Columns; ++column) {
        room -= column == Values || column == Outcome ? 0 : header->sectionSize(column);
    }
    if (header->sectionSize(Outcome) > room) {
        header->resizeSection(Outcome, std::max(leastOutcome, room));
    }
}

void AnyPointWindow::showAllRows() {
    rows_->setRowCount(static_cast<int>(poller_.rows().size()));
    for (int i = 0; i < rows_->rowCount(); ++i) {
        fillRow(i);
    }
    showPoints();
}

PointRow AnyPointWindow::rowFromSettings() const {
    PointRow row;
    row.address = address_->value();
    row.table = static_cast<Table>(table_->currentData().toInt());
    row.first = first_->value();
    row.count = count_->value();
    row.format = static_cast<Format>(format_->currentData().toInt());
    row.periodMs = period_->currentData().toInt();
    row.base = first_->base();
    row.first = first_->value() - row.base + 1;
    row.waitMs = wait_->value();
    row.retries = retries_->value();
    return row;
}

void AnyPointWindow::showSettings(const PointRow& row) {
    address_->setValue(row.address);
    table_->setCurrentIndex(table_->findData(static_cast<int>(row.table)));
    base_->setCurrentIndex(base_->findData(row.base));
    first_->setValue(row.first - 1 + row.base);
    count_->setValue(row.count);
    format_->setCurrentIndex(format_->findData(static_cast<int>(row.format)));
    period_->setCurrentIndex(period_->findData(row.periodMs));
    wait_->setValue(row.waitMs);
    retries_->setValue(row.retries);
    manual_->clear();
}

void AnyPointWindow::addRow() {
    poller_.addRow(rowFromSettings());
    const int index = rows_->rowCount();
    rows_->insertRow(index);
    fillRow(index);
    rows_->selectRow(index);
}

void AnyPointWindow::changeRow() {
    if (const int index = chosenRow(); index >= 0) {
        // The points keep their names while there are as many of them.
        PointRow row = rowFromSettings();
        row.labels = poller_.rows()[static_cast<std::size_t>(index)].labels;
        row.labels.resize(std::min(row.labels.size(), static_cast<std::size_t>(valueCount(row))));
        poller_.changeRow(static_cast<std::size_t>(index), row);
        showPoints();
    }
}

void AnyPointWindow::removeRow() {
    if (const int index = chosenRow(); index >= 0) {
        poller_.removeRow(static_cast<std::size_t>(index));
        rows_->removeRow(index);
        showPoints();
    }
}

int AnyPointWindow::chosenRow() const {
    const int row = rows_->currentRow();
    return row >= 0 && row < static_cast<int>(poller_.rows().size()) ? row : -1;
}

void AnyPointWindow::fillRow(int index) {
    const PointRow& row = poller_.rows()[static_cast<std::size_t>(index)];
    QString outcome = row.outcome;
    if (row.timeouts > 0) {
        outcome += QStringLiteral("；超时 %1 次").arg(row.timeouts);
    }
    if (const QString hint = notationHint(row); !hint.isEmpty()) {
        outcome += QStringLiteral("；") + hint;
    }
    if (!row.written.isEmpty()) {
        outcome += QStringLiteral("；") + row.written;
    }
    const QString cells[Columns] = {
        QString::number(row.address),
        tableName(row.table),
        QString::number(shownPoint(row, 0)),
        QString::number(row.count),
        isBitTable(row.table) ? QStringLiteral("—") : formatName(row.format),
        realPeriodText(row),
        numberedValues(row).join(QStringLiteral("  ")),
        outcome,
        row.roundTripUs >= 0 ? QStringLiteral("%1 ms").arg(row.roundTripUs / 1000.0, 0, 'f', 1)
                             : QStringLiteral("-"),
        ageText(row, poller_.nowMs())};
    for (int column = 0; column < Columns; ++column) {
        QTableWidgetItem* item = rows_->item(index, column);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            rows_->setItem(index, column, item);
        }
        item->setText(cells[column]);
        item->setToolTip(
            column == Period
                ? QStringLiteral("周期 %1，实际 %2").arg(periodText(row.periodMs), cells[column])
            : column == First ? QStringLiteral("第 %1 点（从 %2 编号），协议地址 %3")
                                    .arg(cells[column])
                                    .arg(row.base)
                                    .arg(row.first - 1)
                              : cells[column]);
        // Red for a failure whether or not the row is selected.
        item->setData(Qt::ForegroundRole, column == Outcome && (row.failed || row.writeFailed)
                                              ? QVariant(kFailed)
                                              : QVariant());
    }
    // Values a failed read left are old: greyed, their tooltip says when
    // they were read.
    if (row.failed && row.goodAtMs >= 0) {
        QTableWidgetItem* values = rows_->item(index, Values);
        values->setData(Qt::ForegroundRole, palette().color(QPalette::Disabled, QPalette::Text));
        const QDateTime readAt =
            QDateTime::currentDateTime().addMSecs(row.goodAtMs - poller_.nowMs());
        values->setToolTip(QStringLiteral("读于 %1（读取失败：%2）")
                               .arg(readAt.toString(QStringLiteral("hh:mm:ss")), row.outcome));
    }
}

void AnyPointWindow::showPoints() {
    points_->showRow(chosenRow());
}

AnyPointWindow::~AnyPointWindow() {
    // Going away ends an edit: the editor, losing its focus, would commit
    // what was typed, as a write, to a window already half gone.
    points_->blockSignals(true);
}

void AnyPointWindow::showNote(const QString& note, bool failed) {
    note_->setText(note);
    note_->setToolTip(note);
    if (failed) {
        announce(this, note);
    }
    QPalette palette = note_->palette();
    palette.setColor(QPalette::WindowText,
                     failed ? kFailed : this->palette().color(QPalette::WindowText));
    note_->setPalette(palette);
}

}  // namespace anypoint
