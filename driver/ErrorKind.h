#ifndef TQ7310_DRIVER_ERRORKIND_H
#define TQ7310_DRIVER_ERRORKIND_H

#include "ModbusRTU.h"

namespace modbusrtu {

// What one failed libmodbus call meant. libmodbus folds system errors,
// Modbus exceptions and its own protocol errors into errno; the status
// export keeps them apart.
struct ErrorKind {
    Tq7310Outcome outcome = TQ7310_NONE;
    int systemError = 0;    // for TQ7310_IO_ERROR
    int exceptionCode = 0;  // for TQ7310_EXCEPTION
    bool gotReply = false;  // a frame came back, so the round trip means something
};

ErrorKind classifyModbusError(int error);

}  // namespace modbusrtu

#endif
