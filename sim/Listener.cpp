#include "Listener.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

constexpr int kBacklog = 8;

// The port the kernel chose when asked for any.
int boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return -1;
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

}  // namespace

Listener::Listener(const std::string& host, int port, module_line::TargetKind kind) {
    target_.kind = kind;
    target_.device = host;
    const std::string where = module_line::PortTarget{kind, host, port}.text();
    errno = 0;
    ctx_ = modbus_new_tcp_pi(host.c_str(), std::to_string(port).c_str());
    if (ctx_ != nullptr) {
        fd_ = modbus_tcp_pi_listen(ctx_, kBacklog);
    }
    if (fd_ < 0) {
        const std::string why = errno != 0 ? std::strerror(errno) : "cannot listen";
        modbus_free(ctx_);
        throw ListenError(where + ": " + why);
    }
    target_.tcpPort = boundPort(fd_);
}

Listener::~Listener() {
    ::close(fd_);
    modbus_free(ctx_);
}

int Listener::accept() {
    int listening = fd_;
    const int fd = modbus_tcp_pi_accept(ctx_, &listening);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return fd;
}

}  // namespace sim
