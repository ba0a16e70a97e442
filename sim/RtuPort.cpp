#include "RtuPort.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "StopSignals.h"

namespace sim {

namespace {

using namespace std::chrono_literals;

// Longest pause inside a frame before the rest is given up as lost, and the
// quiet that ends a stretch of line noise. Long enough for a USB adapter
// that delivers a frame in pieces, short next to any master's time-out.
constexpr auto kSilence = 20ms;
// The longest the line may chatter before control input gets a turn again.
constexpr auto kMaxDrain = 2s;
// What libmodbus reads of a request whose function it does not know.
constexpr std::size_t kUnsizedFrame = 4;
// A read or a single write: address, function, two words, CRC.
constexpr std::size_t kFixedRequest = 8;

bool libmodbusSizes(std::uint8_t function) {
    return (function >= MODBUS_FC_READ_COILS && function <= MODBUS_FC_WRITE_SINGLE_REGISTER) ||
           function == MODBUS_FC_WRITE_MULTIPLE_COILS ||
           function == MODBUS_FC_WRITE_MULTIPLE_REGISTERS ||
           function == MODBUS_FC_MASK_WRITE_REGISTER ||
           function == MODBUS_FC_WRITE_AND_READ_REGISTERS;
}

}  // namespace

RtuPort::RtuPort(Responder& responder, int fd, std::string where, std::function<int()> heardBaud)
    : responder_(responder),
      fd_(fd),
      where_(std::move(where)),
      heardBaud_(std::move(heardBaud)),
      receiver_(newReceiver()) {}

RtuPort::~RtuPort() {
    modbus_free(receiver_);
}

modbus_t* RtuPort::newReceiver() const {
    const Options& o = responder_.options();
    // Only the receiving half of libmodbus is used; the name is never opened.
    modbus_t* ctx = modbus_new_rtu("tq7310-sim", o.baud, o.parity, 8, 1);
    if (ctx == nullptr) {
        return nullptr;
    }
    modbus_set_slave(ctx, o.address);
    modbus_set_socket(ctx, fd_);
    const auto gap = std::chrono::duration_cast<std::chrono::microseconds>(kSilence).count();
    modbus_set_byte_timeout(ctx, 0, static_cast<std::uint32_t>(gap));
    return ctx;
}

void RtuPort::renewReceiver() {
    // After a frame for another slave libmodbus expects that slave's reply
    // next and throws away whatever comes, which would cost the master its
    // next request to us. A fresh context knows nothing of it.
    if (modbus_t* fresh = newReceiver()) {
        modbus_free(receiver_);
        receiver_ = fresh;
    }
}

std::vector<std::uint8_t> RtuPort::drain() {
    std::vector<std::uint8_t> dropped;
    const auto giveUp = std::chrono::steady_clock::now() + kMaxDrain;
    pollfd p{fd_, POLLIN, 0};
    while (std::chrono::steady_clock::now() < giveUp && !stopRequested()) {
        const int ready = ::poll(&p, 1, static_cast<int>(kSilence.count()));
        if (ready == 0) {
            break;
        }
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        std::uint8_t junk[256];
        const ssize_t n = ::read(fd_, junk, sizeof junk);
        if (n <= 0) {
            break;
        }
        dropped.insert(dropped.end(), junk, junk + n);
    }
    return dropped;
}

void RtuPort::answer(std::span<const std::uint8_t> request, Time arrival) {
    const Responder::Answer a = responder_.answer(request, arrival, where_);
    if (!a.reply.empty()) {
        responder_.send(fd_, a.reply, request.size() + a.reply.size(), arrival, a.hold);
    }
}

bool RtuPort::serveFrame(int& error) {
    Console& console = responder_.console();
    const auto arrival = std::chrono::steady_clock::now();
    std::uint8_t frame[MODBUS_RTU_MAX_ADU_LENGTH];
    const int size = modbus_receive(receiver_, frame);
    if (size > 0) {
        if (const int heard = offRate(); heard != 0) {
            // On a real line these bytes would have been noise to us.
            console.log(where_ + hex({frame, static_cast<std::size_t>(size)}) +
                        ": ignored, sent at " +
                        (heard > 0 ? std::to_string(heard) : std::string("another")) + " baud");
            return true;
        }
        answer({frame, static_cast<std::size_t>(size)}, arrival);
        return true;
    }
    const auto after = [](const std::vector<std::uint8_t>& more) {
        return more.empty() ? std::string()
                            : " and " + std::to_string(more.size()) + " bytes after it";
    };
    if (size == 0) {
        // Another slave's business, and the reply to it may follow: keep off
        // the line until it is quiet.
        renewReceiver();
        const auto more = drain();
        console.log(where_ + "ignored a request for address " + std::to_string(frame[0]) +
                    after(more));
        // The master may turn to us right after the other slave's reply,
        // sooner than the quiet the drain waits for: a request of ours at the
        // end of what it took is answered (the handler checks its CRC).
        if (more.size() >= kFixedRequest) {
            const std::span<const std::uint8_t> tail(more.data() + more.size() - kFixedRequest,
                                                     kFixedRequest);
            if (tail[0] == responder_.options().address && tail[1] >= MODBUS_FC_READ_COILS &&
                tail[1] <= MODBUS_FC_WRITE_SINGLE_REGISTER && offRate() == 0) {
                answer(tail, std::chrono::steady_clock::now());
            }
        }
        return true;
    }
    error = errno;
    if (error == EIO || error == EBADF || error == ENXIO || error == ECONNRESET) {
        return false;
    }
    renewReceiver();
    const auto more = drain();
    if (error == EMBBADCRC && !libmodbusSizes(frame[1])) {
        // libmodbus knows the length of a request only for the functions it
        // implements and cuts any other short after address, function and
        // CRC; the quiet that follows is where the frame really ends. Such a
        // master deserves an illegal function exception, not a time-out.
        std::vector<std::uint8_t> whole(frame, frame + kUnsizedFrame);
        whole.insert(whole.end(), more.begin(), more.end());
        answer(whole, arrival);
        return true;
    }
    const char* why = error == EMBBADCRC    ? "bad CRC"
                      : error == ETIMEDOUT  ? "truncated frame"
                      : error == EMBBADDATA ? "frame too long"
                                            : modbus_strerror(error);
    console.log(where_ + "dropped a frame (" + std::string(why) + ")" + after(more));
    return true;
}

int RtuPort::offRate() const {
    const int heard = responder_.options().strictBaud && heardBaud_ ? heardBaud_() : 0;
    return heard == responder_.options().baud ? 0 : heard;
}

}  // namespace sim
