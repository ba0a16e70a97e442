#ifndef TQ7310_DRIVER_LINESETTINGS_H
#define TQ7310_DRIVER_LINESETTINGS_H

#include <chrono>
#include <cstdint>
#include <optional>

#include "PortTarget.h"

namespace modbusrtu {

using Clock = std::chrono::steady_clock;

struct LineSettings {
    int baud = 0;
    char parity = 'N';
};

// Baud code 1..3 and parity code 0..2 as the panel passes them; nothing for
// any other code, so a typo never opens the line at some default.
std::optional<LineSettings> lineSettingsFromCodes(std::int64_t baudCode, std::int64_t parityCode);

struct Timeouts {
    std::int64_t responseUs = 0;  // from the end of our write to the first reply byte
    std::int64_t byteUs = 0;      // between two bytes of one reply
    std::int64_t settleUs = 0;    // quiet time owed to the line after a time-out
};

Timeouts timeoutsFor(int baud);

// Timeouts for a network target: Modbus TCP waits for a gateway and the
// serial line behind it; RTU over TCP waits for the far line at `baud` and
// the network on top.
Timeouts networkTimeouts(module_line::TargetKind kind, int baud);

}  // namespace modbusrtu

#endif
