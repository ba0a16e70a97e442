#include "Responder.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "SerialLine.h"
#include "StopSignals.h"

namespace sim {

namespace {

using namespace std::chrono_literals;

// A module needs a moment between the request's last byte and its reply.
constexpr auto kTurnaround = 3ms;
// A reply the master does not take within this is dropped.
constexpr int kWriteTimeoutMs = 200;

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

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += b;
    }
    return out;
}

Responder::Responder(const Options& options, ModuleModel& model, Console& console)
    : options_(options),
      console_(console),
      handler_(model, options.address),
      faults_(options.faults) {
    handler_.stampReplies(options.stamp);
}

Responder::Answer Responder::answer(std::span<const std::uint8_t> request, Time arrival,
                                    const std::string& where) {
    Handled h = handler_.handle(request);
    Fate fate = h.request != 0 ? faults_.fateOf(h.request) : Fate{};
    fate.drop = fate.drop || (h.request != 0 && faults_.muted(h.request, arrival));
    std::string note = h.note;
    if (!h.reply.empty() && fate.drop) {
        note += ", reply lost";
    } else if (!h.reply.empty() && fate.holdMs > 0) {
        note += ", reply held " + std::to_string(fate.holdMs) + " ms";
    }
    console_.log(where + hex(request) + ": " + note);
    if (fate.drop) {
        return {};
    }
    return {std::move(h.reply), std::chrono::milliseconds(fate.holdMs)};
}

void Responder::send(int fd, const Bytes& bytes, std::size_t wireBytes, Time arrival,
                     std::chrono::milliseconds hold) {
    const auto turnaround = std::chrono::milliseconds(options_.turnaroundMs);
    if (options_.pace) {
        // A pseudo-terminal delivers at once; hold the reply until it would
        // have been complete on a real line.
        sleepUntil(arrival + wireTime(wireBytes, options_.baud) +
                   std::max<std::chrono::microseconds>(kTurnaround, turnaround) + hold);
    } else if (turnaround.count() > 0 || hold.count() > 0) {
        sleepUntil(arrival + turnaround + hold);
    }
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&p, 1, kWriteTimeoutMs) > 0) {
            continue;
        }
        console_.log("reply dropped: the line does not take it");
        return;
    }
    if (hold.count() > 0) {
        // Tests wait for this before they look for the reply on their side.
        console_.log("held reply sent");
    }
}

}  // namespace sim
