#pragma once
// Asks the rows' points through the driver on the window's thread, one
// transaction a turn of the event loop, rows in turns (RowTurns): never on a
// closed link, never while the main window's poll is in a tick, and never
// two at once, just as the commands go. A write goes before the next read,
// once, to the slave and points its row showed when it was typed: it is
// refused while the link is closed and dropped when the row changes; its row
// reads back at once. A row is read once when added or changed, polled or
// not; a row whose reads time out backs off, so a silent slave costs the
// line less and less.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

#include "ModuleDriver.h"
#include "PointRow.h"
#include "RowTurns.h"

namespace anypoint {

class AnyPointPoller : public QObject {
    Q_OBJECT
  public:
    using LinkPort = std::function<int()>;   // the open link's port; 0 while it is closed
    using LineBusy = std::function<bool()>;  // the main window's poll is in a tick

    AnyPointPoller(ModuleDriver& driver, LinkPort linkPort, LineBusy lineBusy,
                   QObject* parent = nullptr);

    const std::vector<PointRow>& rows() const { return rows_; }
    void addRow(const PointRow& row);
    void removeRow(std::size_t index);
    // New settings for a row: what it read before, and a write still to go,
    // are dropped.
    void changeRow(std::size_t index, const PointRow& row);
    // Reads the row at the next turn, polled or not.
    void readOnce(std::size_t index);
    // The poller's clock, which PointRow::goodAtMs is on.
    std::int64_t nowMs() const { return clock_.elapsed(); }
    // Writes values (0/1 for coils) to points first.. of the row's slave and
    // table.
    void write(std::size_t index, int first, std::vector<std::uint16_t> values);
    // All rows at once, as a workspace brings them; pending writes are dropped.
    void replaceRows(const std::vector<PointRow>& rows);
    // How the window numbers the points of rows it adds: from 1 or 0.
    int pointBase() const { return pointBase_; }
    void setPointBase(int base) { pointBase_ = base; }
    // New names and scaling for a row's values; what it read stays.
    void setLabels(std::size_t index, std::vector<PointLabel> labels);

  signals:
    void rowChanged(int index);
    void rowsReplaced();
    // A read of the row came to an end, good or failed.
    void rowRead(int index);
    // Rows or their points' labels changed: what is charted or recorded may
    // have.
    void tracksChanged();

  private:
    struct PendingWrite {
        std::size_t row;
        int first;
        std::vector<std::uint16_t> values;
    };

    void schedule(int afterMs);
    void turn();
    void read(int port, std::size_t index);
    void writeNow(int port, const PendingWrite& write);
    // How a call that did not go through ended, from the port's status.
    // The first good read after a write tells whether the values stayed.
    static void checkWritten(PointRow& row);
    QString failure(int port, const DriverResult& result);
    void showClosed();
    void dropWrites(std::size_t index);
    void refuseWrite(PointRow& row);
    static std::int32_t waitUs(const PointRow& row);

    ModuleDriver& driver_;
    LinkPort linkPort_;
    LineBusy lineBusy_;
    QTimer timer_;
    QElapsedTimer clock_;
    std::vector<PointRow> rows_;
    std::vector<RowClock> clocks_;
    int pointBase_ = 1;
    std::vector<int> tries_;  // the retries a read in progress has made
    std::deque<PendingWrite> writes_;
};

}  // namespace anypoint
