#include "LinkStatusText.h"

#include <cstring>

#include "PortTarget.h"
#include "SerialLine.h"

namespace {

QString lineSettings(int baud, char parity) {
    return QStringLiteral("%1,%2,8,1").arg(baud).arg(QLatin1Char(parity ? parity : '?'));
}

QString lineSettings(const Tq7310LinkStatus& s) {
    return lineSettings(s.baud, s.parity);
}

QString countersText(int transactions, int failures) {
    return QStringLiteral("通讯 %1 次  失败 %2 次").arg(transactions).arg(failures);
}

// The words for a library without the status export: the settings "打开"
// used, as LinkParam holds them, and what the panel counted; nothing of the
// module, since only the library sees the replies.
LinkStatusText describeOwnAccount(const LinkParamTable& linkParam, bool opened,
                                  const OwnAccount& own) {
    using namespace link_param;
    LinkStatusText text;
    if (!opened) {
        text.link = QStringLiteral("端口未打开");
    } else if (linkParam[kOpenResult] != 0) {
        text.link = QStringLiteral("端口%1 打开失败").arg(linkParam[kPort]);
        text.linkFailed = true;
    } else {
        text.link =
            QStringLiteral("端口%1 %2 地址%3")
                .arg(linkParam[kPort])
                .arg(lineSettings(module_line::baudOfCode(linkParam[kBaudCode]).value_or(0),
                                  module_line::parityOfCode(linkParam[kParityCode]).value_or(0)))
                .arg(linkParam[kAddress]);
    }
    text.counters = countersText(own.transactions, own.failures);
    return text;
}

QString deviceOf(const Tq7310LinkStatus& s) {
    return QString::fromLocal8Bit(s.device, static_cast<int>(strnlen(s.device, sizeof s.device)));
}

// Where the port leads as the link's words name it: the device's path, or
// a network target's kind and HOST:PORT ("tcp 192.168.1.20:502"). Only the
// path, or HOST:PORT, may be cut.
struct Where {
    QString words;
    QString cut;
    bool modbusTcp = false;
};

Where whereOf(const Tq7310LinkStatus& s) {
    const auto target = module_line::parsePortTarget(
        std::string_view(s.device, strnlen(s.device, sizeof s.device)));
    if (!target || !target->networked()) {
        return {deviceOf(s), deviceOf(s)};
    }
    const bool tcp = target->kind == module_line::TargetKind::ModbusTcp;
    const std::string_view prefix = tcp ? module_line::kTcpPrefix : module_line::kRtuTcpPrefix;
    const QString endpoint = QString::fromStdString(target->endpoint());
    return {QString::fromLatin1(prefix.data(), qsizetype(prefix.size() - 1)) + QLatin1Char(' ') +
                endpoint,
            endpoint, tcp};
}

}  // namespace

LinkStatusText describeLink(const std::optional<Tq7310LinkStatus>& status,
                            const LinkParamTable& linkParam, bool opened, const OwnAccount& own,
                            const QByteArray& lastReply) {
    if (!status && own.libraryLoaded) {
        return describeOwnAccount(linkParam, opened, own);
    }
    LinkStatusText text;
    if (!status) {
        text.link =
            opened ? QStringLiteral("驱动库 ModbusRTU 未找到") : QStringLiteral("端口未打开");
        return text;
    }
    const Tq7310LinkStatus& s = *status;
    const int port = linkParam[link_param::kPort];
    if (!opened) {
        text.link = QStringLiteral("端口未打开");
    } else if (s.is_open) {
        const Where where = whereOf(s);
        text.device = where.cut;
        // Modbus TCP has no line settings, and its slave is a unit.
        text.link = where.modbusTcp ? QStringLiteral("端口%1 %2 单元%3")
                                          .arg(port)
                                          .arg(where.words)
                                          .arg(linkParam[link_param::kAddress])
                                    : QStringLiteral("端口%1 %2 %3 地址%4")
                                          .arg(port)
                                          .arg(where.words, lineSettings(s))
                                          .arg(linkParam[link_param::kAddress]);
    } else if (s.outcome == TQ7310_OPEN_FAILED) {
        const Where where = whereOf(s);
        text.device = where.cut;
        text.link = QStringLiteral("端口%1 %2 打开失败：%3")
                        .arg(port)
                        .arg(where.words, systemErrorText(s.system_error));
        text.linkFailed = true;
    } else {
        text.link = QStringLiteral("端口%1 打开失败：端口号或通讯参数无效").arg(port);
        text.linkFailed = true;
    }
    // Only a reply makes a healthy module; a port that merely opened, or a
    // link that is closed, says nothing about it.
    if (!opened) {
        text.module.clear();
    } else if (s.transactions == 0 && (s.outcome == TQ7310_OK || s.outcome == TQ7310_NONE)) {
        text.module = QStringLiteral("尚无通讯");
    } else {
        text.module = outcomeText(s.outcome, s.exception_code, s.other_address, s.system_error,
                                  lastReply, s.maybe_answers);
        text.healthy = s.outcome == TQ7310_OK;
        text.linkFailed = text.linkFailed || (!text.healthy && s.outcome != TQ7310_EXCEPTION);
    }
    QString roundTrip = QStringLiteral("-");
    if (s.round_trip_us >= 0) {
        roundTrip = QString::number(s.round_trip_us / 1000.0, 'f', 1);
    }
    text.counters =
        countersText(s.transactions, s.failures) + QStringLiteral("  往返 %1 ms").arg(roundTrip);
    return text;
}
