#include "PortName.h"

#include <cstdlib>
#include <string>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace modbusrtu {

namespace {

const char* configured(int port) {
    const char* value = std::getenv(module_line::portVariable(port).c_str());
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

std::string serialDeviceFor(int port) {
#if defined(_WIN32)
    // The \\.\ prefix is what lets COM10 and above open at all.
    return "\\\\.\\COM" + std::to_string(port);
#else
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

}  // namespace

std::optional<module_line::PortTarget> targetFor(int port) {
    if (const char* value = configured(port)) {
        return module_line::parsePortTarget(value);
    }
    module_line::PortTarget target;
    target.device = serialDeviceFor(port);
    return target;
}

std::string devicePathFor(int port) {
    if (const auto target = targetFor(port)) {
        return target->text();
    }
    return configured(port);
}

}  // namespace modbusrtu
