#ifndef TQ7310_DRIVER_EXCHANGE_H
#define TQ7310_DRIVER_EXCHANGE_H

#include <modbus/modbus.h>

#include <array>
#include <cstdint>
#include <functional>

#include "Frame.h"

namespace modbusrtu {

// One request and what came back, byte for byte as they went over the line.
struct Exchange {
    std::array<std::uint8_t, kMaxWireBytes> sent{};
    int sentLength = 0;  // 0: nothing went out
    std::array<std::uint8_t, kMaxWireBytes> reply{};
    int replyLength = 0;  // every byte read as the answer; 0: none came
    ReplyVerdict verdict{TQ7310_TIMEOUT, 0, 0};
    int systemError = 0;             // TQ7310_IO_ERROR
    std::uint32_t maybeAnswers = 0;  // TQ7310_AMBIGUOUS: the earlier request
    // TQ7310_AMBIGUOUS with more answers behind the frame: the slave is
    // answering requests in between, and this one's own answer is to come.
    bool owed = false;
    // Modbus TCP: the request's transaction id, and where the frame as RTU
    // shapes it (unit id first) starts in `sent` and `reply`.
    int transactionId = -1;
    int frameOffset = 0;

    // The reply from its address on, as checkReply judged it.
    const std::uint8_t* frame() const { return reply.data() + frameOffset; }
};

// What one receive through libmodbus took off the line.
struct Received {
    int length = 0;             // bytes read, whether or not they made a frame
    bool framed = false;        // libmodbus read a frame to its end, sound or not
    int error = 0;              // when it gave up: ETIMEDOUT or a system error
    bool otherAddress = false;  // libmodbus passed the frame over for its address
    int transactionId = -1;     // Modbus TCP: the id the frame carries
};

// libmodbus never says how many bytes it had read when a frame is cut short
// by the time-out: the buffer is filled with a marker first (markUnread),
// and the bytes up to the last one that is not the marker are what came.
void markUnread(std::uint8_t* buffer, int capacity);
int writtenLength(const std::uint8_t* buffer, int capacity);

// How long libmodbus waits for a reply to start.
void setResponseTimeout(modbus_t* ctx, std::int64_t us);

// libmodbus frames the request, adds its CRC and sends it. False, with the
// verdict set, when it could not.
bool sendRequest(modbus_t* ctx, const Request& request, Exchange& out);

// Sends the request and reads one reply, judged by checkReply: the
// transaction as libmodbus's high-level calls make it, bytes kept.
void exchange(modbus_t* ctx, const Request& request, Exchange& out);

// Reads one reply as libmodbus frames it into `buffer` (kMaxFrameBytes),
// marked unread first. Only marker bytes at the very end of a cut frame go
// uncounted.
Received receiveReply(modbus_t* ctx, std::uint8_t* buffer);

// Reads our own request as an echoing adapter hands it back: libmodbus frames
// it as a request (eight bytes for every function the driver sends but a
// write of several points, whose byte count it follows), waiting
// at most `timeoutUs` for it to start.
Received receiveEcho(modbus_t* ctx, std::uint8_t* buffer, std::int64_t timeoutUs);

// How many bytes wait unread on the line, or -1 where that cannot be told.
int waitingBytes(modbus_t* ctx);

// Bytes that came when no reply was awaited, one frame (or piece) a call.
using StrayBytes = std::function<void(const std::uint8_t* bytes, int length)>;

// Reads, through libmodbus, whatever is waiting on the line before a
// request and hands it to `onBytes` frame by frame; returns how many bytes
// were taken, -1 where the platform cannot tell, 0 for none.
int takeWaiting(modbus_t* ctx, std::int64_t byteUs, const StrayBytes& onBytes);

// Reads one frame of what arrives within the response time-out and hands it
// to `onBytes`; false when none came. A system error is set in `error`.
bool takeFrame(modbus_t* ctx, const StrayBytes& onBytes, int& error);

}  // namespace modbusrtu

#endif
