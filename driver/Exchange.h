#ifndef TQ7310_DRIVER_EXCHANGE_H
#define TQ7310_DRIVER_EXCHANGE_H

#include <modbus/modbus.h>

#include <array>
#include <cstdint>
#include <functional>

#include "Frame.h"

namespace modbusrtu {

// One request and what came back, byte for byte.
struct Exchange {
    std::array<std::uint8_t, Request::kFrameBytes> sent{};
    int sentLength = 0;  // 0: nothing went out
    std::array<std::uint8_t, kMaxFrameBytes> reply{};
    int replyLength = 0;  // -1: timed out, how many bytes had come is not known
    ReplyVerdict verdict{TQ7310_TIMEOUT, 0, 0};
    int systemError = 0;  // TQ7310_IO_ERROR
};

// libmodbus frames the request, adds its CRC, sends it and times the
// reception; the checks its high-level calls make afterwards are made here,
// by checkReply, so the bytes stay ours to show.
void exchange(modbus_t* ctx, const Request& request, Exchange& out);

// Bytes that came when no reply was awaited.
using StrayBytes = std::function<void(const std::uint8_t* bytes, int length)>;

// Reads, through libmodbus, whatever is waiting on the line before a
// request and hands it to `onBytes`; returns how many bytes were waiting,
// or -1 where the platform cannot tell (Windows), 0 for none.
int takeWaiting(modbus_t* ctx, std::int64_t byteUs, const StrayBytes& onBytes);

// Reads one frame of what arrives within the response time-out and hands it
// to `onBytes`; false when none came. A system error is set in `error`.
bool takeFrame(modbus_t* ctx, const StrayBytes& onBytes, int& error);

}  // namespace modbusrtu

#endif
