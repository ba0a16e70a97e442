#include "Workspace.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <iterator>

#include "PortTarget.h"
#include "Scaling.h"
#include "SerialLine.h"
#include "SystemErrorText.h"

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
// The windows' places: written once a window was built; a file without them
// reads.
const struct {
    const char* key;
    std::optional<QRect> Workspace::*place;
} kPlaces[] = {{"trendPlace", &Workspace::trendPlace},
               {"trafficPlace", &Workspace::trafficPlace},
               {"anyPointPlace", &Workspace::anyPointPlace}};
constexpr int kTrendQuantities = 3;
const char* const kRowKeys[] = {"address", "function", "first", "count", "format", "periodMs"};
// What rows carry since points were named and rows numbered from 0 or waited
// their own time: written only when not the default, so a row without them
// reads as before.
const struct {
    const char* key;
    int PointRow::*value;
    int fallback;
} kRowOptions[] = {{"base", &PointRow::base, 1},
                   {"waitMs", &PointRow::waitMs, 0},
                   {"retries", &PointRow::retries, 0}};
const char* const kOpenKeys[] = {"trendOpen", "trafficOpen", "anyPointOpen"};
bool Workspace::*const kOpenFields[] = {&Workspace::trendOpen, &Workspace::trafficOpen,
                                        &Workspace::anyPointOpen};

QString refused(const QString& why) {
    return QStringLiteral("工作区文件%1，未打开").arg(why);
}

bool within(int value, int low, int high) {
    return value >= low && value <= high;
}

// A whole number that fits an int, or nothing.
std::optional<int> wholeNumber(const QJsonValue& value) {
    const double d = value.toDouble();
    if (!value.isDouble() || d != static_cast<double>(static_cast<long long>(d)) || d < INT_MIN ||
        d > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(d);
}

// The row's fault, as "的第 N 行的 KEY 无效" or "…的点超出范围".
std::optional<QString> rowFault(const PointRow& r, std::size_t number) {
    const auto bad = [number](const char* key) {
        return QStringLiteral("的第 %1 行的 %2 无效").arg(number).arg(QLatin1String(key));
    };
    if (!within(r.address, module_line::kFirstAddress, module_line::kLastAddress)) {
        return bad("address");
    }
    const int table = static_cast<int>(r.table);
    if (!within(table, 1, 4)) {
        return bad("function");
    }
    if (!within(r.first, 1, 65536)) {
        return bad("first");
    }
    if (!within(static_cast<int>(r.format), 0, kFormatCount - 1)) {
        return bad("format");
    }
    if (!isOfferedPeriod(r.periodMs)) {
        return bad("periodMs");
    }
    if (!within(r.base, 0, 1)) {
        return bad("base");
    }
    if (r.waitMs != 0 && !within(r.waitMs, kShortestWaitMs, kLongestWaitMs)) {
        return bad("waitMs");
    }
    if (!within(r.retries, 0, kMostRetries)) {
        return bad("retries");
    }
    if (r.labels.size() > static_cast<std::size_t>(valueCount(r)) ||
        !std::all_of(r.labels.begin(), r.labels.end(), isSoundScaling)) {
        return bad("labels");
    }
    if (!within(r.count, 1, maxCount(r.table)) || r.first + r.count - 1 > 65536) {
        return QStringLiteral("的第 %1 行的点超出范围").arg(number);
    }
    return std::nullopt;
}

// A port number and a value that reads as a target.
bool validPort(int port, const QString& text) {
    return within(port, module_line::kFirstPort, module_line::kLastPort) && !text.isEmpty() &&
           module_line::parsePortTarget(text.toStdString());
}

QString invalid(const char* key) {
    return QStringLiteral("的 %1 无效").arg(QLatin1String(key));
}

// x, y, width and height, or nothing when that is not what `value` holds.
std::optional<QRect> rectOf(const QJsonValue& value) {
    const QJsonArray numbers = value.toArray();
    std::optional<int> n[4];
    for (int i = 0; i < 4; ++i) {
        n[i] = wholeNumber(numbers.at(i));
    }
    if (numbers.size() != 4 || !n[0] || !n[1] || !n[2] || !n[3]) {
        return std::nullopt;
    }
    return QRect(*n[0], *n[1], *n[2], *n[3]);
}

QJsonArray labelsJson(const std::vector<PointLabel>& labels) {
    QJsonArray array;
    for (const PointLabel& l : labels) {
        array.append(QJsonObject{{"name", l.name},
                                 {"scale", l.scale},
                                 {"offset", l.offset},
                                 {"decimals", l.decimals},
                                 {"unit", l.unit},
                                 {"charted", l.charted},
                                 {"recorded", l.recorded}});
    }
    return array;
}

// The labels, each key optional, or nothing when one holds the wrong kind
// of value.
std::optional<std::vector<PointLabel>> labelsOf(const QJsonValue& value) {
    if (!value.isArray()) {
        return std::nullopt;
    }
    std::vector<PointLabel> labels;
    for (const QJsonValue& item : value.toArray()) {
        const QJsonObject o = item.toObject();
        PointLabel l;
        const auto text = [&o](const char* key, QString& out) {
            const QJsonValue v = o.value(QLatin1String(key));
            out = v.toString();
            return v.isUndefined() || v.isString();
        };
        const auto number = [&o](const char* key, double& out) {
            const QJsonValue v = o.value(QLatin1String(key));
            out = v.toDouble(out);
            return v.isUndefined() || v.isDouble();
        };
        const auto flag = [&o](const char* key, bool& out) {
            const QJsonValue v = o.value(QLatin1String(key));
            out = v.toBool();
            return v.isUndefined() || v.isBool();
        };
        const QJsonValue decimals = o.value(QStringLiteral("decimals"));
        const auto places = decimals.isUndefined() ? -1 : wholeNumber(decimals);
        if (!item.isObject() || !text("name", l.name) || !text("unit", l.unit) ||
            !number("scale", l.scale) || !number("offset", l.offset) ||
            !flag("charted", l.charted) || !flag("recorded", l.recorded) || !places) {
            return std::nullopt;
        }
        l.decimals = *places;
        labels.push_back(l);
    }
    return labels;
}

}  // namespace

