#include "Port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "PortName.h"

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

bool Port::prepare(const Request& request, bool awaitStraggler, int* waiting, Exchange& out) {
    if (!wanted_) {
        failBeforeSending({TQ7310_NOT_OPEN, 0, 0, false});
        return false;
    }
    if (broken_ && !reconnect()) {
        return false;
    }
    int error = 0;
    // Waiting for a straggler only pays where it could be mistaken for the
    // answer; on a dead line this keeps each request to one time-out.
    if (awaitStraggler && mistakable(unanswered_, request) && Clock::now() < quietUntil_) {
        error = listenUntil(ctx_, quietUntil_, timeouts_, [this](const std::uint8_t* b, int n) {
            const auto late =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - lastEnd_);
            logLate(b, n,
                    static_cast<std::int32_t>(std::min<std::int64_t>(
                        late.count(), std::numeric_limits<std::int32_t>::max())));
        });
    }
    quietUntil_ = {};
    // RTU replies carry no transaction id: whatever came after an earlier
    // request would be read as the answer to this one. It is read and
    // logged first, then the line is flushed.
    int taken = -1;
    if (error == 0) {
        taken = takeWaiting(ctx_, timeouts_.byteUs,
                            [this](const std::uint8_t* b, int n) { logLate(b, n, -1); });
        if (waiting != nullptr) {
            *waiting = taken;
        }
        if (taken > 0) {
            setResponseTimeout(ctx_, timeouts_.responseUs);
        }
    }
    // Where nothing was waiting the flush would find nothing either; a byte
    // that comes after the look would come after a flush just the same.
    errno = 0;
    if (error == 0 && taken != 0 && modbus_flush(ctx_) != 0) {
        error = lastSystemError();
    }
    if (error == 0 && modbus_set_slave(ctx_, request.slave) != 0) {
        error = errno != 0 ? errno : EINVAL;
    }
    if (error != 0) {
        const ErrorKind kind = classifyModbusError(error);
        out.verdict = {kind.outcome, 0, 0};
        out.systemError = kind.systemError;
        const auto now = Clock::now();
        conclude(request, out, false, std::chrono::system_clock::now(), now, now);
        return false;
    }
    return true;
}

bool Port::run(const Request& request, Exchange& out, const std::int64_t* responseUs,
               int* waiting) {
    std::lock_guard<std::mutex> line(line_);
    const bool probing = responseUs != nullptr;
    if (!prepare(request, !probing, waiting, out)) {
        return false;
    }
    if (probing) {
        setResponseTimeout(ctx_, *responseUs);
    }
    const auto sent = std::chrono::system_clock::now();
    const auto start = Clock::now();
    exchange(ctx_, request, out);
    const auto end = Clock::now();
    if (probing) {
        setResponseTimeout(ctx_, timeouts_.responseUs);
    }
    const bool ok = conclude(request, out, probing, sent, start, end);
    if (probing) {
        quietUntil_ = {};
    }
    return ok;
}

bool Port::conclude(const Request& request, const Exchange& out, bool probe,
                    std::chrono::system_clock::time_point sent, Clock::time_point start,
                    Clock::time_point end) {
    const Tq7310Outcome outcome = out.verdict.outcome;
    const bool ok = outcome == TQ7310_OK;
    const bool gotReply = out.replyLength > 0;
    if (outcome == TQ7310_IO_ERROR && isDeviceGone(out.systemError)) {
        broken_ = true;
    }
    // A time-out may be answered late; after an echo the answer is still to
    // come; a sound frame that answers another request means this one's own
    // answer may still be on its way.
    if (outcome == TQ7310_TIMEOUT || outcome == TQ7310_ECHO ||
        (outcome == TQ7310_BAD_FRAME && crcHolds(out.reply.data(), out.replyLength))) {
        quietUntil_ = end + std::chrono::microseconds(timeouts_.settleUs);
        unanswered_ = request;
    }
    const auto roundTripUs = static_cast<std::int32_t>(std::min<std::int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(end - start).count(),
        std::numeric_limits<std::int32_t>::max()));

    Tq7310Traffic entry{};
    entry.kind = TQ7310_TRAFFIC_EXCHANGE;
    entry.wall_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(sent.time_since_epoch()).count();
    entry.probe = probe ? 1 : 0;
    entry.outcome = outcome;
    entry.exception_code = out.verdict.exceptionCode;
    entry.other_address = out.verdict.otherAddress;
    entry.system_error = out.systemError;
    entry.round_trip_us = gotReply ? roundTripUs : -1;
    entry.request_length = out.sentLength;
    std::copy_n(out.sent.begin(), out.sentLength, entry.request);
    entry.reply_length = out.replyLength;
    std::copy_n(out.reply.begin(), std::max(out.replyLength, 0), entry.reply);
    lastSequence_ = log_.add(entry);
    lastEnd_ = end;

    std::lock_guard<std::mutex> guard(status_);
    ++report_.transactions;
    if (!ok) {
        ++report_.failures;
    }
    report_.outcome = outcome;
    report_.system_error = out.systemError;
    report_.exception_code = out.verdict.exceptionCode;
    report_.other_address = out.verdict.otherAddress;
    if (gotReply) {
        report_.round_trip_us = roundTripUs;
    }
    if (broken_) {
        report_.is_open = 0;
    }
    return ok;
}

void Port::logLate(const std::uint8_t* bytes, int length, std::int32_t lateUs) {
    Tq7310Traffic entry{};
    entry.kind = TQ7310_TRAFFIC_LATE;
    entry.wall_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    entry.round_trip_us = -1;
    entry.late_us = lateUs;
    entry.follows = lastSequence_;
    entry.reply_length = std::min(length, TQ7310_TRAFFIC_BYTES);
    std::copy_n(bytes, entry.reply_length, entry.reply);
    log_.add(entry);
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

}  // namespace modbusrtu
