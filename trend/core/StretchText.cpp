#include "StretchText.h"

#include <QDateTime>

namespace trend {

const Stretch* stretchAt(const Stretches& stretches, qint64 ms) {
    for (const Stretch& s : stretches) {
        if (ms >= s.fromMs && ms <= s.toMs) {
            return &s;
        }
    }
    return nullptr;
}

QString stretchText(const Stretch& stretch, Stretch::Kind kind, const Reads& reads,
                    qint64 wallOffsetMs) {
    const auto clock = [wallOffsetMs](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms + wallOffsetMs).toString(u"HH:mm:ss");
    };
    const QString when = clock(stretch.fromMs) + QStringLiteral("–") + clock(stretch.toMs);
    if (kind == Stretch::Unread) {
        return QStringLiteral("未读取 %1：这段时间没有读取 (端口关闭、轮询停止或查找占用端口)")
            .arg(when);
    }
    return QStringLiteral("读取失败 %1：%2 次读取中 %3 次失败")
        .arg(when)
        .arg(reads.made)
        .arg(reads.failed);
}

}  // namespace trend
