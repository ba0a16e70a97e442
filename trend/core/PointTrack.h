#pragma once
// The points of "读写任意点" rows that are charted or recorded, as that
// window hands them over, and how one of their values is written out.

#include <QString>
#include <optional>
#include <vector>

namespace trend {

// A point of a 读写任意点 row that is charted or recorded.
struct TrackedPoint {
    QString key;        // stable and unique; opaque here
    QString title;      // the point's name, or e.g. "从站1 保持寄存器 第 5 点"
    QString unit;       // may be empty
    int decimals = -1;  // digits after the point to show and record; -1: as read
    bool charted = false;
    bool recorded = false;
    qint64 freshForMs = 5000;  // a value older than this is no value
    bool operator==(const TrackedPoint&) const = default;
};

// One point's value from a read of its row; empty: the read failed.
struct PointRead {
    QString key;
    std::optional<double> value;
};

// "title (unit)", or the title alone.
QString pointName(const TrackedPoint& point);

// `value` with `decimals` digits after the point, or as read (-1): a whole
// number whole, a single-precision value with the digits it was read with,
// any other with as many as tell it apart. Never an exponent, never "-0".
QByteArray pointText(double value, int decimals);

}  // namespace trend
