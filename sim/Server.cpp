#include "Server.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "SerialLine.h"
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
// A module needs a moment between the request's last byte and its reply.
constexpr auto kTurnaround = 3ms;
// A reply the master does not take within this is dropped.
constexpr int kWriteTimeoutMs = 200;
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

std::string hex(const std::uint8_t* bytes, int size) {
    std::string out;
    char b[4];
    for (int i = 0; i < size; ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += b;
    }
    return out;
}

std::chrono::microseconds wireTime(std::size_t characters, int baud) {
    return std::chrono::microseconds(
        module_line::wireTimeUs(static_cast<std::int64_t>(characters), baud));
}

void sleepUntil(std::chrono::steady_clock::time_point deadline) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR &&
           !stopRequested()) {
    }
}

}  // namespace

Server::Server(const Options& options, Line& line)
    : options_(options),
      line_(line),
      handler_(model_, options.address),
      faults_(options.faults),
      console_(model_, options.verbose),
      receiver_(newReceiver()) {
    handler_.stampReplies(options.stamp);
    model_.setFaults(options.moduleFaults);
}

Server::~Server() {
    modbus_free(receiver_);
}

modbus_t* Server::newReceiver() const {
    // Only the receiving half of libmodbus is used; the name is never opened.
    modbus_t* ctx = modbus_new_rtu("tq7310-sim", options_.baud, options_.parity, 8, 1);
    if (ctx == nullptr) {
        return nullptr;
    }
    modbus_set_slave(ctx, options_.address);
    modbus_set_socket(ctx, line_.fd());
    const auto gap = std::chrono::duration_cast<std::chrono::microseconds>(kSilence).count();
    modbus_set_byte_timeout(ctx, 0, static_cast<std::uint32_t>(gap));
    return ctx;
}

void Server::renewReceiver() {
    // After a frame for another slave libmodbus expects that slave's reply
    // next and throws away whatever comes, which would cost the master its
    // next request to us. A fresh context knows nothing of it.
    if (modbus_t* fresh = newReceiver()) {
        modbus_free(receiver_);
        receiver_ = fresh;
    }
}

std::vector<std::uint8_t> Server::drain() {
    std::vector<std::uint8_t> dropped;
    const auto giveUp = std::chrono::steady_clock::now() + kMaxDrain;
    pollfd p{line_.fd(), POLLIN, 0};
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
        const ssize_t n = ::read(line_.fd(), junk, sizeof junk);
        if (n <= 0) {
            break;
        }
        dropped.insert(dropped.end(), junk, junk + n);
    }
    return dropped;
}

void Server::answer(std::span<const std::uint8_t> request, Time arrival) {
    const Handled h = handler_.handle(request);
    Fate fate = h.request != 0 ? faults_.fateOf(h.request) : Fate{};
    fate.drop = fate.drop || (h.request != 0 && faults_.muted(h.request, arrival));
    std::string note = h.note;
    if (!h.reply.empty() && fate.drop) {
        note += ", reply lost";
    } else if (!h.reply.empty() && fate.holdMs > 0) {
        note += ", reply held " + std::to_string(fate.holdMs) + " ms";
    }
    console_.log(hex(request.data(), static_cast<int>(request.size())) + ": " + note);
    if (!h.reply.empty() && !fate.drop) {
        reply(h.reply, request.size(), arrival, std::chrono::milliseconds(fate.holdMs));
    }
}

bool Server::serveFrame() {
    const auto arrival = std::chrono::steady_clock::now();
    std::uint8_t frame[MODBUS_RTU_MAX_ADU_LENGTH];
    const int size = modbus_receive(receiver_, frame);
    if (size > 0) {
        if (const int heard = offRate(); heard != 0) {
            // On a real line these bytes would have been noise to us.
            console_.log(hex(frame, size) + ": ignored, sent at " +
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
        console_.log("ignored a request for address " + std::to_string(frame[0]) + after(more));
        // The master may turn to us right after the other slave's reply,
        // sooner than the quiet the drain waits for: a request of ours at the
        // end of what it took is answered (the handler checks its CRC).
        if (more.size() >= kFixedRequest) {
            const std::span<const std::uint8_t> tail(more.data() + more.size() - kFixedRequest,
                                                     kFixedRequest);
            if (tail[0] == options_.address && tail[1] >= MODBUS_FC_READ_COILS &&
                tail[1] <= MODBUS_FC_WRITE_SINGLE_REGISTER && offRate() == 0) {
                answer(tail, std::chrono::steady_clock::now());
            }
        }
        return true;
    }
    const int error = errno;
    if (error == EIO || error == EBADF || error == ENXIO || error == ECONNRESET) {
        std::fprintf(stderr, "tq7310-sim: %s: %s\n", line_.device().c_str(),
                     modbus_strerror(error));
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
    console_.log("dropped a frame (" + std::string(why) + ")" + after(more));
    return true;
}

void Server::reply(const std::vector<std::uint8_t>& frame, std::size_t requestSize, Time arrival,
                   std::chrono::milliseconds hold) {
    const auto turnaround = std::chrono::milliseconds(options_.turnaroundMs);
    if (options_.pace) {
        // A pseudo-terminal delivers at once; hold the reply until it would
        // have been complete on a real line.
        sleepUntil(arrival + wireTime(requestSize + frame.size(), options_.baud) +
                   std::max<std::chrono::microseconds>(kTurnaround, turnaround) + hold);
    } else if (turnaround.count() > 0 || hold.count() > 0) {
        sleepUntil(arrival + turnaround + hold);
    }
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::write(line_.fd(), frame.data() + sent, frame.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        pollfd p{line_.fd(), POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&p, 1, kWriteTimeoutMs) > 0) {
            continue;
        }
        console_.log("reply dropped: the line does not take it");
        return;
    }
}

int Server::offRate() const {
    const int heard = options_.strictBaud ? line_.masterBaud() : 0;
    return heard == options_.baud ? 0 : heard;
}

int Server::run() {
    if (receiver_ == nullptr) {
        std::fprintf(stderr, "tq7310-sim: cannot set up the receiver\n");
        return 1;
    }
    char parity = options_.parity;
    Console::say("tq7310-sim: serving address " + std::to_string(options_.address) + " at " +
                 std::to_string(options_.baud) + "," + std::string(1, parity) + ",8,1 on " +
                 line_.device() + "\n");
    while (!stopRequested() && !console_.quit()) {
        pollfd fds[3] = {
            {line_.fd(), POLLIN, 0}, {console_.fd(), POLLIN, 0}, {stopFd(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("tq7310-sim: poll");
            return 1;
        }
        if (fds[2].revents != 0) {
            continue;  // a signal: the loop condition sees it
        }
        if (fds[1].revents != 0) {
            console_.read();
        }
        if ((fds[0].revents & POLLIN) != 0) {
            if (!serveFrame()) {
                return 1;
            }
        } else if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            std::fprintf(stderr, "tq7310-sim: %s: line closed\n", line_.device().c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace sim
