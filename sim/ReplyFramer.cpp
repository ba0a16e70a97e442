#include "ReplyFramer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace sim {

namespace {

constexpr std::size_t kCrcSize = 2;
constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr int kBroadcast = 0;

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

ReplyFramer::ReplyFramer(int address, int coils, int inputs, int holding, int inputRegisters) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        fail("socketpair");
    }
    line_ = pair[0];
    tap_ = pair[1];
    // Never connected: the descriptor comes from modbus_set_socket.
    ctx_ = modbus_new_rtu("tq7310-sim", 9600, 'N', 8, 1);
    mapping_ = modbus_mapping_new(coils, inputs, holding, inputRegisters);
    if (ctx_ == nullptr || mapping_ == nullptr) {
        const int error = errno;
        release();
        errno = error;
        fail("libmodbus");
    }
    modbus_set_slave(ctx_, address);
    modbus_set_socket(ctx_, line_);
    // libmodbus sleeps this long before an exception it raises itself. The
    // module's checks come first, so it should never; if it ever did, half a
    // second of silence would cost the master its request.
    modbus_set_response_timeout(ctx_, 0, 1);
}

ReplyFramer::~ReplyFramer() {
    release();
}

void ReplyFramer::release() {
    if (ctx_ != nullptr) {
        modbus_free(std::exchange(ctx_, nullptr));
    }
    if (mapping_ != nullptr) {
        modbus_mapping_free(std::exchange(mapping_, nullptr));
    }
    for (int* fd : {&line_, &tap_}) {
        if (*fd >= 0) {
            ::close(std::exchange(*fd, -1));
        }
    }
}

ReplyFramer::Bytes ReplyFramer::take() {
    Bytes out;
    std::uint8_t chunk[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const ssize_t n = ::recv(tap_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            out.insert(out.end(), chunk, chunk + n);
        } else if (n == 0 || errno != EINTR) {
            return out;
        }
    }
}

ReplyFramer::Bytes ReplyFramer::frame(Frame body) {
    const bool sent =
        modbus_send_raw_request(ctx_, body.data(), static_cast<int>(body.size())) >= 0;
    Bytes bytes = take();
    return sent ? bytes : Bytes{};
}

bool ReplyFramer::intact(Frame frame) {
    // libmodbus checks a CRC only while receiving a frame it can size, yet
    // the frames it cannot size (unknown functions, malformed requests) are
    // answered too; so libmodbus frames the same bytes again and the two
    // CRCs must agree.
    const Bytes again = this->frame(frame.first(frame.size() - kCrcSize));
    return again.size() == frame.size() &&
           std::equal(again.end() - kCrcSize, again.end(), frame.end() - kCrcSize);
}

ReplyFramer::Sent ReplyFramer::reply(Frame frame) {
    const int rc = modbus_reply(ctx_, frame.data(), static_cast<int>(frame.size()), mapping_);
    Sent sent{take(), false};
    // A normal reply repeats the function code. libmodbus refusing a request
    // the module took would mean the mapping and the module's checks
    // disagree, and then the mapping holds nothing to apply.
    sent.accepted =
        rc >= 0 && (sent.bytes.empty() ? frame[0] == kBroadcast
                                       : sent.bytes.size() > 1 && sent.bytes[1] == frame[1]);
    return sent;
}

ReplyFramer::Bytes ReplyFramer::exception(Frame frame, std::uint8_t code) {
    // libmodbus adds the flag to the function code arithmetically, which
    // turns a code that has it set already into a normal reply's code; the
    // master must see the flag, so libmodbus gets the code without it.
    const std::uint8_t header[] = {frame[0], static_cast<std::uint8_t>(frame[1] & ~kExceptionFlag)};
    const bool sent = modbus_reply_exception(ctx_, header, code) >= 0;
    Bytes bytes = take();
    return sent ? bytes : Bytes{};
}

}  // namespace sim
