#include "SerialDevice.h"

#include <cerrno>
#include <cstdint>

#if !defined(_WIN32)
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace modbusrtu {

namespace {

constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
// Once a straggling frame holds the line past the settle time we still stop
// listening eventually, so a babbling slave cannot stall the caller.
constexpr auto kLongestDiscard = std::chrono::seconds(1);

void toSecUsec(std::int64_t us, uint32_t& sec, uint32_t& usec) {
    sec = static_cast<uint32_t>(us / 1'000'000);
    usec = static_cast<uint32_t>(us % 1'000'000);
}

}  // namespace

bool isPseudoTerminal(const std::string& device) {
#if defined(_WIN32)
    (void)device;
    return false;
#else
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    const unsigned int majorNumber = major(info.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143;
#endif
}

bool isDeviceGone(int error) {
    switch (error) {
        case ETIMEDOUT:
            return false;
        default:
            // Any other system error leaves us unsure what the descriptor
            // still is; opening again costs little and settles it.
            return error > 0 && error < MODBUS_ENOBASE;
    }
}

Connection connectRtu(const std::string& device, const LineSettings& settings,
                      const Timeouts& timeouts) {
    // A pty carries no parity, so Linux drops PARENB, and glibc's tcsetattr
    // then reports EINVAL whenever nothing else in the settings changed
    // (the pty still holds them from an earlier open). Asking a pty for no
    // parity sends the same bytes and opens every time; a real UART still
    // gets the parity it was asked for and still fails loudly.
    const char parity = isPseudoTerminal(device) ? 'N' : settings.parity;
    Connection result;
    modbus_t* ctx = modbus_new_rtu(device.c_str(), settings.baud, parity, kDataBits, kStopBits);
    if (ctx == nullptr) {
        result.error = errno != 0 ? errno : EINVAL;
        return result;
    }
    uint32_t sec = 0;
    uint32_t usec = 0;
    toSecUsec(timeouts.responseUs, sec, usec);
    modbus_set_response_timeout(ctx, sec, usec);
    toSecUsec(timeouts.byteUs, sec, usec);
    modbus_set_byte_timeout(ctx, sec, usec);
    // The driver decides what to do after an error; libmodbus's own recovery
    // would sleep and reconnect behind our back.
    modbus_set_error_recovery(ctx, MODBUS_ERROR_RECOVERY_NONE);
    if (modbus_connect(ctx) != 0) {
        result.error = errno != 0 ? errno : EIO;
        modbus_free(ctx);
        return result;
    }
    // libmodbus does not flush on connect; whatever the adapter buffered
    // while the port was closed would otherwise be read as the first reply.
    if (modbus_flush(ctx) != 0) {
        result.error = errno != 0 ? errno : EIO;
        modbus_close(ctx);
        modbus_free(ctx);
        return result;
    }
    result.ctx = ctx;
    return result;
}

int discardUntil(modbus_t* ctx, Clock::time_point until, std::int64_t byteGapUs) {
#if defined(_WIN32)
    (void)ctx;
    (void)until;
    (void)byteGapUs;
    return 0;
#else
    const int fd = modbus_get_socket(ctx);
    const auto gap = std::chrono::microseconds(byteGapUs);
    const auto hardStop = until + kLongestDiscard;
    Clock::time_point lastByte{};
    for (;;) {
        const auto now = Clock::now();
        auto stop = until;
        if (lastByte + gap > stop) {
            stop = std::min(lastByte + gap, hardStop);
        }
        if (now >= stop) {
            return 0;
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(stop - now).count();
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(waitMs));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (ready == 0) {
            continue;
        }
        unsigned char scrap[256];
        const ssize_t got = ::read(fd, scrap, sizeof scrap);
        if (got > 0) {
            lastByte = Clock::now();
        } else if (got == 0) {
            return ECONNRESET;  // hung up, as libmodbus reports it
        } else if (errno != EAGAIN && errno != EINTR) {
            return errno;
        }
    }
#endif
}

}  // namespace modbusrtu
