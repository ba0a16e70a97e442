#include "PortChoiceText.h"

namespace ports {

QString choiceFaultText(ChoiceFault fault) {
    static const struct {
        ChoiceFault fault;
        const char* words;
    } kWords[] = {
        {ChoiceFault::NoDevice, "请选择或输入串口设备"},
        {ChoiceFault::DeviceLooksNetworked,
         "串口设备不能以 tcp: 或 rtu-tcp: 开头（网络目标请选 Modbus TCP 或 RTU over TCP）"},
        {ChoiceFault::NoHost, "请输入主机名或 IP 地址"},
        {ChoiceFault::BadHost, "主机名或 IP 地址无效（不能含空格、“/”或“[]”）"},
        {ChoiceFault::BadTcpPort, "TCP 端口应为 1 至 65535 的整数"},
        {ChoiceFault::NoTcpPort, "RTU over TCP 须输入串口服务器的 TCP 端口"},
    };
    for (const auto& w : kWords) {
        if (w.fault == fault) {
            return QString::fromUtf8(w.words);
        }
    }
    return QStringLiteral("输入无效");
}

QString environmentSourceText(int port) {
    return QStringLiteral("由环境变量 %1 设定，程序运行中不可更改")
        .arg(QString::fromStdString(module_line::portVariable(port)));
}

QString automaticText(int port) {
#ifdef Q_OS_WIN
    return QStringLiteral("自动：\\\\.\\COM%1").arg(port);
#else
    return QStringLiteral("自动：/dev/ttyUSB%1 或 /dev/ttyS%1").arg(port - 1);
#endif
}

QString sourceText(bool byEnvironment, bool chosen) {
    return byEnvironment ? QStringLiteral("环境变量")
           : chosen      ? QStringLiteral("已设置")
                         : QStringLiteral("驱动默认");
}

QString lineSettingsNote(module_line::TargetKind kind) {
    switch (kind) {
        case module_line::TargetKind::ModbusTcp:
            return QStringLiteral("Modbus TCP 不用波特率和校验方式");
        case module_line::TargetKind::RtuOverTcp:
            return QStringLiteral("RTU over TCP：波特率和校验方式是串口服务器远端串口线的设置");
        case module_line::TargetKind::Serial:
            break;
    }
    return {};
}

QString portListTip(const QString& shortcut) {
    return QStringLiteral("端口号；右键菜单“端口设置…”或 %1：把端口号指向串口设备或网络")
        .arg(shortcut);
}

}  // namespace ports
