#pragma once
// The computer's serial devices as the system lists them, for the user to
// pick one by name rather than remember which ttyUSB it got this time.

#include <QString>
#include <vector>

namespace ports {

struct SerialDevice {
    QString name;         // "ttyUSB0", "COM3"
    QString location;     // "/dev/ttyUSB0", "\\.\COM3"
    QString description;  // the adapter's own words, where it gives any
    QString manufacturer;
    QString serialNumber;
    // On Linux the /dev/serial/by-id link that leads to it: stays the same
    // whichever socket the adapter is plugged into.
    QString byId;
};

std::vector<SerialDevice> serialDevices();

// The link in `folder` that resolves to `location`, or empty.
QString linkResolvingTo(const QString& folder, const QString& location);

}  // namespace ports
