#include "SerialDevice.h"

#include <cerrno>
#include <cstdint>

#include <algorithm>

#include "LibmodbusTransport.h"
#include "SystemError.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace modbusrtu {

namespace {

constexpr int kDataBits = 8;
constexpr int kStopBits = 1;

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

OpenedTransport openSerial(const std::string& device, const LineSettings& settings,
                           const Timeouts& timeouts) {
    // A pty carries no parity, so Linux drops PARENB, and glibc's tcsetattr
    // then reports EINVAL whenever nothing else in the settings changed
    // (the pty still holds them from an earlier open). Asking a pty for no
    // parity sends the same bytes and opens every time; a real UART still
    // gets the parity it was asked for and still fails loudly.
    const char parity = isPseudoTerminal(device) ? 'N' : settings.parity;
    OpenedTransport result;
    errno = 0;
    modbus_t* ctx = modbus_new_rtu(device.c_str(), settings.baud, parity, kDataBits, kStopBits);
    if (ctx == nullptr) {
        result.error = errno != 0 ? errno : EINVAL;
        return result;
    }
    setResponseTimeout(ctx, timeouts.responseUs);
    uint32_t sec = 0;
    uint32_t usec = 0;
    toSecUsec(timeouts.byteUs, sec, usec);
    modbus_set_byte_timeout(ctx, sec, usec);
    // The driver decides what to do after an error; libmodbus's own recovery
    // would sleep and reconnect behind our back.
    modbus_set_error_recovery(ctx, MODBUS_ERROR_RECOVERY_NONE);
    errno = 0;
    if (modbus_connect(ctx) != 0) {
        result.error = lastSystemError();
        modbus_free(ctx);
        return result;
    }
    // libmodbus does not flush on connect; whatever the adapter buffered
    // while the port was closed would otherwise be read as the first reply.
    errno = 0;
    if (modbus_flush(ctx) != 0) {
        result.error = lastSystemError();
        modbus_close(ctx);
        modbus_free(ctx);
        return result;
    }
    result.transport = std::make_unique<LibmodbusTransport>(ctx, timeouts);
    return result;
}

int listenUntil(modbus_t* ctx, Clock::time_point until, const Timeouts& timeouts,
                const StrayBytes& onBytes) {
    // libmodbus's own receive does the listening, so the wait is the same
    // code on every platform (on Windows libmodbus hides the handle, so
    // there is nothing to poll there). Each pass takes one frame, or gives
    // up at the end of the quiet time; a frame that has started is read to
    // its end on the byte time-out, which bounds the overrun by one frame.
    int error = 0;
    for (auto now = Clock::now(); error == 0 && now < until; now = Clock::now()) {
        setResponseTimeout(ctx, std::chrono::ceil<std::chrono::microseconds>(until - now).count());
        takeFrame(ctx, onBytes, error);
        if (!isDeviceGone(error)) {
            error = 0;
        }
    }
    setResponseTimeout(ctx, timeouts.responseUs);
    return error;
}

}  // namespace modbusrtu
