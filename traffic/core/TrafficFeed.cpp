#include "TrafficFeed.h"

#include <QTimer>

#include "PortTarget.h"

#include "SerialLine.h"

namespace traffic {

namespace {

constexpr int kChunk = 64;

}  // namespace

TrafficFeed::TrafficFeed(ModuleDriver& driver, QObject* parent)
    : QObject(parent),
      driver_(driver),
      buffer_(kChunk),
      seen_(module_line::kLastPort + 1, 0),
      lastReply_(module_line::kLastPort + 1) {}

void TrafficFeed::schedule() {
    if (scheduled_) {
        return;
    }
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] { pull(); });
}

void TrafficFeed::pull() {
    scheduled_ = false;
    const qint64 linesBefore = endIndex();
    for (int port = module_line::kFirstPort; port <= module_line::kLastPort; ++port) {
        for (;;) {
            const std::uint32_t before = seen_[port];
            std::int32_t lost = 0;
            const int n = driver_.readTraffic(port, seen_[port], buffer_.data(), kChunk, &lost);
            if (n < 0) {
                return;  // no log to read: nothing for any port
            }
            lost_ += lost;
            const int frameAt = n > 0 ? frameOffset(port) : 0;
            for (int i = 0; i < n; ++i) {
                const Tq7310Traffic& e = buffer_[std::size_t(i)];
                seen_[port] = e.sequence;
                if (e.kind == TQ7310_TRAFFIC_EXCHANGE) {
                    lastReply_[port] =
                        QByteArray(reinterpret_cast<const char*>(e.reply), qMax(e.reply_length, 0));
                }
                for (const TrafficLine& line : linesOf(port, e, frameAt)) {
                    lines_.push_back(line);
                }
            }
            // A log that does not move on would keep this loop going.
            if (n < kChunk || seen_[port] == before) {
                break;
            }
        }
    }
    while (lines_.size() > std::size_t(kMaxLines)) {
        lines_.pop_front();
        ++first_;
    }
    if (endIndex() != linesBefore) {
        emit linesAdded();
    }
}

QByteArray TrafficFeed::lastReply(int port) const {
    return port >= 0 && port < int(lastReply_.size()) ? lastReply_[std::size_t(port)]
                                                      : QByteArray();
}

int TrafficFeed::frameOffset(int port) const {
    const auto status = driver_.linkStatus(port);
    const auto target = status ? module_line::parsePortTarget(status->device) : std::nullopt;
    return target && target->kind == module_line::TargetKind::ModbusTcp ? module_line::kMbapUnitAt
                                                                        : 0;
}

QString TrafficFeed::portText(int port) const {
    const auto status = driver_.linkStatus(port);
    if (!status) {
        return QStringLiteral("端口%1").arg(port);
    }
    if (frameOffset(port) != 0) {
        // Modbus TCP has no line settings.
        return QStringLiteral("端口%1 %2").arg(port).arg(QString::fromLocal8Bit(status->device));
    }
    return QStringLiteral("端口%1 %2 %3,%4,8,1")
        .arg(port)
        .arg(QString::fromLocal8Bit(status->device))
        .arg(status->baud)
        .arg(QLatin1Char(status->parity));
}

}  // namespace traffic
