#include "PointsTable.h"

#include <QHeaderView>
#include <variant>

#include "CellManners.h"
#include "Scaling.h"

namespace anypoint {

namespace {

// The most points one write request carries, as its PDU bounds it.
constexpr int kMostCoilsWritten = 1968;
constexpr int kMostRegistersWritten = 123;

QString labelText(const PointLabel& label, int column) {
    switch (column) {
        case PointsTable::Name:
            return label.name;
        case PointsTable::Scale:
            return label.scale == 1 ? QString() : QString::number(label.scale, 'g', 15);
        case PointsTable::Offset:
            return label.offset == 0 ? QString() : QString::number(label.offset, 'g', 15);
        case PointsTable::Decimals:
            return label.decimals < 0 ? QString() : QString::number(label.decimals);
        case PointsTable::Unit:
            return label.unit;
        default:
            return {};
    }
}

// The label with the typed cell taken in, or the reason it is refused.
std::variant<PointLabel, QString> typedLabel(PointLabel label, int column,
                                             const QTableWidgetItem& item) {
    const QString text = item.text().trimmed();
    bool ok = text.isEmpty();
    switch (column) {
        case PointsTable::Name:
            label.name = text;
            return label;
        case PointsTable::Unit:
            label.unit = text;
            return label;
        case PointsTable::Scale:
            label.scale = ok ? 1 : text.toDouble(&ok);
            break;
        case PointsTable::Offset:
            label.offset = ok ? 0 : text.toDouble(&ok);
            break;
        case PointsTable::Decimals:
            label.decimals = ok ? -1 : text.toInt(&ok);
            break;
        case PointsTable::Charted:
            label.charted = item.checkState() == Qt::Checked;
            return label;
        default:
            label.recorded = item.checkState() == Qt::Checked;
            return label;
    }
    if (!ok || !isSoundScaling(label)) {
        return QStringLiteral("“%1”不能作%2：比例须为非零的数，偏移为数，小数位 0–9，未改")
            .arg(text, column == PointsTable::Scale    ? QStringLiteral("比例")
                       : column == PointsTable::Offset ? QStringLiteral("偏移")
                                                       : QStringLiteral("小数位"));
    }
    return label;
}

}  // namespace

PointsTable::PointsTable(AnyPointPoller& poller, QWidget* parent)
    : QTableWidget(0, Columns, parent), poller_(poller) {
    setHorizontalHeaderLabels({QStringLiteral("点"), QStringLiteral("值"), QStringLiteral("工程值"),
                               QStringLiteral("名称"), QStringLiteral("比例"),
                               QStringLiteral("偏移"), QStringLiteral("小数位"),
                               QStringLiteral("单位"), QStringLiteral("曲线"),
                               QStringLiteral("记录")});
    horizontalHeaderItem(Scaled)->setToolTip(
        QStringLiteral("值 × 比例 + 偏移；可输入，换算回整数原始值后写入"));
    setAccessibleName(QStringLiteral("所选行的点：值可输入后写入，名称与换算可改"));
    setTabKeyNavigation(false);
    commitOnEnter(this);
    verticalHeader()->hide();
    // Widths from what the columns hold; the name takes what is left. Every
    // column can be dragged.
    const int widths[Columns] = {7, 22, 16, 0, 9, 9, 7, 7, 5, 5};
    for (int column = 0; column < Columns; ++column) {
        horizontalHeader()->resizeSection(column,
                                          fontMetrics().averageCharWidth() * widths[column] + 16);
    }
    horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Stretch);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    connect(this, &QTableWidget::itemChanged, this, &PointsTable::edited);
    // The keyboard lands on a value, never on a point's number, where typed
    // digits would only jump between rows.
    connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        if (row >= 0 && column == Point) {
            setCurrentCell(row, Value);
        }
    });
}

QTableWidgetItem* PointsTable::cell(int row, int column) {
    QTableWidgetItem* item = this->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        setItem(row, column, item);
    }
    return item;
}

void PointsTable::showRow(int index) {
    filling_ = true;
    const PointRow* row = index >= 0 && index < static_cast<int>(poller_.rows().size())
                              ? &poller_.rows()[static_cast<std::size_t>(index)]
                              : nullptr;
    QString key;
    if (row != nullptr) {
        key = QStringLiteral("%1/%2/%3/%4")
                  .arg(index)
                  .arg(pointKey(*row, 0))
                  .arg(row->count)
                  .arg(row->base);
        for (const PointLabel& l : row->labels) {
            key += QLatin1Char('/') + l.name + QLatin1Char('/') + l.unit +
                   QStringLiteral("/%1/%2/%3/%4/%5")
                       .arg(l.scale)
                       .arg(l.offset)
                       .arg(l.decimals)
                       .arg(l.charted)
                       .arg(l.recorded);
        }
    }
    if (key != shownKey_) {
        held_.clear();
        shownIndex_ = index;
        shownKey_ = key;
        setRowCount(0);
        if (row != nullptr) {
            rebuild(*row);
        }
    }
    if (row != nullptr) {
        refreshValues(*row);
    }
    filling_ = false;
}

