#pragma once
// Several slaves on one RS-485 line, for a test: a pseudo-terminal for the
// master (reached through a symbolic link) and the slaves' devices, where
// what any of them sends reaches all the others, as on a two-wire bus. The
// bytes are carried by a thread of its own, so a master that blocks in a
// transaction does not hold the line up.
//
// A line can have one of a real line's troubles (Trouble): an adapter that
// echoes, slaves that answer at once, or one slave behind something that
// ignores the address.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "RtuFrames.h"

namespace test_bus {

enum class Trouble {
    None,
    // The master hears every byte it sends, as from an adapter without
    // echo suppression.
    Echo,
    // Replies that overlap reach the master as the wired AND of their bytes,
    // once every slave has sent a whole frame (or kCollisionWait has passed);
    // slaves answering at once do not hear each other.
    Collide,
    // Every request reaches the first slave as if sent to its own address,
    // and its reply comes back from the address asked: a device or gateway
    // that ignores the address byte.
    AddressBlind,
};

class SharedLine {
  public:
    static constexpr auto kCollisionWait = std::chrono::milliseconds(300);

    // `slaves`: the devices the slaves serve on, opened as a master would.
    // `slaveAddress`: the first slave's own, for Trouble::AddressBlind.
    SharedLine(const std::string& masterLink, const std::vector<std::string>& slaves,
               Trouble trouble = Trouble::None, int slaveAddress = 1)
        : link_(masterLink), trouble_(trouble), slaveAddress_(slaveAddress) {
        int device = -1;
        if (::openpty(&master_, &device, nullptr, nullptr, nullptr) != 0) {
            return;
        }
        raw(master_);
        // The master end stays usable while the panel closes and reopens.
        held_ = device;
        ::unlink(link_.c_str());
        if (::symlink(::ttyname(device), link_.c_str()) != 0) {
            return;
        }
        for (const std::string& path : slaves) {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) {
                return;
            }
            raw(fd);
            slaves_.push_back(fd);
        }
        ok_ = true;
        thread_ = std::thread([this] { carry(); });
    }

    ~SharedLine() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        for (const int fd : slaves_) {
            ::close(fd);
        }
        ::unlink(link_.c_str());
        for (const int fd : {held_, master_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    SharedLine(const SharedLine&) = delete;
    SharedLine& operator=(const SharedLine&) = delete;

    bool ok() const { return ok_; }

  private:
    static void raw(int fd) {
        termios t{};
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }

    static void send(int fd, const char* bytes, ssize_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd, bytes, static_cast<std::size_t>(n));
            if (w <= 0) {
                return;
            }
            bytes += w;
            n -= w;
        }
    }

    using Bytes = std::vector<std::uint8_t>;

    // Whether `bytes` hold a whole reply.
    static bool whole(const Bytes& bytes) {
        const std::size_t length = bytes.size() < 3         ? 0
                                   : (bytes[1] & 0x80) != 0 ? 5
                                   : bytes[1] <= 4          ? 5u + bytes[2]
                                                            : 8;
        return length > 0 && bytes.size() >= length;
    }

    void fromMaster(const Bytes& bytes) {
        // The slaves hear the baud rate the master set: a strict simulator
        // ignores a request at another.
        termios master{};
        termios t{};
        for (const int fd : slaves_) {
            if (::tcgetattr(held_, &master) == 0 && ::tcgetattr(fd, &t) == 0) {
                ::cfsetspeed(&t, ::cfgetospeed(&master));
                ::tcsetattr(fd, TCSANOW, &t);
            }
        }
        if (trouble_ == Trouble::Echo) {
            send(master_, bytes);
        }
        if (trouble_ == Trouble::AddressBlind && bytes.size() >= 4) {
            asked_ = bytes[0];
        }
        for (const int fd : slaves_) {
            send(fd, readdressed(slaveAddress_, bytes));
        }
    }

    // Collide: the held replies as the master hears them, once all are in.
    void collide() {
        const auto empty = [](const Bytes& b) { return b.empty(); };
        if (std::all_of(replies_.begin(), replies_.end(), empty) ||
            (!std::all_of(replies_.begin(), replies_.end(), whole) &&
             std::chrono::steady_clock::now() - firstHeld_ < kCollisionWait)) {
            return;
        }
        Bytes wired;
        for (Bytes& b : replies_) {
            wired.resize(std::max(wired.size(), b.size()), 0xFF);
            for (std::size_t i = 0; i < b.size(); ++i) {
                wired[i] &= b[i];
            }
            b.clear();
        }
        send(master_, wired);
    }

    // AddressBlind: a frame as from or to `address`.
    Bytes readdressed(int address, const Bytes& frame) {
        return asked_ != 0 && frame.size() >= 4 ? frames_.readdressed(address, frame) : frame;
    }

    static void send(int fd, const Bytes& bytes) {
        send(fd, reinterpret_cast<const char*>(bytes.data()), ssize_t(bytes.size()));
    }

    void carry() {
        std::vector<pollfd> fds{{master_, POLLIN, 0}};
        for (const int fd : slaves_) {
            fds.push_back({fd, POLLIN, 0});
        }
        replies_.assign(slaves_.size(), {});
        std::uint8_t buffer[512];
        while (!stop_) {
            if (trouble_ == Trouble::Collide) {
                collide();
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0) {
                continue;
            }
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if ((fds[i].revents & POLLIN) == 0) {
                    continue;
                }
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    continue;
                }
                const Bytes bytes(buffer, buffer + n);
                if (i == 0) {
                    fromMaster(bytes);
                    continue;
                }
                if (trouble_ == Trouble::Collide) {
                    if (replies_[i - 1].empty()) {
                        firstHeld_ = std::chrono::steady_clock::now();
                    }
                    replies_[i - 1].insert(replies_[i - 1].end(), bytes.begin(), bytes.end());
                    continue;
                }
                // Everyone on the bus hears everyone else.
                send(master_, readdressed(asked_, bytes));
                for (std::size_t j = 1; j < fds.size(); ++j) {
                    if (j != i) {
                        send(fds[j].fd, bytes);
                    }
                }
            }
        }
    }

    std::string link_;
    Trouble trouble_;
    int slaveAddress_;
    int asked_ = 0;  // AddressBlind: the address of the latest request
    RtuFrames frames_;
    std::vector<Bytes> replies_;  // Collide: each slave's reply so far
    std::chrono::steady_clock::time_point firstHeld_;
    int master_ = -1;
    int held_ = -1;
    std::vector<int> slaves_;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace test_bus
