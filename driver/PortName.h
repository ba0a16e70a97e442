#ifndef TQ7310_DRIVER_PORTNAME_H
#define TQ7310_DRIVER_PORTNAME_H

#include <optional>
#include <string>

#include "PortTarget.h"
#include "SerialLine.h"

namespace modbusrtu {

inline bool isPortNumber(long long port) {
    return port >= module_line::kFirstPort && port <= module_line::kLastPort;
}

// What a port number stands for, looked up afresh at every open so a
// changed TQ7310_COM<n> or a newly plugged adapter takes effect on reopen:
// the variable's value when it is set and not empty, on every platform,
// else the platform's serial device for that number. Nothing for a value
// that names a network target wrongly.
std::optional<module_line::PortTarget> targetFor(int port);

// As the status names it: the target's text, or the variable's value as it
// was written when that is not one.
std::string devicePathFor(int port);

}  // namespace modbusrtu

#endif
