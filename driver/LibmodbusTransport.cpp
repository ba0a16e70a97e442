#include "LibmodbusTransport.h"

#include <cerrno>

#include "SerialDevice.h"
#include "SystemError.h"

namespace modbusrtu {

LibmodbusTransport::~LibmodbusTransport() {
    modbus_close(ctx_);
    modbus_free(ctx_);
}

void LibmodbusTransport::setResponseTimeout(std::int64_t us) {
    modbusrtu::setResponseTimeout(ctx_, us);
}

void LibmodbusTransport::restoreResponseTimeout() {
    modbusrtu::setResponseTimeout(ctx_, timeouts_.responseUs);
}

int LibmodbusTransport::listenUntil(Clock::time_point until, const StrayBytes& onBytes) {
    return modbusrtu::listenUntil(ctx_, until, timeouts_, onBytes);
}

int LibmodbusTransport::takeWaiting(const StrayBytes& onBytes) {
    const int taken = modbusrtu::takeWaiting(ctx_, timeouts_.byteUs, onBytes);
    if (taken > 0) {
        restoreResponseTimeout();
    }
    return taken;
}

int LibmodbusTransport::flush() {
    errno = 0;
    return modbus_flush(ctx_) != 0 ? lastSystemError() : 0;
}

int LibmodbusTransport::address(std::uint8_t slave) {
    errno = 0;
    if (modbus_set_slave(ctx_, slave) != 0) {
        return errno != 0 ? errno : EINVAL;
    }
    return 0;
}

bool LibmodbusTransport::send(const Request& request, Exchange& out) {
    return sendRequest(ctx_, request, out);
}

Received LibmodbusTransport::receiveReply(std::uint8_t* buffer) {
    return modbusrtu::receiveReply(ctx_, buffer);
}

Received LibmodbusTransport::receiveEcho(std::uint8_t* buffer, std::int64_t timeoutUs) {
    return modbusrtu::receiveEcho(ctx_, buffer, timeoutUs);
}

}  // namespace modbusrtu
