#include "PortName.h"

#include <cstdlib>
#include <string>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace modbusrtu {

std::string devicePathFor(int port) {
#if defined(_WIN32)
    // The \\.\ prefix is what lets COM10 and above open at all.
    return "\\\\.\\COM" + std::to_string(port);
#else
    const std::string variable = "TQ7310_COM" + std::to_string(port);
    if (const char* configured = std::getenv(variable.c_str());
        configured != nullptr && configured[0] != '\0') {
        return configured;
    }
    // Field laptops reach the bus through USB adapters; a built-in UART is
    // the fallback so COM1 still means something on a desktop.
    const std::string usb = "/dev/ttyUSB" + std::to_string(port - 1);
    struct stat info {};
    if (::stat(usb.c_str(), &info) == 0) {
        return usb;
    }
    return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

}  // namespace modbusrtu
