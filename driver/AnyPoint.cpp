/*
 * The exports that reach any points by function code. They go the way every
 * other operation goes (ModbusRTU.cpp tells how): arguments checked first,
 * a refusal recorded as BAD_ARGUMENT with nothing sent, then one
 * Port::transact, whose log, ledger of unanswered requests and echo
 * handling see these requests like any other; the caller's buffer is
 * written only when the reply checked out.
 */
#include <cstdint>

#include "ModbusRTU.h"
#include "Ports.h"

namespace {

using modbusrtu::Exchange;
using modbusrtu::Port;
using modbusrtu::protocolAddress;
using modbusrtu::Request;

// The most points one request of each kind carries, as its PDU bounds it.
constexpr int32_t kMaxReadBits = 2000;
constexpr int32_t kMaxReadRegisters = 125;
constexpr int32_t kMaxWriteCoils = 1968;
constexpr int32_t kMaxWriteRegisters = 123;

// The port, when the arguments may go out; nullptr when there is no such
// port or, with the refusal recorded, when they may not.
Port* accepted(int32_t port, int32_t address, int32_t first, int32_t count, int32_t maxCount,
               bool otherwiseFine) {
    Port* p = modbusrtu::portFor(port);
    if (p != nullptr && !(otherwiseFine && modbusrtu::isSlaveAddress(address) &&
                          count <= maxCount && modbusrtu::isPointRange(first, count))) {
        p->refuse();
        return nullptr;
    }
    return p;
}

}  // namespace

extern "C" {

int32_t TQ7310_ReadBits(int32_t port, int32_t address, int32_t function, int32_t first,
                        int32_t count, uint8_t* bits) {
    const bool fine = (function == 0x01 || function == 0x02) && bits != nullptr;
    Port* p = accepted(port, address, first, count, kMaxReadBits, fine);
    Exchange ex;
    const auto code = static_cast<std::uint8_t>(function);
    if (p == nullptr || !p->transact(modbusrtu::request(address, code, first, count), ex)) {
        return MODBUSRTU_FAILED;
    }
    modbusrtu::unpackBits(ex.reply.data(), count, bits);
    return 0;
}

int32_t TQ7310_ReadRegisters(int32_t port, int32_t address, int32_t function, int32_t first,
                             int32_t count, uint16_t* values) {
    const bool fine = (function == 0x03 || function == 0x04) && values != nullptr;
    Port* p = accepted(port, address, first, count, kMaxReadRegisters, fine);
    Exchange ex;
    const auto code = static_cast<std::uint8_t>(function);
    if (p == nullptr || !p->transact(modbusrtu::request(address, code, first, count), ex)) {
        return MODBUSRTU_FAILED;
    }
    modbusrtu::unpackRegisters(ex.reply.data(), count, values);
    return 0;
}

int32_t TQ7310_WriteCoils(int32_t port, int32_t address, int32_t first, int32_t count,
                          const uint8_t* bits) {
    Port* p = accepted(port, address, first, count, kMaxWriteCoils, bits != nullptr);
    if (p == nullptr) {
        return MODBUSRTU_FAILED;
    }
    Exchange ex;
    const auto slave = static_cast<std::uint8_t>(address);
    const Request request = modbusrtu::coilWrite(slave, protocolAddress(first), bits, count);
    return p->transact(request, ex) ? 0 : MODBUSRTU_FAILED;
}

int32_t TQ7310_WriteRegisters(int32_t port, int32_t address, int32_t first, int32_t count,
                              const uint16_t* values) {
    Port* p = accepted(port, address, first, count, kMaxWriteRegisters, values != nullptr);
    if (p == nullptr) {
        return MODBUSRTU_FAILED;
    }
    Exchange ex;
    const auto slave = static_cast<std::uint8_t>(address);
    const Request request = modbusrtu::registerWrite(slave, protocolAddress(first), values, count);
    return p->transact(request, ex) ? 0 : MODBUSRTU_FAILED;
}

}  // extern "C"
