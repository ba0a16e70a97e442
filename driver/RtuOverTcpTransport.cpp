#include "RtuOverTcpTransport.h"

#include <array>
#include <cerrno>

#include "ErrorKind.h"

namespace modbusrtu {

namespace {

// Address, function and the byte after, which is a reply's byte count
// where it has one: enough to tell the frame's length.
constexpr int kLengthKnownAt = 3;

int replyLength(const std::uint8_t* frame, int have) {
    return have < kLengthKnownAt ? kLengthKnownAt : receivedLength(frame, kMaxFrameBytes);
}

}  // namespace

RtuOverTcpTransport::~RtuOverTcpTransport() {
    modbus_close(ctx_);
    modbus_free(ctx_);
}

Received RtuOverTcpTransport::receiveFrame(std::uint8_t* buffer, std::int64_t firstUs) {
    Received got;
    std::int64_t waitUs = firstUs;
    for (int want = replyLength(buffer, 0); got.length < want;
         want = replyLength(buffer, got.length)) {
        const int ready = socket_.waitReadable(waitUs);
        if (ready <= 0) {
            got.error = ready == 0 ? ETIMEDOUT : -ready;
            return got;
        }
        const int read = socket_.receiveSome(buffer + got.length, want - got.length);
        if (read < 0) {
            got.error = -read;
            return got;
        }
        got.length += read;
        waitUs = timeouts_.byteUs;
    }
    got.framed = true;
    return got;
}

int RtuOverTcpTransport::listenUntil(Clock::time_point until, const StrayBytes& onBytes) {
    for (auto now = Clock::now(); now < until; now = Clock::now()) {
        std::array<std::uint8_t, kMaxFrameBytes> frame{};
        const Received got = receiveFrame(
            frame.data(), std::chrono::ceil<std::chrono::microseconds>(until - now).count());
        if (got.length > 0) {
            onBytes(frame.data(), got.length);
        }
        if (!got.framed && got.error != ETIMEDOUT) {
            return got.error;
        }
    }
    return 0;
}

int RtuOverTcpTransport::takeWaiting(const StrayBytes& onBytes) {
    int length = 0;
    for (int waiting = socket_.pending(); waiting > 0; waiting = socket_.pending()) {
        std::array<std::uint8_t, kMaxFrameBytes> frame{};
        const Received got = receiveFrame(frame.data(), timeouts_.byteUs);
        length += got.length;
        if (got.length > 0) {
            onBytes(frame.data(), got.length);
        }
        if (!got.framed) {
            break;
        }
    }
    return length;
}

int RtuOverTcpTransport::flush() {
    std::array<std::uint8_t, kMaxFrameBytes> discard{};
    while (socket_.pending() > 0) {
        const int read = socket_.receiveSome(discard.data(), kMaxFrameBytes);
        if (read < 0) {
            return -read;
        }
    }
    return 0;
}

bool RtuOverTcpTransport::send(const Request& request, Exchange& out) {
    const auto frame = request.frame();
    const int length = request.length() + 2;
    if (const int error = socket_.sendAll(frame.data(), length); error != 0) {
        const ErrorKind kind = classifyModbusError(error);
        out.verdict = {kind.outcome, 0, 0};
        out.systemError = kind.systemError;
        return false;
    }
    std::copy_n(frame.begin(), length, out.sent.begin());
    out.sentLength = length;
    return true;
}

Received RtuOverTcpTransport::receiveReply(std::uint8_t* buffer) {
    return receiveFrame(buffer, responseUs_);
}

Received RtuOverTcpTransport::receiveEcho(std::uint8_t*, std::int64_t) {
    // Serial servers hand no request back: the port never expects an echo.
    return {0, false, ETIMEDOUT};
}

}  // namespace modbusrtu
