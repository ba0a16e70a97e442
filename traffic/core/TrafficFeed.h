#pragma once
// Collects the driver's traffic log of every port into a bounded list of
// lines. It reads from the event loop, after the tick that asked for it, so
// a poll's tick is never longer for it.

#include <QList>
#include <QObject>
#include <deque>
#include <vector>

#include "ModuleDriver.h"
#include "TrafficLines.h"

namespace traffic {

class TrafficFeed : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxLines = 4000;

    explicit TrafficFeed(ModuleDriver& driver, QObject* parent = nullptr);

    // Asks for a read once control is back in the event loop; many asks
    // before then make one read.
    void schedule();
    // Reads what the driver logged since the last read.
    void pull();

    // Lines are numbered from 0 since the start; the oldest are dropped.
    qint64 firstIndex() const { return first_; }
    qint64 endIndex() const { return first_ + qint64(lines_.size()); }
    const TrafficLine& line(qint64 index) const { return lines_[std::size_t(index - first_)]; }
    // Entries the driver's own log dropped before they were read.
    qint64 lostEntries() const { return lost_; }
    // The reply of the latest transaction on `port`, as far as it came.
    QByteArray lastReply(int port) const;
    // "端口1 /dev/ttyUSB0 19200,E,8,1": the port's device and its last settings.
    QString portText(int port) const;
    // Where the frame as RTU shapes it starts in the port's log entries.
    int frameOffset(int port) const;
    // The port's failures by kind and round trips since its open; empty
    // when the library does not count them.
    std::optional<Tq7310LinkCounters> counters(int port) { return driver_.linkCounters(port); }

  signals:
    void linesAdded();

  private:
    ModuleDriver& driver_;
    std::vector<Tq7310Traffic> buffer_;
    std::vector<std::uint32_t> seen_;  // per port: the last sequence read
    std::vector<QByteArray> lastReply_;
    std::deque<TrafficLine> lines_;
    qint64 first_ = 0;
    qint64 lost_ = 0;
    bool scheduled_ = false;
};

}  // namespace traffic
