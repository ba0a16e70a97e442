#include "OutcomeText.h"

#include <iterator>

#include "ModbusRTU.h"
#include "SystemErrorText.h"

QString exceptionText(int code) {
    static const char* const names[] = {nullptr,      "非法功能",     "非法数据地址",
                                        "非法数据值", "从站设备故障", "确认",
                                        "从站设备忙", nullptr,        "存储奇偶错误",
                                        nullptr,      "网关：无通路", "网关：目标设备无应答"};
    const QString number = QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    if (code > 0 && code < int(std::size(names)) && names[code] != nullptr) {
        return number + QLatin1Char(' ') + QString::fromUtf8(names[code]);
    }
    return number;
}

QString hexBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString briefOutcomeText(int outcome, int exceptionCode, int otherAddress, quint32 maybeAnswers) {
    const QString whole = outcomeText(outcome, exceptionCode, otherAddress, 0, {}, maybeAnswers);
    // An exception's name is brief already, a gateway's colon and all.
    return outcome == TQ7310_EXCEPTION ? whole : whole.section(QChar(u'：'), 0, 0);
}

QString outcomeText(int outcome, int exceptionCode, int otherAddress, int systemError,
                    const QByteArray& reply, quint32 maybeAnswers) {
    switch (outcome) {
        case TQ7310_OK:
            return QStringLiteral("模块应答正常");
        case TQ7310_TIMEOUT:
            return QStringLiteral("超时：无应答");
        case TQ7310_AMBIGUOUS:
            // Without an earlier request: a write answered by a frame equal
            // to it, before the port knew whether its adapter echoes, or
            // with nothing behind its learned echo.
            return maybeAnswers == 0
                       ? QStringLiteral(
                             "收到的帧与所发请求相同：是转换器的回显还是写入成功，无法分辨")
                       : QStringLiteral("可能是第 %1 条迟到的应答，无法分辨").arg(maybeAnswers);
        case TQ7310_EXCEPTION:
            return QStringLiteral("异常应答 ") + exceptionText(exceptionCode);
        case TQ7310_BAD_FRAME:
            return reply.isEmpty() ? QStringLiteral("坏帧：校验或格式不符")
                                   : QStringLiteral("坏帧：") + hexBytes(reply);
        case TQ7310_WRONG_SLAVE:
            // No slave answers from the broadcast address.
            return otherAddress == 0
                       ? QStringLiteral("收到地址 0 的有效帧（广播地址，不是从站的应答）")
                       : QStringLiteral("地址 %1 的设备应答（有效帧，不是所问的地址）")
                             .arg(otherAddress);
        case TQ7310_ECHO:
            return QStringLiteral("回显：收到的是本机刚发出的请求（转换器回送发送的字节？）");
        case TQ7310_IO_ERROR:
            // A connection that dropped says so itself.
            return isConnectionLost(systemError)
                       ? systemErrorText(systemError)
                       : QStringLiteral("设备断开：") + systemErrorText(systemError);
        case TQ7310_BAD_ARGUMENT:
            return QStringLiteral("参数无效，未发送");
        case TQ7310_NOT_OPEN:
        case TQ7310_OPEN_FAILED:
            return QStringLiteral("未通讯");
        default:
            return QStringLiteral("尚无通讯");
    }
}