std::optional<QString> workspaceFault(const Workspace& w) {
    for (const Field& f : kLinkFields) {
        if (!within(w.*f.value, f.low, f.high)) {
            return invalid(f.key);
        }
    }
    if (!within(w.pointBase, 0, 1)) {
        return invalid("pointBase");
    }
    if (w.trendQuantity && !within(*w.trendQuantity, 0, kTrendQuantities - 1)) {
        return invalid("trendQuantity");
    }
    for (const auto& p : kPlaces) {
        if (const auto& place = w.*p.place; place && (place->width() < 1 || place->height() < 1)) {
            return invalid(p.key);
        }
    }
    for (const auto& [port, text] : w.ports.value_or(std::map<int, QString>{})) {
        if (!validPort(port, text)) {
            return invalid("ports");
        }
    }
    for (std::size_t i = 0; i < w.rows.size(); ++i) {
        if (auto fault = rowFault(w.rows[i], i + 1)) {
            return fault;
        }
    }
    return std::nullopt;
}

QByteArray workspaceJson(const Workspace& w) {
    QJsonObject root{{"version", kWorkspaceVersion},
                     {"trendOpen", w.trendOpen},
                     {"trafficOpen", w.trafficOpen},
                     {"anyPointOpen", w.anyPointOpen}};
    for (const Field& f : kLinkFields) {
        root.insert(QLatin1String(f.key), w.*f.value);
    }
    if (w.trendQuantity) {
        root.insert(QStringLiteral("trendQuantity"), *w.trendQuantity);
    }
    if (w.pointBase != 1) {
        root.insert(QStringLiteral("pointBase"), w.pointBase);
    }
    for (const auto& p : kPlaces) {
        if (const auto& place = w.*p.place) {
            root.insert(QLatin1String(p.key),
                        QJsonArray{place->x(), place->y(), place->width(), place->height()});
        }
    }
    if (w.ports) {
        QJsonObject ports;
        for (const auto& [port, text] : *w.ports) {
            ports.insert(QString::number(port), text);
        }
        root.insert(QStringLiteral("ports"), ports);
    }
    QJsonArray rows;
    for (const PointRow& r : w.rows) {
        QJsonObject row{{"address", r.address},
                        {"function", static_cast<int>(r.table)},
                        {"first", r.first},
                        {"count", r.count},
                        {"format", static_cast<int>(r.format)},
                        {"periodMs", r.periodMs}};
        for (const auto& option : kRowOptions) {
            if (r.*option.value != option.fallback) {
                row.insert(QLatin1String(option.key), r.*option.value);
            }
        }
        if (!r.labels.empty()) {
            row.insert(QStringLiteral("labels"), labelsJson(r.labels));
        }
        rows.append(row);
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
    if (version.isUndefined()) {
        return refused(QStringLiteral("没有版本号"));
    }
    const double number = version.toDouble();
    if (!version.isDouble() || number < 1 ||
        number != static_cast<double>(static_cast<long long>(number))) {
        return refused(QStringLiteral("的版本号无效"));
    }
    if (number > kWorkspaceVersion) {
        return refused(QStringLiteral("来自更新的版本（版本 %1）").arg(number, 0, 'f', 0));
    }
    Workspace w;
    for (const Field& f : kLinkFields) {
        const auto value = wholeNumber(root.value(QLatin1String(f.key)));
        if (!value) {
            return refused(invalid(f.key));
        }
        w.*f.value = *value;
    }
    if (const QJsonValue quantity = root.value(QStringLiteral("trendQuantity"));
        !quantity.isUndefined()) {
        w.trendQuantity = wholeNumber(quantity);
        if (!w.trendQuantity) {
            return refused(invalid("trendQuantity"));
        }
    }
    if (const QJsonValue base = root.value(QStringLiteral("pointBase")); !base.isUndefined()) {
        const auto number = wholeNumber(base);
        if (!number) {
            return refused(invalid("pointBase"));
        }
        w.pointBase = *number;
    }
    for (const auto& p : kPlaces) {
        if (const QJsonValue place = root.value(QLatin1String(p.key)); !place.isUndefined()) {
            w.*p.place = rectOf(place);
            if (!(w.*p.place)) {
                return refused(invalid(p.key));
            }
        }
    }
    // Kept since version 1 files began to carry it; the version stayed, as
    // for the places, since a file without it reads as before.
    if (const QJsonValue ports = root.value(QStringLiteral("ports")); !ports.isUndefined()) {
        if (!ports.isObject()) {
            return refused(invalid("ports"));
        }
        w.ports.emplace();
        const QJsonObject map = ports.toObject();
        for (auto it = map.begin(); it != map.end(); ++it) {
            bool number = false;
            const int port = it.key().toInt(&number);
            if (!number || !it.value().isString()) {
                return refused(invalid("ports"));
            }
            (*w.ports)[port] = it.value().toString();
        }
    }
    for (std::size_t i = 0; i < std::size(kOpenKeys); ++i) {
        const QJsonValue value = root.value(QLatin1String(kOpenKeys[i]));
        if (!value.isBool()) {
            return refused(invalid(kOpenKeys[i]));
        }
        w.*kOpenFields[i] = value.toBool();
    }
    const QJsonValue rows = root.value(QStringLiteral("rows"));
    if (!rows.isArray()) {
        return refused(QStringLiteral("的 rows 无效"));
    }
    for (const QJsonValue& item : rows.toArray()) {
        const QJsonObject o = item.toObject();
        int values[std::size(kRowKeys)] = {};
        for (std::size_t k = 0; k < std::size(kRowKeys); ++k) {
            const auto value = wholeNumber(o.value(QLatin1String(kRowKeys[k])));
            if (!value) {
                return refused(QStringLiteral("的第 %1 行的 %2 无效")
                                   .arg(w.rows.size() + 1)
                                   .arg(QLatin1String(kRowKeys[k])));
            }
            values[k] = *value;
        }
        PointRow r;
        r.address = values[0];
        r.table = static_cast<Table>(values[1]);
        r.first = values[2];
        r.count = values[3];
        r.format = static_cast<Format>(values[4]);
        r.periodMs = values[5];
        for (const auto& option : kRowOptions) {
            const QJsonValue value = o.value(QLatin1String(option.key));
            const auto number = value.isUndefined() ? option.fallback : wholeNumber(value);
            if (!number) {
                return refused(QStringLiteral("的第 %1 行的 %2 无效")
                                   .arg(w.rows.size() + 1)
                                   .arg(QLatin1String(option.key)));
            }
            r.*option.value = *number;
        }
        if (const QJsonValue labels = o.value(QStringLiteral("labels")); !labels.isUndefined()) {
            auto read = labelsOf(labels);
            if (!read) {
                return refused(QStringLiteral("的第 %1 行的 labels 无效").arg(w.rows.size() + 1));
            }
            r.labels = std::move(*read);
        }
        w.rows.push_back(r);
    }
    if (const auto fault = workspaceFault(w)) {
        return refused(*fault);
    }
    return w;
}

std::variant<Workspace, QString> readWorkspaceFile(const QString& path) {
    const auto cannot = [](const QString& why) { return QStringLiteral("未能打开工作区：") + why; };
    const QFileInfo info(path);
    if (!info.exists()) {
        return cannot(QStringLiteral("文件不存在"));
    }
    if (info.isDir()) {
        return cannot(QStringLiteral("是文件夹，不是文件"));
    }
    if (!info.isFile()) {
        return cannot(QStringLiteral("不是普通文件（管道或设备？）"));
    }
    if (info.size() > kLargestWorkspaceBytes) {
        return cannot(QStringLiteral("文件过大（%1 字节），不是工作区文件").arg(info.size()));
    }
    QFile file(path);
    clearFileError();
    if (!file.open(QIODevice::ReadOnly)) {
        const int error = lastFileError();
        return cannot(systemErrorText(error != 0 ? error : EIO, ErrorSubject::File));
    }
    return readWorkspace(file.read(kLargestWorkspaceBytes + 1));
}

}  // namespace anypoint
