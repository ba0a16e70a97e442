#ifndef TQ7310_DRIVER_PORTS_H
#define TQ7310_DRIVER_PORTS_H

#include <cstdint>

#include "Frame.h"
#include "Port.h"

namespace modbusrtu {

// The port a number names, or nullptr for a number outside 1..255.
Port* portFor(std::int64_t number);

// The port a number names, when `argumentsFine`; nullptr when there is no
// such port or, with the refusal recorded, when the arguments may not go out.
Port* acceptedPort(std::int64_t number, bool argumentsFine);

// The checks every export makes before anything is sent. Arguments are
// taken wide so that no int32 can wrap around into range.
bool isSlaveAddress(std::int64_t address);
// Points first..first+span-1 all exist (1..65536).
bool isPointRange(std::int64_t first, std::int64_t span);

// Point n goes out as protocol address n - 1.
std::uint16_t protocolAddress(std::int64_t point);
// A request for points numbered from 1, which go out as protocol address
// point - 1.
Request request(std::int32_t address, std::uint8_t function, std::int64_t point,
                std::int64_t quantity);

}  // namespace modbusrtu

#endif
