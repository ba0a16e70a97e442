#include "SerialDevices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace ports {

QString linkResolvingTo(const QString& folder, const QString& location) {
    const QString wanted = QFileInfo(location).canonicalFilePath();
    if (wanted.isEmpty()) {
        return {};
    }
    const QDir dir(folder);
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.isSymLink() && link.canonicalFilePath() == wanted) {
            return link.absoluteFilePath();
        }
    }
    return {};
}

std::vector<SerialDevice> serialDevices() {
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice d{info.portName(),     info.systemLocation(), info.description(),
                       info.manufacturer(), info.serialNumber(),   {}};
#ifdef Q_OS_LINUX
        d.byId = linkResolvingTo(QStringLiteral("/dev/serial/by-id"), d.location);
#endif
        devices.push_back(d);
    }
    return devices;
}

}  // namespace ports
