#include "FoundText.h"

#include <QStringList>

#include "ModuleMap.h"
#include "OutcomeText.h"
#include "Verdict.h"

namespace finder {

namespace {

QString bits(std::int32_t value, int count) {
    return QStringLiteral("%1").arg(value & ((1 << count) - 1), count, 2, QLatin1Char('0'));
}

QString registers(const std::int32_t* values, int count) {
    QStringList list;
    for (int i = 0; i < count; ++i) {
        list << QString::number(values[i]);
    }
    return list.join(QLatin1Char(' '));
}

QString span(int first, int count) {
    return QStringLiteral("%1-%2").arg(first).arg(first + count - 1);
}

// The kind of answer, without the adapter it came through.
QString kindText(const Found& found) {
    switch (found.kind) {
        case Answer::Module:
            return QStringLiteral("TQ7310 模块");
        case Answer::MaybeModule:
            return QStringLiteral("可能是 TQ7310 模块");
        case Answer::OtherDevice:
        case Answer::OtherAddress:
            return QStringLiteral("其他 Modbus 设备");
        case Answer::Garbled:
            return QStringLiteral("有字节但无有效帧 (接线对，波特率或校验不对？)");
        case Answer::Echo:
            return QStringLiteral("回显");
        case Answer::Spoilt:
            return QStringLiteral("该地址似有多台设备同时应答");
        case Answer::AddressBlind:
            return QStringLiteral("每个地址都应答：不看地址的设备或网关");
        case Answer::NoDevice:
            return QStringLiteral("无设备");
        default:
            return {};
    }
}

}  // namespace

QString answerText(const Found& found) {
    if (found.answer.points.echoed != 0 && found.kind != Answer::Echo) {
        return kindText(found) + QStringLiteral("（经回显适配器）");
    }
    return kindText(found);
}

QString whyText(const Found& found) {
    if (found.kind == Answer::AddressBlind) {
        return QStringLiteral("地址 %1–%2 读回的点都相同")
            .arg(found.address)
            .arg(found.lastAddress);
    }
    if (found.lastAddress > found.address && found.kind == Answer::NoDevice) {
        return QStringLiteral("单元 %1–%2 均应答 异常 %3：网关后这些单元没有设备")
            .arg(found.address)
            .arg(found.lastAddress)
            .arg(exceptionText(found.answer.exceptionCode));
    }
    if (found.lastAddress > found.address) {
        return QStringLiteral("地址 %1–%2 均应答 异常 %3，可能是网关")
            .arg(found.address)
            .arg(found.lastAddress)
            .arg(exceptionHex(found.answer.exceptionCode));
    }
    return found.answer.why;
}

QString pointsText(const Found& found) {
    if (found.answer.points.outcome != TQ7310_OK || found.answer.points.fits == 0) {
        return {};
    }
    using namespace module_map;
    const Tq7310Probe& p = found.answer.points;
    return QStringLiteral("DI%1..%2 %3  线圈%4..%5 %6  输入寄存器%7: %8  保持寄存器%9: %10")
        .arg(kFirstInput + kInputsRead - 1)
        .arg(kFirstInput)
        .arg(bits(p.inputs, kInputsRead))
        .arg(kFirstCoil + kCoilsRead - 1)
        .arg(kFirstCoil)
        .arg(bits(p.coils, kCoilsRead))
        .arg(span(kCount32Register, 2 * kCount32Values),
             registers(p.input_registers, 2 * kCount32Values),
             span(kConfigRegister, kConfigRegistersRead),
             registers(p.holding_registers, kConfigRegistersRead));
}

QString planText(const PortPlan& plan) {
    using module_line::TargetKind;
    if (!plan.target) {
        return QStringLiteral(
                   "端口%1: %2 的值写得不对 (应为 tcp:主机[:端口]、rtu-tcp:主机:端口 "
                   "或设备路径)，跳过")
            .arg(plan.port)
            .arg(QString::fromStdString(module_line::portVariable(plan.port)));
    }
    const QString where = QString::fromStdString(plan.target->endpoint());
    switch (plan.target->kind) {
        case TargetKind::ModbusTcp:
            return QStringLiteral("端口%1：在 tcp %2 上查找单元 %3–%4")
                .arg(plan.port)
                .arg(where)
                .arg(plan.firstAddress)
                .arg(plan.lastAddress);
        case TargetKind::RtuOverTcp:
            return QStringLiteral("端口%1：在 rtu-tcp %2 上以串口服务器那一侧的 %3 查找地址 %4–%5")
                .arg(plan.port)
                .arg(where, plan.settings.front().text())
                .arg(plan.firstAddress)
                .arg(plan.lastAddress);
        case TargetKind::Serial:
            break;
    }
    return QStringLiteral("端口%1：在串口上以 %2 种波特率和校验查找地址 %3–%4")
        .arg(plan.port)
        .arg(plan.settings.size())
        .arg(plan.firstAddress)
        .arg(plan.lastAddress);
}

QStringList columnTitles() {
    return {QStringLiteral("端口"), QStringLiteral("设备"),    QStringLiteral("波特率"),
            QStringLiteral("校验"), QStringLiteral("地址"),    QStringLiteral("应答"),
            QStringLiteral("依据"), QStringLiteral("读回的点")};
}

QStringList rowCells(const Found& found) {
    const QString address = found.lastAddress > found.address
                                ? QStringLiteral("%1–%2").arg(found.address).arg(found.lastAddress)
                            : found.address != 0 ? QString::number(found.address)
                                                 : QStringLiteral("—");
    // A Modbus TCP server has no line setting to show.
    const bool noLine = found.over == module_line::TargetKind::ModbusTcp;
    return {QString::number(found.port),
            found.device,
            noLine ? QStringLiteral("—") : QString::number(found.setting.baud()),
            noLine ? QStringLiteral("—") : found.setting.parityName(),
            address,
            answerText(found),
            whyText(found),
            pointsText(found)};
}

QString recordText(const SearchRecord& record) {
    QStringList ports;
    for (const auto& [number, device] : record.ports) {
        ports << QStringLiteral("%1 (%2)").arg(number).arg(device);
    }
    QStringList settings;
    for (const LineSetting& setting : record.settings) {
        settings << setting.text();
    }
    QStringList lines{QStringLiteral("# 查找模块，开始于 ") + record.started.toString(Qt::ISODate),
                      QStringLiteral("# 端口：") + ports.join(QStringLiteral("、")),
                      QStringLiteral("# 波特率和校验：%1；地址 1–%2")
                          .arg(settings.join(QLatin1Char(' ')))
                          .arg(record.lastAddress),
                      QStringLiteral("# ") + record.state, columnTitles().join(QLatin1Char('\t'))};
    for (qsizetype i = 0; i < record.plans.size(); ++i) {
        lines.insert(2 + i, QStringLiteral("# ") + record.plans[i]);
    }
    for (const Found& found : record.rows) {
        lines << rowCells(found).join(QLatin1Char('\t'));
    }
    for (const QString& note : record.notes) {
        lines << QStringLiteral("# 备注：") + note;
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace finder
