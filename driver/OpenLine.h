#ifndef TQ7310_DRIVER_OPENLINE_H
#define TQ7310_DRIVER_OPENLINE_H

#include "LineSettings.h"
#include "PortTarget.h"
#include "Transport.h"

namespace modbusrtu {

// The line a target names, opened or connected with our time-outs; the
// settings are the serial line's, or for RTU over TCP the far line's.
// Nothing is sent.
OpenedTransport openLine(const module_line::PortTarget& target, const LineSettings& settings,
                         const Timeouts& timeouts);

}  // namespace modbusrtu

#endif
