#pragma once
// Several slaves on one RS-485 line, for a test: a pseudo-terminal for the
// master (reached through a symbolic link) and the slaves' devices, where
// what any of them sends reaches all the others, as on a two-wire bus. The bytes are carried by a
// thread of its own, so a master that blocks in a transaction does not hold the line up.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace test_bus {

class SharedLine {
  public:
    // `slaves`: the devices the slaves serve on, opened as a master would.
    SharedLine(const std::string& masterLink, const std::vector<std::string>& slaves)
        : link_(masterLink) {
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

    void carry() {
        std::vector<pollfd> fds{{master_, POLLIN, 0}};
        for (const int fd : slaves_) {
            fds.push_back({fd, POLLIN, 0});
        }
        char buffer[512];
        while (!stop_) {
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
                // Everyone on the bus hears everyone else.
                for (std::size_t j = 0; j < fds.size(); ++j) {
                    if (j != i) {
                        send(fds[j].fd, buffer, n);
                    }
                }
            }
        }
    }

    std::string link_;
    int master_ = -1;
    int held_ = -1;
    std::vector<int> slaves_;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace test_bus
