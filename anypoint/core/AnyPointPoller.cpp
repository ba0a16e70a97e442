#include "AnyPointPoller.h"

#include "OutcomeText.h"

namespace anypoint {

namespace {
// How soon a turn that found the link closed or the line busy looks again.
constexpr int kClosedLookMs = 500;
constexpr int kBusyLookMs = 10;
}  // namespace

AnyPointPoller::AnyPointPoller(ModuleDriver& driver, LinkPort linkPort, LineBusy lineBusy,
                               QObject* parent)
    : QObject(parent),
      driver_(driver),
      linkPort_(std::move(linkPort)),
      lineBusy_(std::move(lineBusy)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &AnyPointPoller::turn);
    clock_.start();
}

void AnyPointPoller::addRow(const PointRow& row) {
    rows_.push_back(settingsOf(row));
    clocks_.push_back({row.periodMs, std::nullopt, true});
    tries_.push_back(0);
    emit tracksChanged();
    schedule(0);
}

void AnyPointPoller::replaceRows(const std::vector<PointRow>& rows) {
    rows_.clear();
    clocks_.clear();
    writes_.clear();
    for (const PointRow& row : rows) {
        rows_.push_back(settingsOf(row));
        clocks_.push_back({row.periodMs, std::nullopt, true});
    }
    tries_.assign(rows_.size(), 0);
    emit rowsReplaced();
    emit tracksChanged();
    schedule(0);
}

void AnyPointPoller::removeRow(std::size_t index) {
    if (index >= rows_.size()) {
        return;
    }
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    clocks_.erase(clocks_.begin() + static_cast<std::ptrdiff_t>(index));
    tries_.erase(tries_.begin() + static_cast<std::ptrdiff_t>(index));
    emit tracksChanged();
    std::erase_if(writes_, [index](const PendingWrite& w) { return w.row == index; });
    for (PendingWrite& w : writes_) {
        w.row -= w.row > index ? 1 : 0;
    }
}

void AnyPointPoller::changeRow(std::size_t index, const PointRow& row) {
    if (index >= rows_.size()) {
        return;
    }
    dropWrites(index);
    rows_[index] = settingsOf(row);
    clocks_[index] = {row.periodMs, std::nullopt, true};
    tries_[index] = 0;
    emit rowChanged(static_cast<int>(index));
    emit tracksChanged();
    schedule(0);
}

void AnyPointPoller::readOnce(std::size_t index) {
    if (index < rows_.size()) {
        clocks_[index].once = true;
        schedule(0);
    }
}

void AnyPointPoller::dropWrites(std::size_t index) {
    std::erase_if(writes_, [index](const PendingWrite& w) { return w.row == index; });
}

void AnyPointPoller::refuseWrite(PointRow& row) {
    row.writeFailed = true;
    row.written = QStringLiteral("写入失败：端口未打开，未写入");
}

void AnyPointPoller::write(std::size_t index, int first, std::vector<std::uint16_t> values) {
    if (index >= rows_.size() || !isWritable(rows_[index].table) || values.empty()) {
        return;
    }
    PointRow& row = rows_[index];
    // Held until the link opens, it could reach a slave chosen since.
    if (linkPort_() == 0) {
        refuseWrite(row);
    } else {
        row.writeFailed = false;
        row.written = QStringLiteral("待写入 %1 点…").arg(values.size());
        writes_.push_back({index, first, std::move(values)});
        schedule(0);
    }
    emit rowChanged(static_cast<int>(index));
}

void AnyPointPoller::schedule(int afterMs) {
    if (!timer_.isActive() || timer_.remainingTime() > afterMs) {
        timer_.start(afterMs);
    }
}

void AnyPointPoller::turn() {
    if (rows_.empty()) {
        return;
    }
    const int port = linkPort_();
    if (port == 0) {
        showClosed();
        timer_.start(kClosedLookMs);
        return;
    }
    if (lineBusy_ && lineBusy_()) {
        timer_.start(kBusyLookMs);
        return;
    }
    if (!writes_.empty()) {
        const PendingWrite write = writes_.front();
        writes_.pop_front();
        writeNow(port, write);
        schedule(0);
        return;
    }
    const std::int64_t now = clock_.elapsed();
    if (const auto index = nextRow(clocks_, now)) {
        RowClock& clock = clocks_[*index];
        rows_[*index].realPeriodMs =
            clock.askedAtMs ? static_cast<int>(now - *clock.askedAtMs) : -1;
        clock.askedAtMs = now;
        clock.once = false;
        read(port, *index);
        schedule(0);
    } else if (const auto wait = msUntilDue(clocks_, now)) {
        timer_.start(static_cast<int>(*wait));
    }
}

