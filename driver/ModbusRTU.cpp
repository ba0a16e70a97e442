/*
 * How one operation goes, e.g. Get_4X_UnDX(port, address, first, count, buf):
 *
 *   exported C function (this file)
 *     -> port number checked against the table (1..255), else -8888 at once
 *     -> address, points, count, value and buffer checked; a refusal is
 *        recorded as BAD_ARGUMENT and nothing is sent
 *     -> Port::transact (Port.cpp), holding the port's line lock:
 *          reopen the device if it went away during an earlier operation,
 *          listen if an earlier request timed out recently and its late
 *          reply could pass for this one's (Ledger.h, StragglerWait), read
 *          what waits on the line, flush, set the slave address; then the
 *          transport (LibmodbusTransport over Exchange.cpp): libmodbus sends
 *          the request and reads the reply raw, checkReply (Frame.cpp) judges
 *          it and the ledger of what is owed (Ledger.cpp) names a late one;
 *          the status and counters (PortReport) and the traffic log are
 *          updated, late bytes logged as such
 *     -> on success only, the reply's values are unpacked into the caller's
 *        buffer and buffer[0] returned; on any failure -8888 and the buffer
 *        is left as it was.
 *
 * Nothing in the driver retries: the panel polls again anyway, and a retry
 * inside would hide from it how the link is doing.
 */
#include "ModbusRTU.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <cstdint>
#include <tuple>

#include "LineSettings.h"
#include "ModuleMap.h"
#include "Port.h"
#include "Ports.h"

namespace {

using modbusrtu::acceptedPort;
using modbusrtu::Exchange;
using modbusrtu::isPointRange;
using modbusrtu::isSlaveAddress;
using modbusrtu::Port;
using modbusrtu::portFor;
using modbusrtu::request;

constexpr int kPointsPerB16 = 16;
constexpr int kMaxRegisters = 125;  // one read request's worth
constexpr int kMaxLongs = kMaxRegisters / 2;
// Each block of the module's map a probe reads back.
constexpr int kProbeBlock = 16;
constexpr int32_t kMinProbeWaitUs = 1'000;
constexpr int32_t kMaxProbeWaitUs = 1'000'000;

int32_t readBits(int32_t port, int32_t address, int32_t first, int32_t* buffer, bool coils) {
    Port* p = acceptedPort(
        port, buffer != nullptr && isSlaveAddress(address) && isPointRange(first, kPointsPerB16));
    if (p == nullptr) {
        return MODBUSRTU_FAILED;
    }
    Exchange ex;
    if (!p->transact(request(address, coils ? 0x01 : 0x02, first, kPointsPerB16), ex)) {
        return MODBUSRTU_FAILED;
    }
    uint8_t bits[kPointsPerB16] = {};
    modbusrtu::unpackBits(ex.frame(), kPointsPerB16, bits);
    int32_t packed[2] = {0, 0};
    for (int i = 0; i < kPointsPerB16; ++i) {
        if (bits[i] != 0) {
            packed[i / 8] |= 1 << (i % 8);
        }
    }
    buffer[0] = packed[0];
    buffer[1] = packed[1];
    return buffer[0];
}

int32_t readRegisters(int32_t port, int32_t address, int32_t first, int32_t count, int32_t* buffer,
                      bool holding) {
    Port* p = acceptedPort(port, buffer != nullptr && isSlaveAddress(address) &&
                                     count <= kMaxRegisters && isPointRange(first, count));
    if (p == nullptr) {
        return MODBUSRTU_FAILED;
    }
    Exchange ex;
    if (!p->transact(request(address, holding ? 0x03 : 0x04, first, count), ex)) {
        return MODBUSRTU_FAILED;
    }
    uint16_t values[kMaxRegisters] = {};
    modbusrtu::unpackRegisters(ex.frame(), count, values);
    for (int32_t i = 0; i < count; ++i) {
        buffer[i] = values[i];
    }
    return buffer[0];
}

int32_t writeCoil(int32_t port, int32_t address, int32_t coil, bool on) {
    Port* p = acceptedPort(port, isSlaveAddress(address) && isPointRange(coil, 1));
    if (p == nullptr) {
        return MODBUSRTU_FAILED;
    }
    Exchange ex;
    const bool ok = p->transact(request(address, 0x05, coil, on ? 0xFF00 : 0), ex);
    return ok ? 0 : MODBUSRTU_FAILED;
}

}  // namespace

