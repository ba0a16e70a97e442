#include "FaultyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace hardening {

namespace {

using namespace std::chrono_literals;

// Both ends write a whole frame at once, so a short quiet ends a frame.
constexpr auto kFrameGap = 4ms;
constexpr int kOurAddress = 1;

void makeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
}

void writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // A full or vanished line loses the rest, as a real one would.
            return;
        }
    }
}

}  // namespace

const char* faultName(Fault kind) {
    switch (kind) {
        case Fault::DropBytes:
            return "dropped bytes";
        case Fault::FlipBit:
            return "flipped bit";
        case Fault::LateReply:
            return "late reply";
        case Fault::Truncate:
            return "truncated reply";
        case Fault::Garbage:
            return "garbage";
        case Fault::WrongAddress:
            return "other address";
        case Fault::HangUp:
            return "hang-up";
    }
    return "?";
}

FaultyLine::FaultyLine(std::string slaveDevice, std::string linkPath, std::uint32_t seed,
                       std::chrono::milliseconds lateBy)
    : slaveDevice_(std::move(slaveDevice)),
      linkPath_(std::move(linkPath)),
      lateBy_(lateBy),
      random_(seed) {}

FaultyLine::~FaultyLine() {
    stop_ = true;
    if (wake_[1] >= 0) {
        const char b = 0;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &b, 1);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    closeMasterSide();
    for (int fd : {slave_, wake_[0], wake_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string FaultyLine::start() {
    slave_ = ::open(slaveDevice_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        return slaveDevice_ + ": " + std::strerror(errno);
    }
    makeRaw(slave_);
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        return std::string("pipe: ") + std::strerror(errno);
    }
    if (!openMasterSide()) {
        return linkPath_ + ": " + std::strerror(errno);
    }
    thread_ = std::thread([this] { run(); });
    return {};
}

bool FaultyLine::openMasterSide() {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return false;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    makeRaw(slave);
    const char* name = ::ptsname(master);
    // Repoint in one step so the master never finds a half-made link.
    const std::string staging = linkPath_ + ".new";
    ::unlink(staging.c_str());
    if (name == nullptr || ::symlink(name, staging.c_str()) != 0 ||
        ::rename(staging.c_str(), linkPath_.c_str()) != 0) {
        ::close(master);
        ::close(slave);
        return false;
    }
    master_ = master;
    heldSlave_ = slave;
    return true;
}

void FaultyLine::closeMasterSide() {
    ::unlink(linkPath_.c_str());
    for (int* fd : {&heldSlave_, &master_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

void FaultyLine::setFaultRate(double chance) {
    const std::lock_guard lock(mutex_);
    chance_ = chance;
}

bool FaultyLine::clean() const {
    const std::lock_guard lock(mutex_);
    return chance_ == 0 && inProgress_ == 0;
}

FaultyLine::Clock::time_point FaultyLine::lastFaultOver() const {
    const std::lock_guard lock(mutex_);
    return lastFaultOver_;
}

std::array<int, kFaultKinds> FaultyLine::injected() const {
    const std::lock_guard lock(mutex_);
    return injected_;
}

int FaultyLine::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

int FaultyLine::uniform(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
}

void FaultyLine::count(Fault kind) {
    const std::lock_guard lock(mutex_);
    ++injected_[static_cast<int>(kind)];
    ++inProgress_;
}

void FaultyLine::faultOver() {
    const std::lock_guard lock(mutex_);
    --inProgress_;
    lastFaultOver_ = Clock::now();
}

std::vector<std::uint8_t> FaultyLine::garbage() {
    std::vector<std::uint8_t> noise(static_cast<std::size_t>(uniform(1, 12)));
    for (auto& b : noise) {
        b = static_cast<std::uint8_t>(uniform(0, 255));
    }
    // Never our address or a broadcast in front: whatever the receiver makes
    // of it, it cannot be a frame from or to us.
    while (noise[0] == kOurAddress || noise[0] == 0) {
        noise[0] = static_cast<std::uint8_t>(uniform(2, 255));
    }
    return noise;
}

void FaultyLine::toMaster(const std::vector<std::uint8_t>& bytes) {
    writeAll(master_, bytes);
}

void FaultyLine::toSlave(const std::vector<std::uint8_t>& bytes) {
    writeAll(slave_, bytes);
}

void FaultyLine::onRequest(std::vector<std::uint8_t> request) {
    double chance = 0;
    {
        const std::lock_guard lock(mutex_);
        ++requests_;
        chance = chance_;
    }
    if (replyFaultArmed_) {
        // The slave never answered the spoiled transaction; nothing is left
        // of that fault.
        replyFaultArmed_ = false;
        faultOver();
    }
    if (std::uniform_real_distribution<double>(0, 1)(random_) >= chance) {
        toSlave(request);
        return;
    }
    const auto kind = static_cast<Fault>(uniform(0, kFaultKinds - 1));
    count(kind);
    switch (kind) {
        case Fault::DropBytes: {
            // A lost byte is not a burst the CRC is sure to catch, so keep
            // losing until it does: the slave must never act on a forgery.
            do {
                request.erase(request.begin() + uniform(0, int(request.size()) - 1));
            } while (request.size() >= 4 && frames_.checks(request));
            toSlave(request);
            faultOver();
            return;
        }
        case Fault::Garbage:
            if (uniform(0, 1) == 0) {
                // The slave takes noise and request as one bad frame.
                std::vector<std::uint8_t> both = garbage();
                both.insert(both.end(), request.begin(), request.end());
                toSlave(both);
                faultOver();
                return;
            }
            break;  // towards the master, in front of the reply
        case Fault::HangUp:
            closeMasterSide();
            // Replies held back die with the line.
            for (const Pending& p : pending_) {
                if (p.fault) {
                    faultOver();
                }
            }
            pending_.clear();
            backUpAt_ = Clock::now() + std::chrono::milliseconds(uniform(200, 1500));
            return;
        default:
            break;
    }
    replyFaultArmed_ = true;
    replyFault_ = kind;
    toSlave(request);
}

void FaultyLine::onReply(std::vector<std::uint8_t> reply) {
    if (!replyFaultArmed_) {
        toMaster(reply);
        return;
    }
    replyFaultArmed_ = false;
    switch (replyFault_) {
        case Fault::FlipBit: {
            const int bit = uniform(0, int(reply.size()) * 8 - 1);
            reply[static_cast<std::size_t>(bit / 8)] ^= static_cast<std::uint8_t>(1 << (bit % 8));
            break;
        }
        case Fault::Truncate:
            reply.resize(static_cast<std::size_t>(uniform(1, int(reply.size()) - 1)));
            break;
        case Fault::WrongAddress:
            reply = frames_.readdressed(uniform(2, 247), reply);
            break;
        case Fault::Garbage: {
            std::vector<std::uint8_t> both = garbage();
            both.insert(both.end(), reply.begin(), reply.end());
            reply = std::move(both);
            break;
        }
        case Fault::LateReply:
            pending_.push_back({Clock::now() + lateBy_, std::move(reply), true});
            return;
        default:
            break;
    }
    toMaster(reply);
    faultOver();
}

void FaultyLine::run() {
    while (!stop_) {
        const auto now = Clock::now();
        if (master_ < 0 && now >= backUpAt_) {
            if (openMasterSide()) {
                faultOver();
            } else {
                backUpAt_ = now + 50ms;
            }
        }
        while (!pending_.empty() && pending_.front().at <= now) {
            toMaster(pending_.front().bytes);
            if (pending_.front().fault) {
                faultOver();
            }
            pending_.pop_front();
        }
        for (Frame* f : {&fromMaster_, &fromSlave_}) {
            if (!f->bytes.empty() && now - f->last >= kFrameGap) {
                std::vector<std::uint8_t> frame = std::move(f->bytes);
                f->bytes.clear();
                if (f == &fromMaster_) {
                    onRequest(std::move(frame));
                } else {
                    onReply(std::move(frame));
                }
            }
        }

        auto next = Clock::now() + 100ms;
        if (master_ < 0) {
            next = std::min(next, backUpAt_);
        }
        if (!pending_.empty()) {
            next = std::min(next, pending_.front().at);
        }
        for (const Frame* f : {&fromMaster_, &fromSlave_}) {
            if (!f->bytes.empty()) {
                next = std::min(next, f->last + kFrameGap);
            }
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        pollfd fds[3] = {{master_, POLLIN, 0}, {slave_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 3, int(std::max<long long>(0, waitMs.count()))) < 0 && errno != EINTR) {
            return;
        }
        const auto arrived = Clock::now();
        for (int i = 0; i < 2; ++i) {
            if ((fds[i].revents & POLLIN) == 0) {
                continue;
            }
            std::uint8_t chunk[512];
            const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                Frame& f = i == 0 ? fromMaster_ : fromSlave_;
                f.bytes.insert(f.bytes.end(), chunk, chunk + n);
                f.last = arrived;
            }
        }
        if ((fds[2].revents & POLLIN) != 0) {
            char drain[16];
            [[maybe_unused]] const ssize_t n = ::read(wake_[0], drain, sizeof drain);
        }
    }
}

}  // namespace hardening
