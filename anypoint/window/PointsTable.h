#pragma once
// The chosen row's points: each value raw and in its units, with its name,
// scaling, unit and whether it is charted and recorded, all typed in place.
// A value typed (raw or in its units) is written at once, or held with
// others to go in one request (15 or 16) when the technician asks.

#include <QTableWidget>
#include <map>

#include "AnyPointPoller.h"

namespace anypoint {

class PointsTable : public QTableWidget {
    Q_OBJECT
  public:
    enum Column {
        Point,
        Value,
        Scaled,
        Name,
        Scale,
        Offset,
        Decimals,
        Unit,
        Charted,
        Recorded,
        Columns
    };

    PointsTable(AnyPointPoller& poller, QWidget* parent = nullptr);

    // Shows row `index` of the poller (-1: none), its new values in place
    // when it is the row shown, so the current cell and a value being typed
    // stay.
    void showRow(int index);
    // Typed values wait for writeHeld, rather than going at once.
    void setHolding(bool holding);
    bool holding() const { return holding_; }
    // The values typed since, each run of neighbouring points in one request.
    void writeHeld();
    // Every value of the row, those typed in place of those read, in one
    // request.
    void writeAll();
    int heldCount() const { return static_cast<int>(held_.size()); }

  signals:
    void noted(const QString& note, bool failed);

  private:
    void rebuild(const PointRow& row);
    void refreshValues(const PointRow& row);
    void edited(QTableWidgetItem* item);
    void valueTyped(const PointRow& row, int value, const QString& text, bool inUnits);
    void labelTyped(const PointRow& row, int value, int column, QTableWidgetItem* item);
    // False, with the reason noted, when the request could not carry them.
    bool send(int first, std::vector<std::uint16_t> registers);
    void markHeld(int value, bool held);
    QTableWidgetItem* cell(int row, int column);

    AnyPointPoller& poller_;
    int shownIndex_ = -1;
    QString shownKey_;
    bool filling_ = false;
    bool holding_ = false;
    // Typed values not yet written: value index -> its registers (0/1 for a
    // coil).
    std::map<int, std::vector<std::uint16_t>> held_;
};

}  // namespace anypoint
