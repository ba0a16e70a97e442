#include "Line.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

speed_t speedOf(int baud) {
    switch (baud) {
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        default:
            return B9600;
    }
}

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

Line::~Line() {
    if (!link_.empty()) {
        // Only our own link: another simulator may have taken the name over.
        char target[4096];
        const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == device_) {
            ::unlink(link_.c_str());
        }
    }
    if (owner_ != nullptr) {
        modbus_close(owner_);
        modbus_free(owner_);
    } else if (fd_ >= 0) {
        ::close(fd_);
    }
    if (peer_ >= 0) {
        ::close(peer_);
    }
}

int Line::masterBaud() const {
    termios tio{};
    if (peer_ < 0 || ::tcgetattr(peer_, &tio) != 0) {
        return 0;
    }
    switch (::cfgetospeed(&tio)) {
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        default:
            return -1;
    }
}

bool Line::open(const Options& options, std::string& error) {
    if (!options.device.empty()) {
        return openDevice(options, error);
    }
    return openPty(options, error) && (options.link.empty() || makeLink(options.link, error));
}

bool Line::openPty(const Options& options, std::string& error) {
    if (::openpty(&fd_, &peer_, nullptr, nullptr, nullptr) != 0) {
        error = systemError("openpty");
        return false;
    }
    const char* name = ::ttyname(peer_);
    if (name == nullptr) {
        error = systemError("ttyname");
        return false;
    }
    device_ = name;
    // Raw, so that no byte of a frame is translated, echoed or taken as a
    // control character. Parity is left off: a pseudo-terminal has no wire
    // to put it on, and Linux refuses some parity settings on one.
    termios tio{};
    if (::tcgetattr(peer_, &tio) != 0) {
        error = systemError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, speedOf(options.baud));
    ::cfsetospeed(&tio, speedOf(options.baud));
    if (::tcsetattr(peer_, TCSANOW, &tio) != 0) {
        error = systemError("tcsetattr");
        return false;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(peer_, F_SETFD, FD_CLOEXEC);
    return true;
}

bool Line::openDevice(const Options& options, std::string& error) {
    owner_ = modbus_new_rtu(options.device.c_str(), options.baud, options.parity, 8, 1);
    if (owner_ == nullptr) {
        error = systemError(options.device);
        return false;
    }
    if (modbus_connect(owner_) != 0) {
        error = options.device + ": " + modbus_strerror(errno);
        modbus_free(owner_);
        owner_ = nullptr;
        return false;
    }
    fd_ = modbus_get_socket(owner_);
    device_ = options.device;
    return true;
}

bool Line::makeLink(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        // A link left by a simulator that was killed is ours to replace; a
        // file is not.
        if (!S_ISLNK(st.st_mode)) {
            error = path + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(device_.c_str(), path.c_str()) != 0) {
        error = systemError("symlink " + path);
        return false;
    }
    link_ = path;
    return true;
}

}  // namespace sim
