#pragma once
// A technician's session as a small JSON file: the link settings on the
// window, the "读写任意点" rows, which windows are open and where, and the
// curves' span and quantity, and what each port number stands for. A file from a newer version, or
// one that does not read, is refused whole with the reason, and nothing changes. One rule says what
// a workspace may hold, for saving and opening alike, so what is saved opens again.

#include <QByteArray>
#include <QRect>
#include <QString>
#include <map>
#include <optional>
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
    // How "读写任意点" numbers the points of a row it adds: from 1 or 0.
    int pointBase = 1;
    bool trendOpen = false;
    int trendSpan = 1;  // the curves' span list's entry
    // The curves' quantity list's entry once the user chose one; until then
    // the module's mode picks it.
    std::optional<int> trendQuantity;
    bool trafficOpen = false;
    bool anyPointOpen = false;
    // Where each window was, its frame's top-left and its size, once built;
    // files saved before places were kept have none.
    std::optional<QRect> trendPlace;
    std::optional<QRect> trafficPlace;
    std::optional<QRect> anyPointPlace;
    // What the user pointed port numbers at in "端口设置": port number ->
    // TQ7310_COM<n> value. Files saved before it was kept have none, and
    // opening one leaves the choices as they are.
    std::optional<std::map<int, QString>> ports;
};

// What is wrong with the workspace ("的 port 无效"), or nothing.
std::optional<QString> workspaceFault(const Workspace& workspace);

QByteArray workspaceJson(const Workspace& workspace);

// The workspace, or why the file is refused ("…，未打开").
std::variant<Workspace, QString> readWorkspace(const QByteArray& json);

// A workspace file is a few kB; a larger one is not one.
inline constexpr qint64 kLargestWorkspaceBytes = 4 * 1024 * 1024;

// The workspace in the file at `path`, or why it was not read ("未能打开工作区：
// …" or "…，未打开"). Only a regular file is opened, so a pipe or a device
// never blocks the window, and no more than kLargestWorkspaceBytes is read.
std::variant<Workspace, QString> readWorkspaceFile(const QString& path);

}  // namespace anypoint
