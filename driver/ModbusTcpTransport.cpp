#include "ModbusTcpTransport.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include "ErrorKind.h"
#include "Exchange.h"
#include "SystemError.h"

namespace modbusrtu {

ModbusTcpTransport::~ModbusTcpTransport() {
    modbus_close(ctx_);
    modbus_free(ctx_);
}

void ModbusTcpTransport::setResponseTimeout(std::int64_t us) {
    modbusrtu::setResponseTimeout(ctx_, us);
}

void ModbusTcpTransport::restoreResponseTimeout() {
    modbusrtu::setResponseTimeout(ctx_, timeouts_.responseUs);
}

int ModbusTcpTransport::takeWaiting(const StrayBytes& onBytes) {
    int waiting = socket_.pending();
    if (waiting <= 0) {
        return waiting;
    }
    // Whole frames wait in the socket: no more than a byte's gap is needed.
    setResponseTimeout(timeouts_.byteUs);
    int length = 0;
    while (waiting > 0) {
        std::array<std::uint8_t, kMaxWireBytes> frame{};
        const Received got = receiveReply(frame.data());
        length += got.length;
        if (got.length > 0) {
            onBytes(frame.data(), got.length);
        }
        if (!got.framed) {
            break;
        }
        waiting = socket_.pending();
    }
    restoreResponseTimeout();
    return length;
}

int ModbusTcpTransport::flush() {
    errno = 0;
    return modbus_flush(ctx_) < 0 ? lastSystemError() : 0;
}

int ModbusTcpTransport::address(std::uint8_t slave) {
    unit_ = slave;
    return 0;
}

bool ModbusTcpTransport::send(const Request& request, Exchange& out) {
    const auto rtu = request.frame();
    // The PDU is the RTU frame between the address and the CRC.
    const int pdu = request.length() - 1;
    const std::uint16_t id = nextId_++;
    std::array<std::uint8_t, kMaxWireBytes> adu{};
    adu[0] = static_cast<std::uint8_t>(id >> 8);
    adu[1] = static_cast<std::uint8_t>(id & 0xFF);
    // The length counts the unit id and the PDU: 254 at most, so its high
    // byte stays 0.
    adu[5] = static_cast<std::uint8_t>(pdu + 1);
    adu[kMbapUnitAt] = unit_;
    std::copy_n(rtu.begin() + 1, pdu, adu.begin() + kMbapBytes);
    const int length = kMbapBytes + pdu;
    if (const int error = socket_.sendAll(adu.data(), length); error != 0) {
        const ErrorKind kind = classifyModbusError(error);
        out.verdict = {kind.outcome, 0, 0};
        out.systemError = kind.systemError;
        return false;
    }
    out.sent = adu;
    out.sentLength = length;
    out.transactionId = id;
    out.frameOffset = kMbapUnitAt;
    return true;
}

Received ModbusTcpTransport::receiveReply(std::uint8_t* buffer) {
    markUnread(buffer, kMaxWireBytes);
    errno = 0;
    const int rc = modbus_receive_confirmation(ctx_, buffer);
    Received got;
    got.error = rc < 0 ? lastSystemError() : 0;
    got.framed = rc > 0;
    got.length = rc > 0 ? rc : writtenLength(buffer, kMaxWireBytes);
    got.transactionId = mbapTransactionId(buffer, got.length);
    return got;
}

}  // namespace modbusrtu
