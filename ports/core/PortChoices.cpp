#include "PortChoices.h"

#include <QSettings>
#include <QtGlobal>

#include "SerialLine.h"

namespace ports {

namespace {

using module_line::kRtuTcpPrefix;
using module_line::kTcpPrefix;

QByteArray variableName(int port) {
    return QByteArray::fromStdString(module_line::portVariable(port));
}

bool startsNetworked(const QString& text) {
    return text.startsWith(QLatin1String(kTcpPrefix.data(), kTcpPrefix.size())) ||
           text.startsWith(QLatin1String(kRtuTcpPrefix.data(), kRtuTcpPrefix.size()));
}

bool isPortNumber(int port) {
    return port >= module_line::kFirstPort && port <= module_line::kLastPort;
}

// What this program put into its variables, so that only those are ever
// changed or unset again: a variable set from outside stays as it is.
std::map<int, QByteArray>& putByPanel() {
    static std::map<int, QByteArray> put;
    return put;
}

const QString kGroup = QStringLiteral("ports");

}  // namespace

std::variant<QString, ChoiceFault> choiceText(const ChoiceFields& f) {
    if (f.kind == ChoiceKind::Automatic) {
        return QString();
    }
    if (f.kind == ChoiceKind::Serial) {
        const QString device = f.device.trimmed();
        if (device.isEmpty()) {
            return ChoiceFault::NoDevice;
        }
        // The driver would take it for a network target.
        if (startsNetworked(device)) {
            return ChoiceFault::DeviceLooksNetworked;
        }
        return device;
    }
    QString host = f.host.trimmed();
    const QString port = f.tcpPort.trimmed();
    if (host.isEmpty()) {
        return ChoiceFault::NoHost;
    }
    if (port.isEmpty() && f.kind == ChoiceKind::RtuOverTcp) {
        return ChoiceFault::NoTcpPort;
    }
    bool number = false;
    const int tcpPort = port.isEmpty() ? module_line::kModbusTcpPort : port.toInt(&number);
    if (!port.isEmpty() && (!number || tcpPort < 1 || tcpPort > 65535)) {
        return ChoiceFault::BadTcpPort;
    }
    // An IPv6 address may be typed bare; its value wants brackets.
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('['))) {
        host = QLatin1Char('[') + host + QLatin1Char(']');
    }
    const auto prefix = f.kind == ChoiceKind::ModbusTcp ? kTcpPrefix : kRtuTcpPrefix;
    const QString text =
        QLatin1String(prefix.data(), prefix.size()) + host + QStringLiteral(":%1").arg(tcpPort);
    const auto target = module_line::parsePortTarget(text.toStdString());
    if (!target) {
        return ChoiceFault::BadHost;
    }
    return QString::fromStdString(target->text());
}

ChoiceFields fieldsOf(const QString& text) {
    ChoiceFields f;
    if (text.isEmpty()) {
        return f;
    }
    const auto target = module_line::parsePortTarget(text.toStdString());
    if (!target || !target->networked()) {
        f.kind = ChoiceKind::Serial;
        f.device = text;
        return f;
    }
    f.kind = target->kind == module_line::TargetKind::ModbusTcp ? ChoiceKind::ModbusTcp
                                                                : ChoiceKind::RtuOverTcp;
    f.host = QString::fromStdString(target->device);
    f.tcpPort = QString::number(target->tcpPort);
    return f;
}

bool validPortText(int port, const QString& text) {
    return isPortNumber(port) && std::holds_alternative<QString>(choiceText(fieldsOf(text))) &&
           !text.isEmpty();
}

PortTexts environmentPortVariables() {
    PortTexts set;
    for (int port = module_line::kFirstPort; port <= module_line::kLastPort; ++port) {
        const QByteArray name = variableName(port);
        const auto put = putByPanel().find(port);
        if (qEnvironmentVariableIsSet(name.constData()) &&
            (put == putByPanel().end() || put->second != qgetenv(name.constData()))) {
            set[port] = qEnvironmentVariable(name.constData());
        }
    }
    return set;
}

PortChoices::PortChoices(PortTexts environment) : environment_(std::move(environment)) {}

QString PortChoices::target(int port) const {
    if (const auto set = environment_.find(port); set != environment_.end()) {
        return set->second;
    }
    const auto chosen = chosen_.find(port);
    return chosen == chosen_.end() ? QString() : chosen->second;
}

std::optional<module_line::PortTarget> PortChoices::parsedTarget(int port) const {
    const QString text = target(port);
    return text.isEmpty() ? std::nullopt : module_line::parsePortTarget(text.toStdString());
}

void PortChoices::setChosen(const PortTexts& chosen) {
    chosen_.clear();
    for (const auto& [port, text] : chosen) {
        if (validPortText(port, text)) {
            chosen_[port] = text;
        }
    }
}

std::vector<int> PortChoices::shownPorts() const {
    std::vector<int> shown;
    for (int port = module_line::kFirstPort; port <= module_line::kLastPort; ++port) {
        if (port <= module_line::kListedPorts || !target(port).isEmpty()) {
            shown.push_back(port);
        }
    }
    return shown;
}

void PortChoices::applyToEnvironment() const {
    for (int port = module_line::kFirstPort; port <= module_line::kLastPort; ++port) {
        if (setByEnvironment(port)) {
            continue;
        }
        const QByteArray name = variableName(port);
        if (const auto chosen = chosen_.find(port); chosen != chosen_.end()) {
            putByPanel()[port] = chosen->second.toLocal8Bit();
            qputenv(name.constData(), putByPanel()[port]);
        } else if (putByPanel().erase(port) > 0) {
            qunsetenv(name.constData());
        }
    }
}

void PortChoices::load(QSettings& settings) {
    settings.beginGroup(kGroup);
    PortTexts saved;
    for (const QString& key : settings.childKeys()) {
        saved[key.toInt()] = settings.value(key).toString();
    }
    settings.endGroup();
    setChosen(saved);
}

void PortChoices::save(QSettings& settings) const {
    settings.remove(kGroup);
    settings.beginGroup(kGroup);
    for (const auto& [port, text] : chosen_) {
        settings.setValue(QString::number(port), text);
    }
    settings.endGroup();
}

}  // namespace ports
