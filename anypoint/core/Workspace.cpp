#include "Workspace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <climits>

#include "SerialLine.h"

namespace anypoint {

namespace {

// Every number the file holds, with where it goes and what it may be.
struct Field {
    const char* key;
    int Workspace::*value;
    int low;
    int high;
};
const Field kLinkFields[] = {
    {"port", &Workspace::port, module_line::kFirstPort, module_line::kLastPort},
    {"baudCode", &Workspace::baudCode, 1, 3},
    {"parityCode", &Workspace::parityCode, 0, 2},
    {"address", &Workspace::address, module_line::kFirstAddress, module_line::kLastAddress},
    {"trendSpan", &Workspace::trendSpan, 0, 3},
};
struct RowField {
    const char* key;
    int low;
    int high;
};
const RowField kRowFields[] = {{"address", 1, 247}, {"function", 1, 4}, {"first", 1, 65536},
                               {"count", 1, 2000},  {"format", 0, 9},   {"periodMs", 0, 60000}};

QString refused(const QString& why) {
    return QStringLiteral("工作区文件%1，未打开").arg(why);
}

bool within(const QJsonValue& value, int low, int high) {
    return value.isDouble() && value.toDouble() == value.toInt() && value.toInt() >= low &&
           value.toInt() <= high;
}

}  // namespace

QByteArray workspaceJson(const Workspace& w) {
    QJsonObject root{{"version", kWorkspaceVersion},
                     {"trendOpen", w.trendOpen},
                     {"trafficOpen", w.trafficOpen},
                     {"anyPointOpen", w.anyPointOpen}};
    for (const Field& f : kLinkFields) {
        root.insert(QLatin1String(f.key), w.*f.value);
    }
    QJsonArray rows;
    for (const PointRow& r : w.rows) {
        rows.append(QJsonObject{{"address", r.address},
                                {"function", static_cast<int>(r.table)},
                                {"first", r.first},
                                {"count", r.count},
                                {"format", static_cast<int>(r.format)},
                                {"periodMs", r.periodMs}});
    }
    root.insert(QStringLiteral("rows"), rows);
    return QJsonDocument(root).toJson();
}

std::variant<Workspace, QString> readWorkspace(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return refused(QStringLiteral("不是有效的 JSON"));
    }
    const QJsonObject root = document.object();
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!within(version, 1, INT_MAX)) {
        return refused(QStringLiteral("没有版本号"));
    }
    if (version.toInt() > kWorkspaceVersion) {
        return refused(QStringLiteral("来自更新的版本（版本 %1）").arg(version.toInt()));
    }
    Workspace w;
    for (const Field& f : kLinkFields) {
        const QJsonValue value = root.value(QLatin1String(f.key));
        if (!within(value, f.low, f.high)) {
            return refused(QStringLiteral("的 %1 无效").arg(QLatin1String(f.key)));
        }
        w.*f.value = value.toInt();
    }
    w.trendOpen = root.value(QStringLiteral("trendOpen")).toBool();
    w.trafficOpen = root.value(QStringLiteral("trafficOpen")).toBool();
    w.anyPointOpen = root.value(QStringLiteral("anyPointOpen")).toBool();
    for (const QJsonValue& item : root.value(QStringLiteral("rows")).toArray()) {
        const QJsonObject o = item.toObject();
        for (const RowField& f : kRowFields) {
            if (!within(o.value(QLatin1String(f.key)), f.low, f.high)) {
                return refused(QStringLiteral("的第 %1 行的 %2 无效")
                                   .arg(w.rows.size() + 1)
                                   .arg(QLatin1String(f.key)));
            }
        }
        PointRow r;
        r.address = o.value(QStringLiteral("address")).toInt();
        r.table = static_cast<Table>(o.value(QStringLiteral("function")).toInt());
        r.first = o.value(QStringLiteral("first")).toInt();
        r.count = o.value(QStringLiteral("count")).toInt();
        r.format = static_cast<Format>(o.value(QStringLiteral("format")).toInt());
        r.periodMs = o.value(QStringLiteral("periodMs")).toInt();
        if (r.count > maxCount(r.table) || r.first + r.count - 1 > 65536) {
            return refused(QStringLiteral("的第 %1 行的点超出范围").arg(w.rows.size() + 1));
        }
        w.rows.push_back(r);
    }
    return w;
}

}  // namespace anypoint