void AnyPointPoller::read(int port, std::size_t index) {
    PointRow& row = rows_[index];
    std::vector<std::uint16_t> values(static_cast<std::size_t>(row.count));
    DriverResult result;
    if (isBitTable(row.table)) {
        std::vector<std::uint8_t> bits(values.size());
        result = driver_.readBits(port, row.address, static_cast<int>(row.table), row.first,
                                  row.count, bits.data(), waitUs(row));
        std::copy(bits.begin(), bits.end(), values.begin());
    } else {
        result = driver_.readRegisters(port, row.address, static_cast<int>(row.table), row.first,
                                       row.count, values.data(), waitUs(row));
    }
    const auto status = driver_.linkStatus(port);
    const bool timedOut = result != 0 && status && status->outcome == TQ7310_TIMEOUT;
    RowClock& clock = clocks_[index];
    // A silent slave is asked again at once, as often as the row says,
    // before its read counts as failed.
    if (timedOut && tries_[index] < row.retries) {
        ++tries_[index];
        clock.once = true;
        return;
    }
    const int retried = tries_[index];
    tries_[index] = 0;
    row.failed = result != 0;
    row.values = row.failed ? std::vector<std::uint16_t>{} : values;
    row.outcome = row.failed ? failure(port, result) : QStringLiteral("应答正常");
    if (row.failed && retried > 0) {
        row.outcome += QStringLiteral("（已重试 %1 次）").arg(retried);
    }
    row.roundTripUs = !row.failed && status ? status->round_trip_us : -1;
    if (!row.failed) {
        row.goodAtMs = clock_.elapsed();
        checkWritten(row);
    }
    // Silence backs the row off; anything the slave says brings it back.
    row.timeouts += timedOut ? 1 : 0;
    clock.periodMs =
        timedOut && row.periodMs > 0
            ? std::min<std::int64_t>(2 * std::max<std::int64_t>(clock.periodMs, row.periodMs),
                                     kLongestBackoffMs)
            : row.periodMs;
    row.backedOffMs = static_cast<int>(clock.periodMs);
    emit rowChanged(static_cast<int>(index));
    emit rowRead(static_cast<int>(index));
}

std::int32_t AnyPointPoller::waitUs(const PointRow& row) {
    return row.waitMs * 1000;
}

void AnyPointPoller::setLabels(std::size_t index, std::vector<PointLabel> labels) {
    if (index < rows_.size()) {
        rows_[index].labels = std::move(labels);
        emit rowChanged(static_cast<int>(index));
        emit tracksChanged();
    }
}

void AnyPointPoller::writeNow(int port, const PendingWrite& write) {
    PointRow& row = rows_[write.row];
    const auto count = static_cast<std::int32_t>(write.values.size());
    DriverResult result;
    if (row.table == Table::Coils) {
        const std::vector<std::uint8_t> bits(write.values.begin(), write.values.end());
        result =
            driver_.writeCoils(port, row.address, write.first, count, bits.data(), waitUs(row));
    } else {
        result = driver_.writeRegisters(port, row.address, write.first, count, write.values.data(),
                                        waitUs(row));
    }
    row.writeFailed = result != 0;
    row.written = row.writeFailed ? QStringLiteral("写入失败：") + failure(port, result)
                                  : QStringLiteral("已写入 %1 点").arg(count);
    row.writtenFirst = write.first;
    row.writtenValues = row.writeFailed ? std::vector<std::uint16_t>{} : write.values;
    clocks_[write.row].once = true;  // read back at once, polled or not
    emit rowChanged(static_cast<int>(write.row));
}

void AnyPointPoller::checkWritten(PointRow& row) {
    // A slave may answer a write and keep another value, or none.
    for (std::size_t i = 0; i < row.writtenValues.size(); ++i) {
        const auto at = static_cast<std::size_t>(row.writtenFirst - row.first) + i;
        if (at < row.values.size() && row.values[at] != row.writtenValues[i]) {
            row.written += QStringLiteral("，但读回不同：点 %1 写 %2，读回 %3")
                               .arg(row.writtenFirst + static_cast<int>(i))
                               .arg(row.writtenValues[i])
                               .arg(row.values[at]);
            row.writeFailed = true;
            break;
        }
    }
    row.writtenValues.clear();
}

QString AnyPointPoller::failure(int port, const DriverResult& result) {
    if (!result) {
        return QStringLiteral("驱动库没有读写任意点的功能");
    }
    const auto s = driver_.linkStatus(port);
    if (!s) {
        return QStringLiteral("失败");
    }
    return outcomeText(s->outcome, s->exception_code, s->other_address, s->system_error, {},
                       s->maybe_answers);
}

void AnyPointPoller::showClosed() {
    for (const PendingWrite& write : writes_) {
        refuseWrite(rows_[write.row]);
        emit rowChanged(static_cast<int>(write.row));
    }
    writes_.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        PointRow& row = rows_[i];
        if (row.outcome != QStringLiteral("端口未打开")) {
            row.values.clear();
            row.failed = false;
            row.roundTripUs = -1;
            row.outcome = QStringLiteral("端口未打开");
            emit rowChanged(static_cast<int>(i));
        }
    }
}

}  // namespace anypoint
