#include "ErrorKind.h"

#include <modbus/modbus.h>

#include <cerrno>

namespace modbusrtu {

ErrorKind classifyModbusError(int error) {
    ErrorKind kind;
    if (error == ETIMEDOUT) {
        // Also a reply cut short: libmodbus gives up on the byte time-out.
        kind.outcome = TQ7310_TIMEOUT;
        return kind;
    }
    if (error > MODBUS_ENOBASE && error < MODBUS_ENOBASE + MODBUS_EXCEPTION_MAX) {
        kind.outcome = TQ7310_EXCEPTION;
        kind.exceptionCode = error - MODBUS_ENOBASE;
        kind.gotReply = true;
        return kind;
    }
    switch (error) {
        case EMBBADCRC:
        case EMBBADDATA:
        case EMBBADEXC:
        case EMBUNKEXC:
            kind.outcome = TQ7310_BAD_FRAME;
            kind.gotReply = true;
            return kind;
        case EMBBADSLAVE:
            kind.outcome = TQ7310_WRONG_SLAVE;
            kind.gotReply = true;
            return kind;
        case EMBMDATA:
        case EINVAL:
            // We check every argument first, so libmodbus refusing one means
            // a request we never meant to build; nothing went out.
            kind.outcome = TQ7310_BAD_ARGUMENT;
            return kind;
        default:
            kind.outcome = TQ7310_IO_ERROR;
            kind.systemError = error;
            return kind;
    }
}

}  // namespace modbusrtu
