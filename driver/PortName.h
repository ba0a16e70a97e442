#ifndef TQ7310_DRIVER_PORTNAME_H
#define TQ7310_DRIVER_PORTNAME_H

#include <string>

#include "SerialLine.h"

namespace modbusrtu {

inline bool isPortNumber(long long port) {
    return port >= module_line::kFirstPort && port <= module_line::kLastPort;
}

// The device a port number stands for, looked up afresh at every open so a
// changed TQ7310_COM<n> or a newly plugged adapter takes effect on reopen.
std::string devicePathFor(int port);

}  // namespace modbusrtu

#endif
