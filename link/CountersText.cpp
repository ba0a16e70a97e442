#include "CountersText.h"

#include <QStringList>

namespace {

// Every failure kind once, with the word the status line uses for it.
struct Kind {
    std::int32_t Tq7310LinkCounters::*count;
    const char* word;
};
constexpr Kind kKinds[] = {
    {&Tq7310LinkCounters::timeouts, "超时"},       {&Tq7310LinkCounters::bad_frames, "坏帧"},
    {&Tq7310LinkCounters::exceptions, "异常应答"}, {&Tq7310LinkCounters::wrong_slaves, "他址应答"},
    {&Tq7310LinkCounters::echoes, "回显"},         {&Tq7310LinkCounters::ambiguous, "疑似迟到应答"},
    {&Tq7310LinkCounters::io_errors, "设备错误"},  {&Tq7310LinkCounters::open_failures, "重开失败"},
    {&Tq7310LinkCounters::refused, "被拒的请求"},
};

QString ms(std::int32_t us) {
    return us < 0 ? QStringLiteral("-") : QString::number(us / 1000.0, 'f', 1);
}

}  // namespace

Tq7310LinkCounters countsSince(const Tq7310LinkCounters& now, const Tq7310LinkCounters& since) {
    Tq7310LinkCounters counts = now;
    counts.transactions -= since.transactions;
    counts.failures -= since.failures;
    for (const Kind& kind : kKinds) {
        counts.*kind.count -= since.*kind.count;
    }
    return counts;
}

QString countersBreakdown(const Tq7310LinkCounters& c) {
    QStringList kinds;
    for (const Kind& kind : kKinds) {
        if (c.*kind.count != 0) {
            kinds << QStringLiteral("%1 %2").arg(QString::fromUtf8(kind.word)).arg(c.*kind.count);
        }
    }
    QString text = QStringLiteral("通讯 %1 次  失败 %2 次").arg(c.transactions).arg(c.failures);
    if (!kinds.isEmpty()) {
        text += QStringLiteral("：") + kinds.join(QStringLiteral("  "));
    }
    return text + QStringLiteral(
                      "；往返 %1 次：最小 %2  中位 %3  95% %4  最大 %5 ms"
                      "（只计得到本次应答的通讯，自打开端口；中位和 95% 取最近 1000 次）")
                      .arg(c.round_trips)
                      .arg(ms(c.round_trip_min_us), ms(c.round_trip_median_us),
                           ms(c.round_trip_p95_us), ms(c.round_trip_max_us));
}
