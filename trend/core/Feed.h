#pragma once
// Takes every tick of the two polls as the window shows it, keeps the curves'
// history and writes the record. It takes what the polls publish and nothing
// else, so neither the curves nor the record cost a transaction on the line.
// It lives as long as the main window, so a record goes on with the curves'
// window closed. It takes as well the reads of the "读写任意点" points that
// are charted or recorded, as that window hands them over.

#include <QObject>
#include <functional>

#include "CounterPoll.h"
#include "History.h"
#include "PointHistory.h"
#include "Record.h"
#include "StatusPoll.h"

namespace trend {

class Feed : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<QDateTime()>;
    // Milliseconds from any start that never go back, whatever the wall
    // clock does (a time server's correction): the history's order.
    using Monotonic = std::function<qint64()>;

    // `monotonic` stamps each tick and gives the present the curves end at;
    // `clock` turns those moments into wall-clock times to show. A record
    // keeps the wall-clock time each tick brought.
    Feed(StatusPoll& statusPoll, CounterPoll& counterPoll,
         Clock clock = &QDateTime::currentDateTime, Monotonic monotonic = steadyMs);

    static qint64 steadyMs();

    const History& history() const { return history_; }
    const PointHistory& pointHistory() const { return pointHistory_; }
    // The port and address of the latest counter tick; 0 before the first.
    std::int32_t port() const { return port_; }
    std::int32_t address() const { return address_; }
    // What moves in the module's mode as last read: the frequencies when it
    // measures them, else (counting, up/down, not read yet) the 32-bit counts.
    Quantity movingQuantity() const;
    qint64 nowMs() const { return monotonic_(); }
    // What to add to a moment of the history for its wall-clock time.
    qint64 wallOffsetMs() const { return clock_().toMSecsSinceEpoch() - monotonic_(); }

    // The points charted or recorded, whenever the rows or their labels
    // change. A point no longer among them is forgotten by the history; a
    // running record keeps its column, empty from now on.
    void setTrackedPoints(std::vector<TrackedPoint> points);
    std::vector<TrackedPoint> trackedPoints() const { return tracked_; }
    // The reads of a row's tracked points, all at once, after each read of
    // the row: stamped now.
    void takePointReads(const std::vector<PointRead>& reads);

    // Starts a record in `path`, with a column for each point recorded now;
    // false when the file cannot be written, and the status says why.
    bool startRecording(const QString& path);
    void stopRecording();
    bool recording() const { return record_.isOpen(); }
    // What the status lines say about the record: where it goes, or why it
    // stopped; empty before the first record.
    const QString& recordStatus() const { return recordStatus_; }

  signals:
    void counterTick();
    void statusTick();
    void pointTick();
    void trackedPointsChanged();
    void recordStatusChanged(const QString& status);

  private:
    void onCounters(const CounterTick& tick);
    void onStates(const StatusTick& tick);
    void setRecordStatus(const QString& status);

    Clock clock_;
    Monotonic monotonic_;
    History history_;
    PointHistory pointHistory_;
    std::vector<TrackedPoint> tracked_;
    StateSample latestStates_;
    std::int32_t port_ = 0;
    std::int32_t address_ = 0;
    Value mode_;
    RecordFile record_;
    QString recordStatus_;
};

}  // namespace trend
