/*
 * The exports that reach any points by function code. They go the way every
 * other operation goes (ModbusRTU.cpp tells how): arguments checked first,
 * a refusal recorded as BAD_ARGUMENT with nothing sent, then one
 * Port::transact, whose log, ledger of unanswered requests and echo
 * handling see these requests like any other; the caller's buffer is
 * written only when the reply checked out. Each export without "Within" is
 * its "Within" twin with the line's own wait (0), so both go one way.
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

// 0 for the line's own wait, or one within the bounds.
bool isResponseWait(int32_t responseUs) {
    return responseUs == 0 ||
           (responseUs >= TQ7310_RESPONSE_WAIT_MIN_US && responseUs <= TQ7310_RESPONSE_WAIT_MAX_US);
}

// The port, when the arguments may go out; nullptr when there is no such
// port or, with the refusal recorded, when they may not.
Port* accepted(int32_t port, int32_t address, int32_t first, int32_t count, int32_t maxCount,
               int32_t responseUs, bool otherwiseFine) {
    return modbusrtu::acceptedPort(
        port, otherwiseFine && modbusrtu::isSlaveAddress(address) && count <= maxCount &&
                  modbusrtu::isPointRange(first, count) && isResponseWait(responseUs));
}

// A read by one of two neighbouring function codes (coils and inputs, or
// holding and input registers), unpacked into `out` once the reply checked
// out.
template <typename Value>
int32_t readPoints(int32_t port, int32_t address, int32_t function, int32_t first, int32_t count,
                   Value* out, int32_t responseUs, int32_t firstFunction, int32_t maxCount,
                   void (*unpack)(const std::uint8_t*, int, Value*)) {
    const bool fine =
        (function == firstFunction || function == firstFunction + 1) && out != nullptr;
    Port* p = accepted(port, address, first, count, maxCount, responseUs, fine);
    Exchange ex;
    const auto code = static_cast<std::uint8_t>(function);
    if (p == nullptr ||
        !p->transact(modbusrtu::request(address, code, first, count), ex, responseUs)) {
        return MODBUSRTU_FAILED;
    }
    unpack(ex.frame(), count, out);
    return 0;
}

// A write of `count` points from `values`, framed by `frame`.
template <typename Value>
int32_t writePoints(int32_t port, int32_t address, int32_t first, int32_t count,
                    const Value* values, int32_t responseUs, int32_t maxCount,
                    Request (*frame)(std::uint8_t, std::uint16_t, const Value*, int)) {
    Port* p = accepted(port, address, first, count, maxCount, responseUs, values != nullptr);
    if (p == nullptr) {
        return MODBUSRTU_FAILED;
    }
    Exchange ex;
    const auto slave = static_cast<std::uint8_t>(address);
    const Request request = frame(slave, protocolAddress(first), values, count);
    return p->transact(request, ex, responseUs) ? 0 : MODBUSRTU_FAILED;
}

}  // namespace

extern "C" {

int32_t TQ7310_ReadBitsWithin(int32_t port, int32_t address, int32_t function, int32_t first,
                              int32_t count, uint8_t* bits, int32_t response_us) {
    return readPoints(port, address, function, first, count, bits, response_us, 0x01, kMaxReadBits,
                      modbusrtu::unpackBits);
}

int32_t TQ7310_ReadRegistersWithin(int32_t port, int32_t address, int32_t function, int32_t first,
                                   int32_t count, uint16_t* values, int32_t response_us) {
    return readPoints(port, address, function, first, count, values, response_us, 0x03,
                      kMaxReadRegisters, modbusrtu::unpackRegisters);
}

int32_t TQ7310_WriteCoilsWithin(int32_t port, int32_t address, int32_t first, int32_t count,
                                const uint8_t* bits, int32_t response_us) {
    return writePoints(port, address, first, count, bits, response_us, kMaxWriteCoils,
                       modbusrtu::coilWrite);
}

int32_t TQ7310_WriteRegistersWithin(int32_t port, int32_t address, int32_t first, int32_t count,
                                    const uint16_t* values, int32_t response_us) {
    return writePoints(port, address, first, count, values, response_us, kMaxWriteRegisters,
                       modbusrtu::registerWrite);
}

int32_t TQ7310_ReadBits(int32_t port, int32_t address, int32_t function, int32_t first,
                        int32_t count, uint8_t* bits) {
    return TQ7310_ReadBitsWithin(port, address, function, first, count, bits, 0);
}

int32_t TQ7310_ReadRegisters(int32_t port, int32_t address, int32_t function, int32_t first,
                             int32_t count, uint16_t* values) {
    return TQ7310_ReadRegistersWithin(port, address, function, first, count, values, 0);
}

int32_t TQ7310_WriteCoils(int32_t port, int32_t address, int32_t first, int32_t count,
                          const uint8_t* bits) {
    return TQ7310_WriteCoilsWithin(port, address, first, count, bits, 0);
}

int32_t TQ7310_WriteRegisters(int32_t port, int32_t address, int32_t first, int32_t count,
                              const uint16_t* values) {
    return TQ7310_WriteRegistersWithin(port, address, first, count, values, 0);
}

}  // extern "C"
