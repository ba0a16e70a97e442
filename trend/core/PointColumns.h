#pragma once
// The columns a record gives the "读写任意点" points recorded when it
// started, after the module's: each row holds each point's latest value at
// the row's moment, or nothing when its last read failed or is older than
// its freshness; never an old value. The cells are written out when the
// reads come, not in the counter tick that writes the row: a thousand
// points add to the tick no more than copying the bytes of their cells.

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <limits>
#include <vector>

#include "PointTrack.h"

namespace trend {

class PointColumns {
  public:
    PointColumns() = default;
    // A column for each recorded point of `points`, in their order.
    explicit PointColumns(const std::vector<TrackedPoint>& points);

    // "title (unit)" or "title", one a column.
    QStringList header() const;
    bool isEmpty() const { return columns_.empty(); }

    // The points tracked now: a column whose point is no longer among them
    // stays, empty; the others take their point's decimals and freshness.
    void track(const std::vector<TrackedPoint>& points);
    // The reads of one row at `ms`.
    void take(const std::vector<PointRead>& reads, qint64 ms);
    // A comma and the text of each column's value at `nowMs` (nothing
    // where it has none): what follows the module's fields in a row. Made
    // again only after a read or when a value it holds gets too old.
    const QByteArray& cells(qint64 nowMs);

  private:
    struct Column {
        QString key;
        QString name;
        int decimals = -1;
        qint64 freshForMs = 0;
        bool tracked = true;
        qint64 readMs = 0;
        std::optional<double> value;
        QByteArray text;  // the value as written; empty: none
    };
    void format(Column& column);

    std::vector<Column> columns_;
    QHash<QString, std::size_t> index_;
    QByteArray cells_;
    bool composed_ = false;
    // The first moment a value in cells_ is too old to be written.
    qint64 staleFromMs_ = std::numeric_limits<qint64>::max();
};

}  // namespace trend
