#include "NetworkLine.h"

#include <cerrno>
#include <string>

#include "Exchange.h"
#include "SystemError.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#endif

namespace modbusrtu {

namespace {

int socketError() {
#if defined(_WIN32)
    return errnoFromWin32(static_cast<unsigned long>(WSAGetLastError()));
#else
    return errno != 0 ? errno : EIO;
#endif
}

bool resolves(const module_line::PortTarget& target) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const bool ok = ::getaddrinfo(target.device.c_str(), nullptr, &hints, &found) == 0;
    if (found != nullptr) {
        ::freeaddrinfo(found);
    }
    return ok;
}

}  // namespace

modbus_t* connectTcp(const module_line::PortTarget& target, const Timeouts& timeouts, int& error) {
    errno = 0;
    modbus_t* ctx =
        modbus_new_tcp_pi(target.device.c_str(), std::to_string(target.tcpPort).c_str());
    if (ctx == nullptr) {
        error = errno != 0 ? errno : EINVAL;
        return nullptr;
    }
    // libmodbus's default is already no recovery of its own, as the driver
    // wants: it never sleeps or reconnects behind the driver's back.
    modbus_set_byte_timeout(ctx, static_cast<std::uint32_t>(timeouts.byteUs / 1'000'000),
                            static_cast<std::uint32_t>(timeouts.byteUs % 1'000'000));
    // libmodbus bounds the connect by the response time-out.
    setResponseTimeout(ctx, kConnectUs);
    errno = 0;
    if (modbus_connect(ctx) != 0) {
        error = lastSystemError();
        // libmodbus reports a name it could not look up as refused; to the
        // user that host is not reachable.
        if (error == ECONNREFUSED && !resolves(target)) {
            error = EHOSTUNREACH;
        }
        modbus_free(ctx);
        return nullptr;
    }
    setResponseTimeout(ctx, timeouts.responseUs);
    return ctx;
}

int Socket::sendAll(const std::uint8_t* bytes, int length) const {
    while (length > 0) {
#if defined(_WIN32)
        const int sent =
            ::send(static_cast<SOCKET>(handle_), reinterpret_cast<const char*>(bytes), length, 0);
#else
        // A peer that closed must be an error here, not a signal that ends
        // the panel.
        const auto sent = ::send(handle_, bytes, static_cast<std::size_t>(length), MSG_NOSIGNAL);
#endif
        if (sent <= 0) {
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            return socketError();
        }
        bytes += sent;
        length -= static_cast<int>(sent);
    }
    return 0;
}

int Socket::waitReadable(std::int64_t us) const {
    fd_set readable;
    FD_ZERO(&readable);
#if defined(_WIN32)
    FD_SET(static_cast<SOCKET>(handle_), &readable);
#else
    FD_SET(handle_, &readable);
#endif
    timeval wait{};
    wait.tv_sec = static_cast<decltype(wait.tv_sec)>(us / 1'000'000);
    wait.tv_usec = static_cast<decltype(wait.tv_usec)>(us % 1'000'000);
    errno = 0;
    const int ready = ::select(handle_ + 1, &readable, nullptr, nullptr, &wait);
    if (ready < 0) {
        return errno == EINTR ? 0 : -socketError();
    }
    return ready > 0 ? 1 : 0;
}

int Socket::receiveSome(std::uint8_t* bytes, int capacity) const {
    errno = 0;
#if defined(_WIN32)
    const int got =
        ::recv(static_cast<SOCKET>(handle_), reinterpret_cast<char*>(bytes), capacity, 0);
#else
    const auto got = ::recv(handle_, bytes, static_cast<std::size_t>(capacity), 0);
#endif
    if (got == 0) {
        return -ECONNRESET;
    }
    return got < 0 ? -socketError() : static_cast<int>(got);
}

int Socket::pending() const {
#if defined(_WIN32)
    u_long count = 0;
    return ::ioctlsocket(static_cast<SOCKET>(handle_), FIONREAD, &count) == 0
               ? static_cast<int>(count)
               : -1;
#else
    int count = 0;
    return ::ioctl(handle_, FIONREAD, &count) == 0 ? count : -1;
#endif
}

}  // namespace modbusrtu
