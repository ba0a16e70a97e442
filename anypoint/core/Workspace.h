#pragma once
// A technician's session as a small JSON file: the link settings on the
// window, the "读写任意点" rows, and which windows are open with the curves'
// span. A file from a newer version, or one that does not read, is refused
// whole with the reason, and nothing changes.

#include <QByteArray>
#include <QString>
#include <variant>
#include <vector>

#include "PointRow.h"

namespace anypoint {

inline constexpr int kWorkspaceVersion = 1;

struct Workspace {
    int port = 1;
    int baudCode = 1;
    int parityCode = 2;
    int address = 1;
    std::vector<PointRow> rows;  // their settings; what they read is not kept
    bool trendOpen = false;
    int trendSpan = 1;  // the curves' span list's entry
    bool trafficOpen = false;
    bool anyPointOpen = false;
};

QByteArray workspaceJson(const Workspace& workspace);

// The workspace, or why the file is refused ("…，未打开").
std::variant<Workspace, QString> readWorkspace(const QByteArray& json);

}  // namespace anypoint