void PointsTable::rebuild(const PointRow& row) {
    const int values = valueCount(row);
    const bool bits = isBitTable(row.table);
    const bool text = !bits && isText(row.format);
    setRowCount(values);
    for (int v = 0; v < values; ++v) {
        const PointLabel label = labelOf(row, v);
        QTableWidgetItem* number = cell(v, Point);
        number->setText(QString::number(shownPoint(row, v)));
        number->setToolTip(
            QStringLiteral("协议地址 %1").arg(row.first - 1 + v * pointsPerValue(row)));
        number->setFlags(Qt::ItemIsEnabled);
        for (int column = Name; column <= Unit; ++column) {
            QTableWidgetItem* item = cell(v, column);
            item->setText(labelText(label, column));
            const bool scalable = column == Name || (!bits && !text);
            item->setFlags(scalable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                                    : Qt::ItemIsEnabled);
        }
        for (int column : {int(Charted), int(Recorded)}) {
            QTableWidgetItem* item = cell(v, column);
            const bool on = column == Charted ? label.charted : label.recorded;
            item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
            item->setFlags(text ? Qt::ItemIsEnabled
                                : Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                                      Qt::ItemIsUserCheckable);
        }
        const bool writable = isWritable(row.table);
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        QTableWidgetItem* value = cell(v, Value);
        if (row.table == Table::Coils) {
            value->setCheckState(Qt::Unchecked);
            value->setFlags(flags | Qt::ItemIsUserCheckable);
        } else {
            value->setFlags(writable ? flags | Qt::ItemIsEditable : flags);
        }
        cell(v, Scaled)->setFlags(writable && !bits && !text ? flags | Qt::ItemIsEditable : flags);
    }
    if (values > 0) {
        setCurrentCell(0, Value);
    }
}

void PointsTable::refreshValues(const PointRow& row) {
    const QColor old = palette().color(QPalette::Disabled, QPalette::Text);
    if (row.failed || row.values.empty()) {
        // A read that failed leaves the last values where they are, greyed
        // as old; the row says why.
        for (int v = 0; v < rowCount(); ++v) {
            cell(v, Value)->setData(Qt::ForegroundRole, old);
            cell(v, Scaled)->setData(Qt::ForegroundRole, old);
        }
        return;
    }
    const bool bits = isBitTable(row.table);
    const QStringList texts = valueTexts(bits ? Format::Unsigned : row.format, row.values);
    const auto numbers = valueNumbers(bits ? Format::Unsigned : row.format, row.values);
    for (int v = 0; v < rowCount() && v < texts.size(); ++v) {
        if (held_.count(v) != 0) {
            continue;
        }
        QTableWidgetItem* value = cell(v, Value);
        value->setData(Qt::ForegroundRole, QVariant());
        if (row.table == Table::Coils) {
            value->setCheckState(texts[v] == QLatin1String("1") ? Qt::Checked : Qt::Unchecked);
        } else {
            value->setText(texts[v]);
        }
        const auto at = static_cast<std::size_t>(v);
        const PointLabel label = labelOf(row, v);
        QTableWidgetItem* scaledCell = cell(v, Scaled);
        scaledCell->setData(Qt::ForegroundRole, QVariant());
        scaledCell->setText(at < numbers.size() && numbers[at] && !bits && isScaled(label)
                                ? scaledText(label, numbers[at].value())
                                : QString());
    }
}

void PointsTable::edited(QTableWidgetItem* item) {
    if (filling_ || shownIndex_ < 0 || shownIndex_ >= static_cast<int>(poller_.rows().size())) {
        return;
    }
    const PointRow& row = poller_.rows()[static_cast<std::size_t>(shownIndex_)];
    const int v = item->row();
    const int column = item->column();
    if (column == Value || column == Scaled) {
        const QString text = row.table == Table::Coils
                                 ? QString::number(item->checkState() == Qt::Checked)
                                 : item->text();
        valueTyped(row, v, text, column == Scaled);
    } else if (column != Point) {
        labelTyped(row, v, column, item);
    }
}

void PointsTable::valueTyped(const PointRow& row, int v, const QString& text, bool inUnits) {
    const Format format = isBitTable(row.table) ? Format::Unsigned : row.format;
    const auto refuse = [this](const QString& why) {
        emit noted(why, true);
        shownKey_.clear();  // back to what was read
        showRow(shownIndex_);
    };
    QString raw = text;
    if (inUnits) {
        const auto converted = rawTextOf(labelOf(row, v), format, text);
        if (!converted) {
            refuse(QStringLiteral("“%1”换算回原始值不是%2能写的整数，未写入")
                       .arg(text, formatName(format)));
            return;
        }
        raw = *converted;
    }
    const auto registers = registersOf(format, raw, row.count);
    if (!registers || (row.table == Table::Coils && (*registers)[0] > 1)) {
        refuse(QStringLiteral("“%1”不是%2能写的值，未写入").arg(text, formatName(format)));
        return;
    }
    if (holding_) {
        held_[v] = *registers;
        markHeld(v, true);
        emit noted(QStringLiteral("已暂存 %1 个值，按“写入改动”一次写入").arg(held_.size()), false);
        return;
    }
    const int point = row.first + v * pointsPerValue(row);
    send(point, *registers);
    emit noted(row.table == Table::Coils
                   ? QStringLiteral("正在写入线圈 %1…").arg(shownPoint(row, v))
                   : QStringLiteral("正在写入点 %1…").arg(shownPoint(row, v)),
               false);
}

