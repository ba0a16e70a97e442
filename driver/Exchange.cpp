#include "Exchange.h"

#include <algorithm>
#include <cerrno>

#include "ErrorKind.h"
#include "SystemError.h"

#if defined(_WIN32)
// The Windows build compiles libmodbus from its sources, whose serial
// backend keeps the handle the queue length is asked of.
#include "modbus-private.h"
#include "modbus-rtu-private.h"
#else
#include <sys/ioctl.h>
#endif

namespace modbusrtu {

namespace {

// Past these the line is babbling; the flush after takes the rest.
constexpr int kMaxWaitingFrames = 8;
// What the receive buffer holds where libmodbus wrote nothing.
constexpr std::uint8_t kUnread = 0xA5;
// rc as libmodbus's receive returned it, `buffer` marked unread before.
Received received(int rc, const std::uint8_t* buffer, int capacity) {
    Received got;
    got.error = rc < 0 ? lastSystemError() : 0;
    if (rc > 0) {
        got.length = rc;
        got.framed = true;
    } else if (rc == 0 || got.error == EMBBADCRC || got.error == EMBBADDATA) {
        // A frame from another address, a bad CRC or an overlong byte count:
        // the bytes read are all in the buffer, as many as its start says.
        got.length = receivedLength(buffer, capacity);
        got.framed = true;
        got.otherAddress = rc == 0;
    } else {
        got.length = writtenLength(buffer, capacity);
    }
    return got;
}

}  // namespace

void markUnread(std::uint8_t* buffer, int capacity) {
    std::fill(buffer, buffer + capacity, kUnread);
}

int writtenLength(const std::uint8_t* buffer, int capacity) {
    int length = capacity;
    while (length > 0 && buffer[length - 1] == kUnread) {
        --length;
    }
    return length;
}

void setResponseTimeout(modbus_t* ctx, std::int64_t us) {
    // libmodbus refuses a time-out of zero.
    us = std::max<std::int64_t>(us, 1);
    modbus_set_response_timeout(ctx, static_cast<std::uint32_t>(us / 1'000'000),
                                static_cast<std::uint32_t>(us % 1'000'000));
}

bool sendRequest(modbus_t* ctx, const Request& request, Exchange& out) {
    // Our own frame without its CRC is what libmodbus is handed: it adds
    // the CRC, which is the same, and keeps the framing its own.
    const auto frame = request.frame();
    errno = 0;
    if (modbus_send_raw_request(ctx, frame.data(), request.length()) < 0) {
        const ErrorKind kind = classifyModbusError(lastSystemError());
        out.verdict = {kind.outcome, 0, 0};
        out.systemError = kind.systemError;
        return false;
    }
    out.sentLength = request.length() + 2;
    std::copy_n(frame.begin(), out.sentLength, out.sent.begin());
    return true;
}

Received receiveReply(modbus_t* ctx, std::uint8_t* buffer) {
    markUnread(buffer, kMaxFrameBytes);
    errno = 0;
    return received(modbus_receive_confirmation(ctx, buffer), buffer, kMaxFrameBytes);
}

Received receiveEcho(modbus_t* ctx, std::uint8_t* buffer, std::int64_t timeoutUs) {
    modbus_set_indication_timeout(ctx, static_cast<std::uint32_t>(timeoutUs / 1'000'000),
                                  static_cast<std::uint32_t>(timeoutUs % 1'000'000));
    markUnread(buffer, kMaxFrameBytes);
    errno = 0;
    const int rc = modbus_receive(ctx, buffer);
    Received got;
    got.error = rc < 0 ? lastSystemError() : 0;
    got.framed = rc >= 0 || got.error == EMBBADCRC;
    got.otherAddress = rc == 0;
    got.length = rc > 0 ? rc : writtenLength(buffer, kMaxFrameBytes);
    return got;
}

void exchange(modbus_t* ctx, const Request& request, Exchange& out) {
    if (!sendRequest(ctx, request, out)) {
        return;
    }
    const Received got = receiveReply(ctx, out.reply.data());
    out.replyLength = got.length;
    if (got.framed) {
        out.verdict = checkReply(request, out.reply.data(), out.replyLength);
        return;
    }
    const ErrorKind kind = classifyModbusError(got.error);
    out.verdict = {kind.outcome, 0, 0};
    out.systemError = kind.systemError;
}

bool takeFrame(modbus_t* ctx, const StrayBytes& onBytes, int& error) {
    std::uint8_t frame[kMaxFrameBytes];
    const Received got = receiveReply(ctx, frame);
    if (got.length > 0) {
        onBytes(frame, got.length);
    }
    if (!got.framed && got.error != ETIMEDOUT) {
        error = got.error;
    }
    return got.length > 0;
}

int waitingBytes(modbus_t* ctx) {
#if defined(_WIN32)
    auto* rtu = static_cast<modbus_rtu_t*>(ctx->backend_data);
    DWORD errors = 0;
    COMSTAT state{};
    return ClearCommError(rtu->w_ser.fd, &errors, &state) ? static_cast<int>(state.cbInQue) : -1;
#else
    int count = 0;
    return ::ioctl(modbus_get_socket(ctx), FIONREAD, &count) == 0 ? count : -1;
#endif
}

int takeWaiting(modbus_t* ctx, std::int64_t byteUs, const StrayBytes& onBytes) {
    int waiting = waitingBytes(ctx);
    if (waiting <= 0) {
        return waiting;
    }
    // They are there already: the first byte needs no more than a byte's gap.
    setResponseTimeout(ctx, byteUs);
    // libmodbus reads them piece by piece as it would frame a reply. A sound
    // frame is handed on alone, so it can be named; the pieces between are
    // handed on as the one run of bytes they were.
    std::uint8_t run[kMaxFrameBytes];
    int runLength = 0;
    const auto handRun = [&] {
        if (runLength > 0) {
            onBytes(run, runLength);
            runLength = 0;
        }
    };
    int length = 0;
    for (int frames = 0; waiting > 0 && frames < kMaxWaitingFrames; ++frames) {
        std::uint8_t frame[kMaxFrameBytes];
        const Received got = receiveReply(ctx, frame);
        length += got.length;
        if (crcHolds(frame, got.length)) {
            handRun();
            onBytes(frame, got.length);
        } else {
            const int kept = std::min(got.length, kMaxFrameBytes - runLength);
            std::copy(frame, frame + kept, run + runLength);
            runLength += kept;
        }
        if (!got.framed && got.error != ETIMEDOUT) {
            break;
        }
        waiting = waitingBytes(ctx);
    }
    handRun();
    return length;
}

}  // namespace modbusrtu
