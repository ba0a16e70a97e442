#include "Port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

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
    counters_ = {};
}

void Port::countFailureLocked(Tq7310Outcome outcome) {
    ++report_.failures;
    counters_.failed(outcome);
}

int Port::open(int number, const LineSettings& settings) {
    std::lock_guard<std::mutex> line(line_);
    dropConnection();
    const std::string device = devicePathFor(number);
    if (device != device_ || settings.baud != settings_.baud ||
        settings.parity != settings_.parity) {
        // What was asked on another device, or at other settings, comes as
        // garbage if at all; a search reports an echo at each setting.
        quietUntil_ = {};
        unansweredLedger_.clear();
        echo_ = Echo::Unknown;
        echoMisses_ = 0;
    }
    settings_ = settings;
    timeouts_ = timeoutsFor(settings.baud);
    device_ = device;
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
    // Another adapter may be plugged in before the next open.
    echo_ = Echo::Unknown;
    echoMisses_ = 0;
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
        countFailureLocked(TQ7310_OPEN_FAILED);
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
    // answer; on a dead line this keeps each request to one time-out. The
    // answer behind the echo that was just found is on its way whatever is
    // asked next, and would run into it.
    if (awaitStraggler && (echoedSequence_ != 0 || mistakable(unanswered_, request)) &&
        Clock::now() < quietUntil_) {
        error = listenUntil(ctx_, quietUntil_, timeouts_,
                            [this](const std::uint8_t* b, int n) { logStray(b, n, false); });
    }
    quietUntil_ = {};
    // RTU replies carry no transaction id: whatever came after an earlier
    // request would be read as the answer to this one. It is read and
    // logged first, then the line is flushed.
    int taken = -1;
    if (error == 0) {
        taken = takeWaiting(ctx_, timeouts_.byteUs,
                            [this](const std::uint8_t* b, int n) { logStray(b, n, true); });
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
        conclude(request, out, !awaitStraggler, std::chrono::system_clock::now(), now, now, {});
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
    SideFrames side;
    if (sendRequest(ctx_, request, out)) {
        receive(request, out, probing ? *responseUs : timeouts_.responseUs, probing, side);
    }
    const auto end = Clock::now();
    if (probing) {
        setResponseTimeout(ctx_, timeouts_.responseUs);
    }
    const bool ok = conclude(request, out, probing, sent, start, end, side);
    if (probing) {
        quietUntil_ = {};
    }
    return ok;
}

namespace {

// The slave answered the request: an exception answers it too.
bool answers(const ReplyVerdict& verdict) {
    return verdict.outcome == TQ7310_OK || verdict.outcome == TQ7310_EXCEPTION;
}

}  // namespace

bool Port::conclude(const Request& request, const Exchange& out, bool probe,
                    std::chrono::system_clock::time_point sent, Clock::time_point start,
                    Clock::time_point end, const SideFrames& side) {
    const Tq7310Outcome outcome = out.verdict.outcome;
    const bool ok = outcome == TQ7310_OK;
    const bool gotReply = out.replyLength > 0;
    // Only an exchange that got its own answer says how long the slave takes.
    const bool answered = answers(out.verdict);
    if (outcome == TQ7310_IO_ERROR && isDeviceGone(out.systemError)) {
        broken_ = true;
    }
    // A time-out may be answered late; after an echo the answer is still to
    // come; bytes that were not its answer, or a frame from another address,
    // may have come before it.
    if (outcome == TQ7310_TIMEOUT || outcome == TQ7310_ECHO || outcome == TQ7310_AMBIGUOUS ||
        outcome == TQ7310_BAD_FRAME || outcome == TQ7310_WRONG_SLAVE) {
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
    entry.follows = out.maybeAnswers;
    entry.reply_length = out.replyLength;
    std::copy_n(out.reply.begin(), std::max(out.replyLength, 0), entry.reply);
    lastSequence_ = log_.add(entry);
    lastEnd_ = end;
    for (const SideFrame& frame : side) {
        logSide(frame, lastSequence_);
    }
    // Nothing came, only our own request, noise or another address's frame:
    // its answer may yet come, and until then a reply of its shape could be
    // that answer. A search owes nothing to what it heard garbled.
    if (answered) {
        retire(request.slave);
    } else if ((outcome == TQ7310_TIMEOUT && out.replyLength == 0) || outcome == TQ7310_ECHO ||
               out.owed ||
               (!probe && (outcome == TQ7310_BAD_FRAME || outcome == TQ7310_WRONG_SLAVE))) {
        if (unansweredLedger_.size() == kMaxUnanswered) {
            unansweredLedger_.erase(unansweredLedger_.begin());
        }
        unansweredLedger_.push_back({lastSequence_, request, end});
    }
    echoedSequence_ = outcome == TQ7310_ECHO ? lastSequence_ : 0;

    std::lock_guard<std::mutex> guard(status_);
    ++report_.transactions;
    if (!ok) {
        countFailureLocked(outcome);
    }
    report_.outcome = outcome;
    report_.system_error = out.systemError;
    report_.exception_code = out.verdict.exceptionCode;
    report_.other_address = out.verdict.otherAddress;
    report_.maybe_answers = out.maybeAnswers;
    if (answered) {
        report_.round_trip_us = roundTripUs;
        counters_.roundTrip(roundTripUs);
    }
    if (broken_) {
        report_.is_open = 0;
    }
    return ok;
}

namespace {

std::int32_t microsecondsSince(Clock::time_point since, Clock::time_point now) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now - since).count(),
        std::numeric_limits<std::int32_t>::max()));
}