extern "C" {

int32_t OpenPort_Modbus(int32_t port, int32_t baud_code, int32_t parity_code) {
    Port* p = portFor(port);
    if (p == nullptr) {
        return -1;
    }
    const auto settings = modbusrtu::lineSettingsFromCodes(baud_code, parity_code);
    if (!settings) {
        // Keeping the old settings would talk on at a speed the caller no
        // longer asked for; closed matches the -1 it gets back.
        p->refuseOpen();
        return -1;
    }
    return p->open(port, *settings);
}

void ClosePort_Modbus(int32_t port) {
    if (Port* p = portFor(port)) {
        p->close();
    }
}

int32_t Get_1X_B16(int32_t port, int32_t address, int32_t first, int32_t* buffer) {
    return readBits(port, address, first, buffer, false);
}

int32_t Get_0X_B16(int32_t port, int32_t address, int32_t first, int32_t* buffer) {
    return readBits(port, address, first, buffer, true);
}

int32_t Get_3X_UnDX(int32_t port, int32_t address, int32_t first, int32_t count, int32_t* buffer) {
    return readRegisters(port, address, first, count, buffer, false);
}

int32_t Get_4X_UnDX(int32_t port, int32_t address, int32_t first, int32_t count, int32_t* buffer) {
    return readRegisters(port, address, first, count, buffer, true);
}

int32_t Get_3X_LUNDX(int32_t port, int32_t address, int32_t first, int32_t count, int32_t* buffer) {
    Port* p =
        acceptedPort(port, buffer != nullptr && isSlaveAddress(address) && count <= kMaxLongs &&
                               isPointRange(first, 2 * static_cast<std::int64_t>(count)));
    if (p == nullptr) {
        return MODBUSRTU_FAILED;
    }
    Exchange ex;
    if (!p->transact(request(address, 0x04, first, 2 * static_cast<std::int64_t>(count)), ex)) {
        return MODBUSRTU_FAILED;
    }
    uint16_t words[2 * kMaxLongs] = {};
    modbusrtu::unpackRegisters(ex.frame(), 2 * count, words);
    for (int32_t i = 0; i < count; ++i) {
        // The module sends the high word first, in the lower-numbered register.
        const uint32_t value = (static_cast<uint32_t>(words[2 * i]) << 16) | words[2 * i + 1];
        buffer[i] = static_cast<int32_t>(value);
    }
    return buffer[0];
}

int32_t Set_0X_Bit1(int32_t port, int32_t address, int32_t coil) {
    return writeCoil(port, address, coil, true);
}

int32_t Rst_0X_Bit1(int32_t port, int32_t address, int32_t coil) {
    return writeCoil(port, address, coil, false);
}

int32_t Set_4X_D1(int32_t port, int32_t address, int32_t reg, int32_t value) {
    // Truncating 65536 to 0 would write a value nobody asked for.
    Port* p = acceptedPort(
        port, isSlaveAddress(address) && isPointRange(reg, 1) && value >= 0 && value <= 0xFFFF);
    if (p == nullptr) {
        return MODBUSRTU_FAILED;
    }
    Exchange ex;
    const bool ok = p->transact(request(address, 0x06, reg, value), ex);
    return ok ? 0 : MODBUSRTU_FAILED;
}

int32_t TQ7310_GetLinkStatus(int32_t port, Tq7310LinkStatus* status) {
    Port* p = portFor(port);
    if (p == nullptr || status == nullptr) {
        return -1;
    }
    p->status(port, *status);
    return 0;
}

int32_t TQ7310_GetLinkCounters(int32_t port, Tq7310LinkCounters* counters) {
    const Port* p = portFor(port);
    if (p == nullptr || counters == nullptr ||
        counters->size < static_cast<int32_t>(sizeof(Tq7310LinkCounters))) {
        return -1;
    }
    p->counters(*counters);
    return 0;
}

int32_t TQ7310_GetEcho(int32_t port) {
    Port* p = portFor(port);
    return p == nullptr ? -1 : p->echo();
}

int32_t TQ7310_ProbeModule(int32_t port, int32_t address, int32_t response_us,
                           Tq7310Probe* result) {
    Port* p = portFor(port);
    if (p == nullptr || result == nullptr || !isSlaveAddress(address) ||
        response_us < kMinProbeWaitUs || response_us > kMaxProbeWaitUs) {
        return -1;
    }
    *result = Tq7310Probe{};
    result->round_trip_us = -1;
    result->stray_bytes = -1;
    // Each read of a block; false when it got no good reply, the first
    // failure's exception code kept.
    int waiting = -1;
    const auto read = [&](std::uint8_t function, std::int64_t first, Exchange& ex) {
        const bool ok =
            p->probe(request(address, function, first, kProbeBlock), response_us, ex, waiting);
        if (!ok && result->exception_code == 0) {
            result->exception_code = ex.verdict.exceptionCode;
        }
        if (ex.verdict.outcome == TQ7310_BAD_FRAME && ex.replyLength >= ex.frameOffset + 2 &&
            ex.frame()[0] == address && (ex.frame()[1] & 0x7F) == function) {
            result->spoilt = 1;
        }
        result->echoed = p->echo() == TQ7310_ECHO_PRESENT ? 1 : 0;
        return ok;
    };

    Exchange ex;
    const bool answered = read(0x03, module_map::kConfigRegister, ex);
    result->stray_bytes = waiting;
    result->outcome = ex.verdict.outcome;
    result->system_error = ex.systemError;
    result->other_address = ex.verdict.otherAddress;
    if (!answered) {
        return 0;
    }
    Tq7310LinkStatus status{};
    p->status(port, status);
    result->round_trip_us = status.round_trip_us;
    uint16_t words[kProbeBlock] = {};
    modbusrtu::unpackRegisters(ex.frame(), kProbeBlock, words);
    std::copy(words, words + kProbeBlock, result->holding_registers);

    // A device of another kind stops at the first block it does not have.
    if (!read(0x04, module_map::kCount32Register, ex)) {
        result->failed_outcome = ex.verdict.outcome;
        return 0;
    }
    modbusrtu::unpackRegisters(ex.frame(), kProbeBlock, words);
    std::copy(words, words + kProbeBlock, result->input_registers);
    uint8_t bits[kProbeBlock] = {};
    for (auto [function, first, into] :
         {std::tuple{std::uint8_t{0x02}, module_map::kFirstInput, &result->inputs},
          std::tuple{std::uint8_t{0x01}, module_map::kFirstCoil, &result->coils}}) {
        if (!read(function, first, ex)) {
            result->failed_outcome = ex.verdict.outcome;
            return 0;
        }
        modbusrtu::unpackBits(ex.frame(), kProbeBlock, bits);
        for (int i = 0; i < kProbeBlock; ++i) {
            *into |= bits[i] != 0 ? 1 << i : 0;
        }
    }
    result->fits = 1;
    return 0;
}

int32_t TQ7310_ReadTraffic(int32_t port, uint32_t after, Tq7310Traffic* records, int32_t capacity,
                           int32_t* lost) {
    const Port* p = portFor(port);
    if (p == nullptr || records == nullptr || capacity < 0) {
        return -1;
    }
    return p->readTraffic(after, records, capacity, lost);
}

}  // extern "C"
