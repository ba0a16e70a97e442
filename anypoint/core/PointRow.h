#pragma once
// One row of "读写任意点": which points of which slave, how they read, how
// often, and what the last read brought.

#include <QString>
#include <cstdint>
#include <vector>

#include "PointFormat.h"

namespace anypoint {

// The Modbus read function of each table; coils and holding registers are
// the ones that can be written.
enum class Table { Coils = 1, DiscreteInputs = 2, HoldingRegisters = 3, InputRegisters = 4 };

inline constexpr Table kTables[] = {Table::Coils, Table::DiscreteInputs, Table::HoldingRegisters,
                                    Table::InputRegisters};

// "线圈 01", "离散输入 02", "保持寄存器 03", "输入寄存器 04"
QString tableName(Table table);
// "线圈", "保持寄存器" …
QString tableWord(Table table);
bool isBitTable(Table table);
bool isWritable(Table table);
// The most points one read of the table may ask for.
int maxCount(Table table);

// The periods a row may poll at, in ms; 0: not polled.
inline constexpr int kPeriodsMs[] = {0, 500, 1000, 2000, 5000, 10000, 30000, 60000};
bool isOfferedPeriod(int ms);
// A row whose reads time out asks less often, its period doubled up to this.
inline constexpr int kLongestBackoffMs = 60000;

// How long a row waits for its answer, and how often it asks again before a
// read counts as failed: the link's wait unless the row says otherwise.
inline constexpr int kShortestWaitMs = 100;
inline constexpr int kLongestWaitMs = 10000;
inline constexpr int kMostRetries = 3;

// What a technician calls a point and how its raw value reads in the units
// of the thing measured: value x scale + offset, with `decimals` digits after
// the point (-1: as it comes).
struct PointLabel {
    QString name;
    double scale = 1;
    double offset = 0;
    int decimals = -1;
    QString unit;
    bool charted = false;
    bool recorded = false;
    bool operator==(const PointLabel&) const = default;
};

struct PointRow {
    int address = 1;  // slave address 1..247
    Table table = Table::HoldingRegisters;
    int first = 1;  // point number, from 1
    int count = 1;
    Format format = Format::Unsigned;
    int periodMs = 1000;  // 0: not polled
    int base = 1;         // the points are shown numbered from 1, or from 0
    // One a value (a point, or a wide value's first point), in order; values
    // past the end have none.
    std::vector<PointLabel> labels;
    int waitMs = 0;  // 0: the link's
    int retries = 0;

    // The last read: values one a point (bits 0/1), how it went, its round
    // trip in microseconds (-1 unknown).
    std::vector<std::uint16_t> values;
    QString outcome;
    bool failed = false;
    int roundTripUs = -1;
    // How it is really asked: the period it has backed off to, the time
    // between its last two reads (-1 before two), its time-outs since it was
    // added or changed, and when its last good values came (ms on the
    // poller's clock, -1 never).
    int backedOffMs = 0;
    int realPeriodMs = -1;
    int timeouts = 0;
    std::int64_t goodAtMs = -1;
    // The last write: how it went; empty when none was asked. What it sent,
    // from point writtenFirst on, until a read has shown whether it stayed.
    QString written;
    bool writeFailed = false;
    int writtenFirst = 0;
    std::vector<std::uint16_t> writtenValues;
};

// For a read refused as an illegal address whose first point looks like the
// 1xxxx/3xxxx/4xxxx notation of device manuals (40001, 400001): what that
// notation means, since the row numbers points as it does; empty otherwise.
QString notationHint(const PointRow& row);

// The values the row's points make, and how many points each takes.
int valueCount(const PointRow& row);
int pointsPerValue(const PointRow& row);
// Value `index`'s label; a plain one when it has none.
PointLabel labelOf(const PointRow& row, int index);
// The value's first point as the row numbers it.
int shownPoint(const PointRow& row, int index);
// "从站1 保持寄存器 第 5 点", or its name when it has one.
QString pointTitle(const PointRow& row, int index);
// What stays the same for a value while the row keeps its slave, table,
// first point and format: what curves and records know it by.
QString pointKey(const PointRow& row, int index);

// The row's settings alone, without what it read or wrote.
PointRow settingsOf(const PointRow& row);

}  // namespace anypoint
