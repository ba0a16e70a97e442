#include "Port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "PortName.h"

#if !defined(_WIN32)
#include <sys/ioctl.h>
#endif

namespace modbusrtu {

namespace {

void copyDevice(const std::string& device, Tq7310LinkStatus& report) {
    const std::size_t n = std::min(device.size(), sizeof report.device - 1);
    std::memcpy(report.device, device.data(), n);
    report.device[n] = '\0';
}

}  // namespace

Port::~Port() {
    dropConnection();
}

void Port::dropConnection() {
    if (ctx_ != nullptr) {
        modbus_close(ctx_);
        modbus_free(ctx_);
        ctx_ = nullptr;
    }
}

void Port::resetCountersLocked() {
    report_.transactions = 0;
    report_.failures = 0;
    report_.round_trip_us = -1;
}

int Port::open(int number, const LineSettings& settings) {
    std::lock_guard<std::mutex> line(line_);
    dropConnection();
    settings_ = settings;
    timeouts_ = timeoutsFor(settings.baud);
    device_ = devicePathFor(number);
    quietUntil_ = {};
    broken_ = false;
    const Connection connection = connectRtu(device_, settings_, timeouts_);
    ctx_ = connection.ctx;
    const bool opened = ctx_ != nullptr;
    // A device that is not there yet is treated like one that went away:
    // every operation tries it again, so an adapter plugged in after "open"
    // starts working without another open.
    wanted_ = true;
    broken_ = !opened;

    std::lock_guard<std::mutex> guard(status_);
    resetCountersLocked();
    report_.outcome = opened ? TQ7310_OK : TQ7310_OPEN_FAILED;
    report_.system_error = opened ? 0 : connection.error;
    report_.exception_code = 0;
    report_.is_open = opened ? 1 : 0;
    report_.baud = settings_.baud;
    report_.parity = settings_.parity;
    copyDevice(device_, report_);
    return opened ? 0 : -2;
}

void Port::close() {
    std::lock_guard<std::mutex> line(line_);
    dropConnection();
    wanted_ = false;
    broken_ = false;
    std::lock_guard<std::mutex> guard(status_);
    report_.is_open = 0;
}

void Port::refuseOpen() {
    close();
    std::lock_guard<std::mutex> guard(status_);
    report_.outcome = TQ7310_BAD_ARGUMENT;
    report_.system_error = 0;
    report_.exception_code = 0;
}

void Port::refuse() {
    std::lock_guard<std::mutex> guard(status_);
    report_.outcome = TQ7310_BAD_ARGUMENT;
    report_.system_error = 0;
    report_.exception_code = 0;
}

bool Port::reconnect() {
    dropConnection();
    const Connection connection = connectRtu(device_, settings_, timeouts_);
    ctx_ = connection.ctx;
    broken_ = ctx_ == nullptr;
    quietUntil_ = {};

    // Counters run from the caller's open, through any number of reopens,
    // so a device that keeps going away shows as failures, not as a fresh start.
    std::lock_guard<std::mutex> guard(status_);
    report_.is_open = broken_ ? 0 : 1;
    if (broken_) {
        ++report_.transactions;
        ++report_.failures;
        report_.outcome = TQ7310_OPEN_FAILED;
        report_.system_error = connection.error;
        report_.exception_code = 0;
    }
    return !broken_;
}

void Port::failBeforeSending(const ErrorKind& kind) {
    std::lock_guard<std::mutex> guard(status_);
    report_.outcome = kind.outcome;
    report_.system_error = kind.systemError;
    report_.exception_code = kind.exceptionCode;
}

void Port::setResponseTimeout(modbus_t* ctx, std::int64_t us) {
    modbus_set_response_timeout(ctx, static_cast<std::uint32_t>(us / 1'000'000),
                                static_cast<std::uint32_t>(us % 1'000'000));
}

modbus_t* Port::prepare(int slave, const RequestShape& shape, bool awaitStraggler) {
    if (!wanted_) {
        failBeforeSending({TQ7310_NOT_OPEN, 0, 0, false});
        return nullptr;
    }
    if (broken_ && !reconnect()) {
        return nullptr;
    }
    int error = 0;
    // Waiting for a straggler only pays where it could be mistaken for the
    // answer; on a dead line this keeps each request to one time-out.
    if (awaitStraggler && mistakable(unanswered_, shape) && Clock::now() < quietUntil_) {
        error = discardUntil(ctx_, quietUntil_, timeouts_);
    }
    quietUntil_ = {};
    // RTU replies carry no transaction id and libmodbus does not flush
    // before a request: a reply that came in after an earlier time-out would
    // be read as the answer to this one.
    errno = 0;
    if (error == 0 && modbus_flush(ctx_) != 0) {
        error = lastSystemError();
    }
    if (error == 0 && modbus_set_slave(ctx_, slave) != 0) {
        error = errno != 0 ? errno : EINVAL;
    }
    if (error != 0) {
        conclude(-1, error, shape, Clock::now(), Clock::now());
        return nullptr;
    }
    return ctx_;
}

bool Port::conclude(int rc, int error, const RequestShape& shape, Clock::time_point start,
                    Clock::time_point end) {
    const bool ok = rc >= 0;
    ErrorKind kind;
    if (ok) {
        kind.outcome = TQ7310_OK;
        kind.gotReply = true;
    } else {
        kind = classifyModbusError(error);
        if (kind.outcome == TQ7310_IO_ERROR && isDeviceGone(error)) {
            broken_ = true;
        }
        // A time-out may be answered late; a reply to another request means
        // this one's own answer may still be on its way.
        if (kind.outcome == TQ7310_TIMEOUT || error == EMBBADDATA) {
            quietUntil_ = end + std::chrono::microseconds(timeouts_.settleUs);
            unanswered_ = shape;
        }
    }

    std::lock_guard<std::mutex> guard(status_);
    ++report_.transactions;
    if (!ok) {
        ++report_.failures;
    }
    report_.outcome = kind.outcome;
    report_.system_error = kind.systemError;
    report_.exception_code = kind.exceptionCode;
    if (kind.gotReply) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(end - start).count();
        report_.round_trip_us =
            static_cast<int32_t>(std::min<std::int64_t>(us, std::numeric_limits<int32_t>::max()));
    }
    if (broken_) {
        report_.is_open = 0;
    }
    return ok;
}

void Port::status(int number, Tq7310LinkStatus& out) const {
    {
        std::lock_guard<std::mutex> guard(status_);
        out = report_;
    }
    // A port nobody holds open names the device its number leads to now,
    // so a changed TQ7310_COM<n> or a new adapter shows before any open.
    if (out.device[0] == '\0' || out.is_open == 0) {
        copyDevice(devicePathFor(number), out);
    }
}

std::int32_t Port::waitingBytes() {
#if defined(_WIN32)
    return -1;
#else
    std::lock_guard<std::mutex> line(line_);
    int count = 0;
    if (!wanted_ || broken_ || ctx_ == nullptr ||
        ::ioctl(modbus_get_socket(ctx_), FIONREAD, &count) != 0) {
        return -1;
    }
    return count;
#endif
}

}  // namespace modbusrtu
