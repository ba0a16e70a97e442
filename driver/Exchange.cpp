#include "Exchange.h"

#include <algorithm>
#include <cerrno>

#include "ErrorKind.h"
#include "SystemError.h"

#if !defined(_WIN32)
#include <sys/ioctl.h>
#endif

namespace modbusrtu {

namespace {

// Past these the line is babbling; the flush after takes the rest.
constexpr int kMaxWaitingFrames = 8;

bool framedAnyway(int rc, int error) {
    // A frame from another address (0), a bad CRC and an overlong byte count
    // all leave the bytes read in the buffer.
    return rc == 0 || (rc < 0 && (error == EMBBADCRC || error == EMBBADDATA));
}

int waitingBytes(modbus_t* ctx) {
#if defined(_WIN32)
    (void)ctx;
    return -1;
#else
    int count = 0;
    return ::ioctl(modbus_get_socket(ctx), FIONREAD, &count) == 0 ? count : -1;
#endif
}

void setResponseTimeout(modbus_t* ctx, std::int64_t us) {
    modbus_set_response_timeout(ctx, static_cast<std::uint32_t>(us / 1'000'000),
                                static_cast<std::uint32_t>(us % 1'000'000));
}

}  // namespace

void exchange(modbus_t* ctx, const Request& request, Exchange& out) {
    const auto pdu = request.bytes();
    errno = 0;
    if (modbus_send_raw_request(ctx, pdu.data(), Request::kBytes) < 0) {
        const ErrorKind kind = classifyModbusError(lastSystemError());
        out.verdict = {kind.outcome, 0, 0};
        out.systemError = kind.systemError;
        return;
    }
    out.sent = request.frame();
    out.sentLength = Request::kFrameBytes;

    errno = 0;
    const int rc = modbus_receive_confirmation(ctx, out.reply.data());
    const int error = rc < 0 ? lastSystemError() : 0;
    if (rc > 0 || framedAnyway(rc, error)) {
        out.replyLength = rc > 0 ? rc : receivedLength(out.reply.data(), kMaxFrameBytes);
        out.verdict = checkReply(request, out.reply.data(), out.replyLength);
        return;
    }
    const ErrorKind kind = classifyModbusError(error);
    out.verdict = {kind.outcome, 0, 0};
    out.systemError = kind.systemError;
    out.replyLength = kind.outcome == TQ7310_TIMEOUT ? -1 : 0;
}

bool takeFrame(modbus_t* ctx, const StrayBytes& onBytes, int& error) {
    std::uint8_t frame[kMaxFrameBytes] = {};
    errno = 0;
    const int rc = modbus_receive_confirmation(ctx, frame);
    const int cause = rc < 0 ? lastSystemError() : 0;
    if (rc > 0 || framedAnyway(rc, cause)) {
        onBytes(frame, rc > 0 ? rc : receivedLength(frame, kMaxFrameBytes));
        return true;
    }
    if (cause != ETIMEDOUT) {
        error = cause;
    }
    return false;
}

int takeWaiting(modbus_t* ctx, std::int64_t byteUs, const StrayBytes& onBytes) {
    int waiting = waitingBytes(ctx);
    if (waiting <= 0) {
        return waiting;
    }
    // They are there already: the first byte needs no more than a byte's gap.
    setResponseTimeout(ctx, byteUs);
    // libmodbus reads them frame by frame as it would frame a reply; they
    // are logged as the one run of bytes they were.
    std::uint8_t taken[kMaxFrameBytes] = {};
    int length = 0;
    for (int frames = 0; waiting > 0 && frames < kMaxWaitingFrames; ++frames) {
        std::uint8_t frame[kMaxFrameBytes] = {};
        errno = 0;
        const int rc = modbus_receive_confirmation(ctx, frame);
        const int cause = rc < 0 ? lastSystemError() : 0;
        int got = 0;
        if (rc > 0 || framedAnyway(rc, cause)) {
            got = rc > 0 ? rc : receivedLength(frame, kMaxFrameBytes);
        } else if (cause == ETIMEDOUT) {
            // A piece of a frame: the bytes that were waiting are the first
            // ones it read.
            got = waiting;
        } else {
            break;
        }
        got = std::min(got, kMaxFrameBytes - length);
        std::copy(frame, frame + got, taken + length);
        length += got;
        waiting = waitingBytes(ctx);
    }
    if (length > 0) {
        onBytes(taken, length);
    }
    return length;
}

}  // namespace modbusrtu
