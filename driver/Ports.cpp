#include "Ports.h"

#include <array>

#include "ModuleMap.h"
#include "PortName.h"

namespace modbusrtu {

namespace {

constexpr std::int64_t kLastPoint = 65536;

}  // namespace

std::uint16_t protocolAddress(std::int64_t point) {
    return static_cast<std::uint16_t>(point - 1);
}

Port* portFor(std::int64_t number) {
    static std::array<Port, module_line::kLastPort + 1> ports;
    return isPortNumber(number) ? &ports[static_cast<std::size_t>(number)] : nullptr;
}

Port* acceptedPort(std::int64_t number, bool argumentsFine) {
    Port* p = portFor(number);
    if (p != nullptr && !argumentsFine) {
        p->refuse();
        return nullptr;
    }
    return p;
}

bool isSlaveAddress(std::int64_t address) {
    return address >= module_line::kFirstAddress && address <= module_line::kLastAddress;
}

bool isPointRange(std::int64_t first, std::int64_t span) {
    return span >= 1 && first >= 1 && first + span - 1 <= kLastPoint;
}

Request request(std::int32_t address, std::uint8_t function, std::int64_t point,
                std::int64_t quantity) {
    return {static_cast<std::uint8_t>(address), function, protocolAddress(point),
            static_cast<std::uint16_t>(quantity)};
}

}  // namespace modbusrtu