void PointsTable::labelTyped(const PointRow& row, int v, int column, QTableWidgetItem* item) {
    std::vector<PointLabel> labels = row.labels;
    labels.resize(std::max(labels.size(), static_cast<std::size_t>(v) + 1));
    auto typed = typedLabel(labels[static_cast<std::size_t>(v)], column, *item);
    if (const QString* why = std::get_if<QString>(&typed)) {
        emit noted(*why, true);
        filling_ = true;
        item->setText(labelText(labels[static_cast<std::size_t>(v)], column));
        filling_ = false;
        return;
    }
    labels[static_cast<std::size_t>(v)] = std::get<PointLabel>(typed);
    while (!labels.empty() && labels.back() == PointLabel{}) {
        labels.pop_back();
    }
    poller_.setLabels(static_cast<std::size_t>(shownIndex_), labels);
}

void PointsTable::setHolding(bool holding) {
    holding_ = holding;
    if (!holding) {
        held_.clear();
        shownKey_.clear();
        showRow(shownIndex_);
    }
}

void PointsTable::markHeld(int v, bool held) {
    filling_ = true;
    for (int column : {int(Value), int(Scaled)}) {
        QTableWidgetItem* item = cell(v, column);
        QFont font = item->font();
        font.setBold(held);
        item->setFont(font);
        item->setToolTip(held ? QStringLiteral("已暂存，待写入") : QString());
    }
    filling_ = false;
}

bool PointsTable::send(int first, std::vector<std::uint16_t> registers) {
    const PointRow& row = poller_.rows()[static_cast<std::size_t>(shownIndex_)];
    const int most = row.table == Table::Coils ? kMostCoilsWritten : kMostRegistersWritten;
    if (static_cast<int>(registers.size()) > most) {
        emit noted(QStringLiteral("一次最多写 %1 个点，这里有 %2 个，未写入")
                       .arg(most)
                       .arg(registers.size()),
                   true);
        return false;
    }
    poller_.write(static_cast<std::size_t>(shownIndex_), first, std::move(registers));
    return true;
}

void PointsTable::writeHeld() {
    if (shownIndex_ < 0 || held_.empty()) {
        emit noted(QStringLiteral("没有暂存的值"), false);
        return;
    }
    const PointRow& row = poller_.rows()[static_cast<std::size_t>(shownIndex_)];
    const int per = pointsPerValue(row);
    int requests = 0;
    bool sent = true;
    for (auto it = held_.begin(); it != held_.end();) {
        const int start = it->first;
        std::vector<std::uint16_t> run;
        int next = start;
        for (; it != held_.end() && it->first == next; ++it, ++next) {
            run.insert(run.end(), it->second.begin(), it->second.end());
        }
        sent = send(row.first + start * per, std::move(run)) && sent;
        ++requests;
    }
    const auto values = held_.size();
    held_.clear();
    shownKey_.clear();
    showRow(shownIndex_);
    if (sent) {
        emit noted(QStringLiteral("正在写入 %1 个值（%2 次请求）…").arg(values).arg(requests),
                   false);
    }
}

void PointsTable::writeAll() {
    if (shownIndex_ < 0) {
        return;
    }
    const PointRow& row = poller_.rows()[static_cast<std::size_t>(shownIndex_)];
    if (!isWritable(row.table)) {
        emit noted(QStringLiteral("%1不能写入").arg(tableName(row.table)), true);
        return;
    }
    if (row.values.size() != static_cast<std::size_t>(row.count)) {
        emit noted(QStringLiteral("本行还没有读到的值，未写入：先读一次"), true);
        return;
    }
    std::vector<std::uint16_t> registers = row.values;
    const auto per = static_cast<std::size_t>(pointsPerValue(row));
    for (const auto& [v, typed] : held_) {
        std::copy(typed.begin(), typed.end(),
                  registers.begin() + static_cast<std::ptrdiff_t>(v * per));
    }
    held_.clear();
    const int count = row.count;
    const bool sent = send(row.first, std::move(registers));
    shownKey_.clear();
    showRow(shownIndex_);
    if (sent) {
        emit noted(QStringLiteral("正在写入全部 %1 点（一次请求）…").arg(count), false);
    }
}

}  // namespace anypoint