// An echo, the late answers of every request still owed one (a slave that
// stalled answers them all in a row) and this one's own: past these the line
// is babbling.
constexpr int kMaxFramesPerAnswer = static_cast<int>(Port::kMaxUnanswered) + 2;

}  // namespace

const Port::Unanswered* Port::answeredLate(const std::uint8_t* frame, int length,
                                           const Request* current) {
    const auto now = Clock::now();
    // Past the horizon a frame the request out could have drawn is its
    // answer. Any other sound frame still answers what was owed, however
    // late: a slave that fell behind works through its backlog in order, and
    // such a frame is no bad answer to the request out.
    const bool answersCurrent = current != nullptr && answers(checkReply(*current, frame, length));
    for (const Unanswered& u : unansweredLedger_) {
        if (answersCurrent && now - u.end > kLateHorizon) {
            continue;
        }
        const ReplyVerdict verdict = checkReply(u.request, frame, length);
        const bool sameWrite = current != nullptr && !current->isRead() && u.request == *current &&
                               verdict.outcome == TQ7310_OK;
        if (answers(verdict) && !sameWrite) {
            return &u;
        }
    }
    return nullptr;
}

void Port::forget(std::uint32_t sequence) {
    std::erase_if(unansweredLedger_,
                  [sequence](const Unanswered& u) { return u.sequence == sequence; });
}

void Port::retire(std::uint8_t slave) {
    std::erase_if(unansweredLedger_,
                  [slave](const Unanswered& u) { return u.request.slave == slave; });
}

bool Port::takeEcho(const Request& request, Exchange& out, std::int64_t responseUs,
                    SideFrames& side) {
    SideFrame echo;
    echo.kind = TQ7310_TRAFFIC_ECHO;
    const Received got = receiveEcho(ctx_, echo.bytes.data(), responseUs);
    echo.length = got.length;
    echo.read = Clock::now();
    if (got.otherAddress) {
        // libmodbus now skips the next request it reads; a fresh context
        // forgets that.
        broken_ = true;
    }
    if (got.length == out.sentLength &&
        std::equal(out.sent.begin(), out.sent.begin() + out.sentLength, echo.bytes.begin())) {
        echoMisses_ = 0;
        side.push_back(echo);
        return true;
    }
    std::copy_n(echo.bytes.begin(), got.length, out.reply.begin());
    out.replyLength = got.length;
    if (got.length == 0) {
        const ErrorKind kind = classifyModbusError(got.error);
        out.verdict = {kind.outcome, 0, 0};
        out.systemError = kind.systemError;
        return false;
    }
    // What came is the start of an answer, read as far as a request reaches.
    // One echo lost on a noisy line does not make the adapter stop echoing:
    // only a run of them does.
    if (++echoMisses_ >= kEchoMissesToForget) {
        echo_ = Echo::Absent;
    }
    out.verdict = checkReply(request, out.reply.data(), out.replyLength);
    return false;
}

