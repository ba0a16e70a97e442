#include "LastLink.h"

#include <QSettings>

namespace finder {

namespace {

const QString kGroup = QStringLiteral("lastLink");

}  // namespace

std::optional<LastLink> loadLastLink() {
    QSettings s(QStringLiteral("tq7310-panel"), QStringLiteral("tq7310-panel"));
    s.beginGroup(kGroup);
    LastLink link;
    link.port = s.value(QStringLiteral("port")).toInt();
    link.setting.baudCode = s.value(QStringLiteral("baudCode")).toInt();
    link.setting.parityCode = s.value(QStringLiteral("parityCode")).toInt();
    link.address = s.value(QStringLiteral("address")).toInt();
    using namespace module_line;
    if (link.port < kFirstPort || link.port > kLastPort || !baudOfCode(link.setting.baudCode) ||
        !parityOfCode(link.setting.parityCode) || link.address < kFirstAddress ||
        link.address > kLastAddress) {
        return std::nullopt;
    }
    return link;
}

void saveLastLink(const LastLink& link) {
    QSettings s(QStringLiteral("tq7310-panel"), QStringLiteral("tq7310-panel"));
    s.beginGroup(kGroup);
    s.setValue(QStringLiteral("port"), link.port);
    s.setValue(QStringLiteral("baudCode"), link.setting.baudCode);
    s.setValue(QStringLiteral("parityCode"), link.setting.parityCode);
    s.setValue(QStringLiteral("address"), link.address);
}

}  // namespace finder
