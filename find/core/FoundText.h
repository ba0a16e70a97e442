#pragma once
// A found row's words: what answered, why the search says so, and the
// points it gave back.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

#include "ModuleSearch.h"

namespace finder {

// "TQ7310 模块", "可能是 TQ7310 模块", "其他 Modbus 设备", "回显", bytes
// without a frame …; behind an echoing adapter it says so.
QString answerText(const Found& found);
// The evidence behind answerText.
QString whyText(const Found& found);
// Highest point on the left, as a row of switches is read; empty unless all
// four blocks were read back.
QString pointsText(const Found& found);

// How a port is searched: "端口3：在 tcp 192.168.1.20:502 上查找单元 1–247";
// for a port whose variable is written wrongly, why it is skipped.
QString planText(const PortPlan& plan);

// The results table's columns, and one row's cells.
QStringList columnTitles();
QStringList rowCells(const Found& found);

// A search as the dialog showed it, for the clipboard or a file.
struct SearchRecord {
    QDateTime started;
    std::vector<std::pair<int, QString>> ports;  // number and device
    QStringList plans;                           // how each port was searched, as planText
    std::vector<LineSetting> settings;
    int lastAddress = 0;
    QString state;  // how it ended, or that it still runs
    std::vector<Found> rows;
    QStringList notes;
};

// A header of what was searched and when (lines starting "# "), then the
// rows with tabs between cells, so they paste into a spreadsheet.
QString recordText(const SearchRecord& record);

}  // namespace finder