void Port::receive(const Request& request, Exchange& out, std::int64_t responseUs, bool probing,
                   SideFrames& side) {
    const auto sentAt = Clock::now();
    if (echo_ == Echo::Learned && !takeEcho(request, out, responseUs, side)) {
        return;
    }
    if (!side.empty()) {
        side.back().since = sentAt;
    }
    // A frame that this request and an earlier unanswered one could both
    // have drawn; a second answer after it settles whose it was.
    std::optional<SideFrame> held;
    // Either way the frame spent the earlier request.
    const auto undecided = [this, &request, &out, &held] {
        std::copy_n(held->bytes.begin(), held->length, out.reply.begin());
        out.replyLength = held->length;
        out.verdict = {TQ7310_AMBIGUOUS, 0, 0};
        out.maybeAnswers = held->follows;
        forget(held->follows);
    };
    for (int frames = 0; frames < kMaxFramesPerAnswer; ++frames) {
        Heard heard = hear(request);
        SideFrame& frame = heard.frame;
        const Received& got = heard.got;
        const ReplyVerdict& verdict = heard.verdict;
        if (held && !(got.framed && answers(verdict))) {
            undecided();
            if (got.length > 0) {
                frame.since = frame.read;
                if (const Unanswered* earlier =
                        got.framed ? answeredLate(frame.bytes.data(), got.length, &request)
                                   : nullptr) {
                    frame.kind = TQ7310_TRAFFIC_LATE_REPLY;
                    frame.follows = earlier->sequence;
                    frame.since = earlier->end;
                    forget(frame.follows);
                }
                side.push_back(frame);
                out.owed = true;
            }
            return;
        }
        if (held) {
            side.push_back(*held);
            forget(held->follows);
            held.reset();
        }
        std::copy_n(frame.bytes.begin(), got.length, out.reply.begin());
        out.replyLength = got.length;
        if (!got.framed) {
            // Bytes that made no frame before the time-out are a bad frame.
            const ErrorKind kind = classifyModbusError(got.error);
            out.verdict = {got.length > 0 ? TQ7310_BAD_FRAME : kind.outcome, 0, 0};
            out.systemError = got.length > 0 ? 0 : kind.systemError;
            return;
        }
        out.verdict = verdict;
        if (verdict.outcome == TQ7310_ECHO) {
            echo_ = Echo::Learned;
            echoMisses_ = 0;
            return;
        }
        if (echo_ == Echo::Unknown && !request.isRead() && frames == 0 &&
            got.length == out.sentLength &&
            std::equal(out.sent.begin(), out.sent.begin() + out.sentLength, frame.bytes.begin())) {
            frame.since = sentAt;
            settleWriteEcho(request, out, frame, side);
            return;
        }
        const Unanswered* earlier = answeredLate(frame.bytes.data(), got.length, &request);
        if (earlier == nullptr) {
            if (echo_ == Echo::Unknown && answers(verdict)) {
                echo_ = Echo::Absent;
            }
            return;
        }
        if (probing && !answers(verdict)) {
            // A search reads a late frame from an address asked before as
            // the sign of life it is, and asks that address again.
            forget(earlier->sequence);
            return;
        }
        frame.kind = TQ7310_TRAFFIC_LATE_REPLY;
        frame.follows = earlier->sequence;
        frame.since = earlier->end;
        if (answers(verdict)) {
            held = frame;
        } else {
            side.push_back(frame);
            forget(frame.follows);
        }
    }
    if (held) {
        // Cut off by the bound: more was coming, this request's answer too.
        undecided();
        out.owed = true;
    }
}

Port::Heard Port::hear(const Request& request) {
    Heard heard;
    heard.got = receiveReply(ctx_, heard.frame.bytes.data());
    heard.frame.length = heard.got.length;
    heard.frame.read = Clock::now();
    if (heard.got.framed) {
        heard.verdict = checkReply(request, heard.frame.bytes.data(), heard.got.length);
    }
    return heard;
}

void Port::settleWriteEcho(const Request& request, Exchange& out, SideFrame& first,
                           SideFrames& side) {
    Heard heard = hear(request);
    SideFrame& second = heard.frame;
    const Received& got = heard.got;
    const ReplyVerdict& verdict = heard.verdict;
    if (got.framed && answers(verdict)) {
        // An answer behind it: the first was the adapter handing it back.
        echo_ = Echo::Learned;
        echoMisses_ = 0;
        first.kind = TQ7310_TRAFFIC_ECHO;
        side.push_back(first);
        std::copy_n(second.bytes.begin(), got.length, out.reply.begin());
        out.replyLength = got.length;
        out.verdict = verdict;
        return;
    }
    if (got.length > 0) {
        second.since = second.read;
        side.push_back(second);
    }
    // The slave's answer, or its echo with no answer behind it: the write
    // done, or ignored. Nothing on the line tells which.
    out.verdict = {TQ7310_AMBIGUOUS, 0, 0};
}

void Port::logSide(const SideFrame& frame, std::uint32_t exchangeSequence) {
    Tq7310Traffic entry{};
    entry.kind = frame.kind;
    entry.wall_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(
            (std::chrono::system_clock::now() - (Clock::now() - frame.read)).time_since_epoch())
            .count();
    entry.round_trip_us = -1;
    entry.late_us =
        frame.since == Clock::time_point{} ? -1 : microsecondsSince(frame.since, frame.read);
    entry.follows = frame.follows != 0 ? frame.follows : exchangeSequence;
    entry.reply_length = std::min(frame.length, TQ7310_TRAFFIC_BYTES);
    std::copy_n(frame.bytes.begin(), entry.reply_length, entry.reply);
    log_.add(entry);
}

void Port::logStray(const std::uint8_t* bytes, int length, bool foundWaiting) {
    // What follows a first echo is the rest of it and the answer behind it,
    // cut where libmodbus framed the echo: that answer is no longer awaited.
    forget(echoedSequence_);
    SideFrame frame;
    frame.length = std::min(length, kMaxFrameBytes);
    std::copy_n(bytes, frame.length, frame.bytes.begin());
    frame.read = Clock::now();
    const Unanswered* earlier = answeredLate(bytes, length, nullptr);
    if (earlier != nullptr) {
        frame.kind = TQ7310_TRAFFIC_LATE_REPLY;
        frame.follows = earlier->sequence;
        frame.since = foundWaiting ? Clock::time_point{} : earlier->end;
        forget(earlier->sequence);
    } else {
        frame.since = foundWaiting ? Clock::time_point{} : lastEnd_;
    }
    logSide(frame, lastSequence_);
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

void Port::counters(Tq7310LinkCounters& out) const {
    LinkCounters kept;
    {
        std::lock_guard<std::mutex> guard(status_);
        kept = counters_;
        out.transactions = report_.transactions;
        out.failures = report_.failures;
    }
    kept.fill(out);
}

}  // namespace modbusrtu
