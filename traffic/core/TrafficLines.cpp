#include "TrafficLines.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

#include "OutcomeText.h"

namespace traffic {

namespace {

QByteArray bytesOf(const std::uint8_t* data, int length) {
    return QByteArray(reinterpret_cast<const char*>(data), qMax(length, 0));
}

QString functionName(int function) {
    switch (function) {
        case 0x01:
            return QStringLiteral("读线圈");
        case 0x02:
            return QStringLiteral("读离散输入");
        case 0x03:
            return QStringLiteral("读保持寄存器");
        case 0x04:
            return QStringLiteral("读输入寄存器");
        case 0x05:
            return QStringLiteral("写线圈");
        case 0x06:
            return QStringLiteral("写保持寄存器");
        case 0x0F:
            return QStringLiteral("写多个线圈");
        case 0x10:
            return QStringLiteral("写多个保持寄存器");
        default:
            return QStringLiteral("功能 %1").arg(function, 2, 16, QLatin1Char('0'));
    }
}

int word(const std::uint8_t* at) {
    return at[0] << 8 | at[1];
}

// Points as the panel numbers them, from 1. The frame as RTU shapes it
// starts `frameAt` bytes into the request.
QString requestMeaning(const Tq7310Traffic& e, int frameAt) {
    if (e.request_length < frameAt + 6) {
        return {};
    }
    const std::uint8_t* request = e.request + frameAt;
    const int function = request[1];
    const int first = word(request + 2) + 1;
    const int quantity = word(request + 4);
    if (function == 0x05) {
        return QStringLiteral("写线圈 %1 = %2").arg(first).arg(quantity != 0 ? "闭合" : "断开");
    }
    if (function == 0x06) {
        return QStringLiteral("写保持寄存器 %1 = %2").arg(first).arg(quantity);
    }
    return QStringLiteral("%1 %2-%3")
        .arg(functionName(function))
        .arg(first)
        .arg(first + quantity - 1);
}

QString valuesOf(const Tq7310Traffic& e, int frameAt) {
    const int function = e.request[frameAt + 1];
    // A write's reply carries no values: reading `quantity` of them would
    // run past the reply.
    if (function >= 0x05) {
        return QStringLiteral("已写入");
    }
    const std::uint8_t* data = e.reply + frameAt + 3;
    const bool bits = function <= 0x02;
    const int dataBytes = e.reply_length - frameAt - 3;
    // A Modbus TCP record cuts the longest replies short of their end.
    const int quantity =
        std::min(word(e.request + frameAt + 4), bits ? dataBytes * 8 : dataBytes / 2);
    QStringList values;
    for (int i = 0; i < quantity; ++i) {
        values << (bits ? QString::number((data[i / 8] >> (i % 8)) & 1)
                        : QString::number(word(data + 2 * i)));
    }
    return QStringLiteral("值 ") + (bits ? values.join(QString()) : values.join(QLatin1Char(' ')));
}

}  // namespace

QList<TrafficLine> linesOf(int port, const Tq7310Traffic& e, int frameAt) {
    TrafficLine base;
    base.sequence = e.sequence;
    base.port = port;
    base.time = QDateTime::fromMSecsSinceEpoch(e.wall_ms);
    const QString probe = e.probe != 0 ? QStringLiteral("（查找）") : QString();
    const QByteArray reply = bytesOf(e.reply, e.reply_length);

    if (e.kind != TQ7310_TRAFFIC_EXCHANGE) {
        TrafficLine late = base;
        late.bytes = hexBytes(reply);
        const QString ms = QString::number(e.late_us / 1000.0, 'f', 1);
        if (e.kind == TQ7310_TRAFFIC_ECHO) {
            late.direction = QStringLiteral("回显");
            late.meaning =
                QStringLiteral("第 %1 条请求由转换器送回，发出后 %2 ms").arg(e.follows).arg(ms);
            return {late};
        }
        const QString what = e.kind == TQ7310_TRAFFIC_LATE_REPLY
                                 ? QStringLiteral("的迟到应答（未采用），")
                                 : QStringLiteral("之后");
        late.direction = QStringLiteral("迟到的接收");
        late.meaning = QStringLiteral("第 %1 条").arg(e.follows) + what +
                       (e.late_us >= 0 ? QStringLiteral("迟到 %1 ms").arg(ms)
                                       : QStringLiteral("到达，下一请求前才发现"));
        late.failed = true;
        return {late};
    }

    QList<TrafficLine> lines;
    if (e.request_length > 0) {
        TrafficLine sent = base;
        sent.direction = QStringLiteral("发送") + probe;
        sent.bytes = hexBytes(bytesOf(e.request, e.request_length));
        sent.meaning = requestMeaning(e, frameAt);
        lines << sent;
    }
    TrafficLine got = base;
    got.direction = QStringLiteral("接收") + probe;
    got.failed = e.outcome != TQ7310_OK;
    if (e.reply_length < 0) {
        got.bytes = QStringLiteral("?");
    } else if (e.reply_length == 0) {
        got.bytes = QStringLiteral("（无）");
    } else {
        got.bytes = hexBytes(reply);
    }
    if (e.outcome == TQ7310_OK) {
        got.meaning = valuesOf(e, frameAt);
    } else {
        got.meaning = outcomeText(e.outcome, e.exception_code, e.other_address, e.system_error, {},
                                  e.follows);
    }
    if (e.round_trip_us >= 0) {
        got.meaning += QStringLiteral("  往返 %1 ms").arg(e.round_trip_us / 1000.0, 0, 'f', 1);
    }
    lines << got;
    return lines;
}

QString lineText(const TrafficLine& line) {
    return QStringList{line.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
                       QStringLiteral("端口%1 #%2").arg(line.port).arg(line.sequence),
                       line.direction, line.bytes, line.meaning}
        .join(QLatin1Char('\t'));
}

QString detailText(const TrafficLine& line) {
    constexpr int kBytesALine = 16;
    QStringList lines{
        QStringLiteral("端口%1 #%2  %3  %4")
            .arg(line.port)
            .arg(line.sequence)
            .arg(line.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")), line.direction)};
    static const QRegularExpression hex(QStringLiteral("^[0-9A-F]{2}( [0-9A-F]{2})*$"));
    if (hex.match(line.bytes).hasMatch()) {
        const QStringList bytes = line.bytes.split(QLatin1Char(' '));
        lines << QStringLiteral("字节（%1）：").arg(bytes.size());
        for (qsizetype first = 0; first < bytes.size(); first += kBytesALine) {
            lines << bytes.mid(first, kBytesALine).join(QLatin1Char(' '));
        }
    } else {
        lines << QStringLiteral("字节：") + line.bytes;  // none came, or "?"
    }
    lines << QStringLiteral("含义：") + line.meaning;
    return lines.join(QLatin1Char('\n'));
}

}  // namespace traffic
