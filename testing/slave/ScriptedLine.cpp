#include "ScriptedLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <system_error>

namespace test_slave {

namespace {

constexpr std::size_t kRequestBytes = 8;

void writeAll(int fd, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw std::system_error(errno, std::generic_category(), "write");
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

}  // namespace

ScriptedLine::ScriptedLine(std::vector<Answer> answers) : answers_(std::move(answers)) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        throw std::system_error(errno, std::generic_category(), "openpty");
    }
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    device_ = ::ptsname(master_);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    thread_ = std::thread([this] { serve(); });
}

ScriptedLine::~ScriptedLine() {
    ::close(wakeWrite_);
    thread_.join();
    ::close(wakeRead_);
    ::close(master_);
    ::close(slave_);
}

int ScriptedLine::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void ScriptedLine::serve() {
    Bytes pending;
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;  // closed: the line is done
        }
        std::uint8_t chunk[256];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0) {
            continue;
        }
        pending.insert(pending.end(), chunk, chunk + n);
        while (pending.size() >= kRequestBytes) {
            const Bytes request(pending.begin(), pending.begin() + kRequestBytes);
            pending.erase(pending.begin(), pending.begin() + kRequestBytes);
            std::size_t index = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                index = static_cast<std::size_t>(requests_++);
            }
            Bytes out;
            for (const Bytes& piece : index < answers_.size() ? answers_[index] : Answer{}) {
                const Bytes& bytes = piece.empty() ? request : piece;
                out.insert(out.end(), bytes.begin(), bytes.end());
            }
            writeAll(master_, out.data(), out.size());
        }
    }
}

}  // namespace test_slave
