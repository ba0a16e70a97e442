#ifndef TQ7310_DRIVER_SERIALDEVICE_H
#define TQ7310_DRIVER_SERIALDEVICE_H

#include <modbus/modbus.h>

#include <chrono>
#include <string>

#include "Exchange.h"
#include "LineSettings.h"
#include "Transport.h"

namespace modbusrtu {

// Opens the device as an RTU line with our time-outs. Nothing is sent.
OpenedTransport openSerial(const std::string& device, const LineSettings& settings,
                           const Timeouts& timeouts);

// Hands each frame that arrives until `until` to `onBytes`, and one past it
// while a frame is still coming in (gaps shorter than the byte time-out),
// then puts the response time-out back. Returns 0, or the errno of a device
// that went away.
int listenUntil(modbus_t* ctx, Clock::time_point until, const Timeouts& timeouts,
                const StrayBytes& onBytes);

// True for the slave side of a Unix98 pseudo-terminal.
bool isPseudoTerminal(const std::string& device);

// Errors after which the file descriptor is worth nothing and the device
// has to be opened again.
bool isDeviceGone(int error);

}  // namespace modbusrtu

#endif
