#include "Port.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "OpenLine.h"
#include "PortName.h"
#include "SerialDevice.h"

namespace modbusrtu {

namespace {

// An echo, the late answers of every request still owed one (a slave that
// stalled answers them all in a row) and this one's own: past these the line
// is babbling.
constexpr int kMaxFramesPerAnswer = static_cast<int>(Ledger::kMaxOwed) + 2;

void nameLate(SideFrame& frame, const Owed& owed) {
    frame.kind = TQ7310_TRAFFIC_LATE_REPLY;
    frame.follows = owed.sequence;
    frame.since = owed.end;
}

// Whether a frame sent at `was` still arrives whole at `now`. At another
// baud rate the bits are sampled at the wrong times. A port that checks
// parity reads a stop bit or the other parity where its parity bit should
// be, and hands on a byte that fails as 0; a port that checks none reads the
// parity bit as the stop bit and hands on the eight data bits as they came.
bool framesStillArriveWhole(const LineSettings& was, const LineSettings& now) {
    return now.baud == was.baud && (now.parity == was.parity || now.parity == 'N');
}

bool sameBytes(const Exchange& out, const std::uint8_t* bytes, int length) {
    return length == out.sentLength &&
           std::equal(out.sent.begin(), out.sent.begin() + length, bytes);
}

}  // namespace

int Port::open(int number, const LineSettings& settings) {
    const std::lock_guard<std::mutex> line(line_);
    transport_.reset();
    target_ = targetFor(number);
    const std::string device = devicePathFor(number);
    if (device != device_ || !framesStillArriveWhole(settings_, settings)) {
        // What was asked on another device, or at other framing, comes as
        // garbage if at all.
        straggler_.clear();
        ledger_.clear();
    }
    if (device != device_ || settings.baud != settings_.baud ||
        settings.parity != settings_.parity) {
        // A search reports an echo at each setting.
        echo_.forget();
    }
    settings_ = settings;
    device_ = device;
    kind_ = target_ ? target_->kind : module_line::TargetKind::Serial;
    timeouts_ = kind_ == module_line::TargetKind::Serial ? timeoutsFor(settings.baud)
                                                         : networkTimeouts(kind_, settings.baud);
    if (kind_ != module_line::TargetKind::Serial) {
        echo_.ruleOut();
    }
    owedIds_.clear();
    // The caller's open always tries, whatever failed before.
    retryAfter_ = {};
    OpenedTransport opened = openTarget();
    transport_ = std::move(opened.transport);
    noteConnectFailure(opened.error);
    // A device that is not there yet is treated like one that went away:
    // every operation tries it again, so an adapter plugged in after "open"
    // starts working without another open.
    wanted_ = true;
    broken_ = transport_ == nullptr;
    report_.opened(!broken_, opened.error, device_, settings_);
    return broken_ ? -2 : 0;
}

void Port::close() {
    const std::lock_guard<std::mutex> line(line_);
    transport_.reset();
    // Another adapter may be plugged in before the next open.
    echo_.forget();
    wanted_ = false;
    broken_ = false;
    report_.closed();
}

void Port::refuseOpen() {
    close();
    report_.refused();
}

OpenedTransport Port::openTarget() const {
    if (!target_) {
        // A network target written wrongly: nothing to open.
        OpenedTransport none;
        none.error = EINVAL;
        return none;
    }
    return openLine(*target_, settings_, timeouts_);
}

void Port::noteConnectFailure(int error) {
    if (transport_ == nullptr && kind_ != module_line::TargetKind::Serial) {
        retryAfter_ = Clock::now() + kReconnectPause;
        lastConnectError_ = error;
    }
}

bool Port::reconnect() {
    if (kind_ != module_line::TargetKind::Serial && Clock::now() < retryAfter_) {
        // Connecting to a host that does not answer takes the whole connect
        // time-out; the caller's thread is not made to wait it out at every
        // operation.
        report_.reopened(false, lastConnectError_);
        return false;
    }
    transport_.reset();
    // A new connection is never answered for the old one's requests.
    owedIds_.clear();
    OpenedTransport opened = openTarget();
    transport_ = std::move(opened.transport);
    broken_ = transport_ == nullptr;
    noteConnectFailure(opened.error);
    straggler_.clear();
    report_.reopened(!broken_, opened.error);
    return !broken_;
}

bool Port::prepare(const Request& request, bool awaitStraggler, int* waiting, Exchange& out) {
    if (!wanted_) {
        report_.failedBeforeSending({TQ7310_NOT_OPEN, 0, 0, false});
        return false;
    }
    if (broken_ && !reconnect()) {
        return false;
    }
    int error = 0;
    if (awaitStraggler && kind_ != module_line::TargetKind::ModbusTcp &&
        straggler_.worthListening(request, echo_.answerBehind() != 0, Clock::now())) {
        error = transport_->listenUntil(
            straggler_.until(), [this](const std::uint8_t* b, int n) { logStray(b, n, false); });
    }
    straggler_.clear();
    // RTU replies carry no transaction id: whatever came after an earlier
    // request would be read as the answer to this one. It is read and
    // logged first, then the line is flushed.
    int taken = -1;
    if (error == 0) {
        taken =
            transport_->takeWaiting([this](const std::uint8_t* b, int n) { logStray(b, n, true); });
        if (waiting != nullptr) {
            *waiting = taken;
        }
    }
    // Where nothing was waiting the flush would find nothing either; a byte
    // that comes after the look would come after a flush just the same.
    if (error == 0 && taken != 0) {
        error = transport_->flush();
    }
    if (error == 0) {
        error = transport_->address(request.slave);
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

bool Port::run(const Request& request, Exchange& out, std::int64_t responseUs, bool probing,
               int* waiting) {
    const std::lock_guard<std::mutex> line(line_);
    if (!prepare(request, !probing, waiting, out)) {
        return false;
    }
    // Set after prepare, whose reading of what waited puts the line's back.
    const bool ownWait = responseUs != 0;
    if (ownWait) {
        transport_->setResponseTimeout(responseUs);
    }
    const auto sent = std::chrono::system_clock::now();
    const auto start = Clock::now();
    SideFrames side;
    if (transport_->send(request, out)) {
        receive(request, out, ownWait ? responseUs : timeouts_.responseUs, probing, side);
    }
    const auto end = Clock::now();
    if (ownWait) {
        transport_->restoreResponseTimeout();
    }
    const bool ok = conclude(request, out, probing, sent, start, end, side);
    if (probing) {
        straggler_.clear();
    }
    return ok;
}

bool Port::conclude(const Request& request, const Exchange& out, bool probe,
                    std::chrono::system_clock::time_point sent, Clock::time_point start,
                    Clock::time_point end, const SideFrames& side) {
    const Tq7310Outcome outcome = out.verdict.outcome;
    // Only an exchange that got its own answer says how long the slave takes.
    const bool answered = answers(out.verdict);
    const bool answeredSpoilt = !probe && outcome == TQ7310_BAD_FRAME &&
                                spoiltAnswer(request, out.reply.data(), out.replyLength) &&
                                !ledger_.owesShape(request);
    if (outcome == TQ7310_IO_ERROR && isDeviceGone(out.systemError)) {
        broken_ = true;
    }
    const bool identified = kind_ == module_line::TargetKind::ModbusTcp;
    // A time-out may be answered late; after an echo the answer is still to
    // come; bytes that were not its answer, or a frame from another address,
    // may have come before it.
    if (!identified &&
        (outcome == TQ7310_TIMEOUT || outcome == TQ7310_ECHO || outcome == TQ7310_AMBIGUOUS ||
         outcome == TQ7310_BAD_FRAME || outcome == TQ7310_WRONG_SLAVE)) {
        straggler_.expect(request, end + std::chrono::microseconds(timeouts_.settleUs));
    }
    const std::int32_t roundTripUs = microsecondsSince(start, end);
    lastSequence_ = log_.add(exchangeEntry(out, probe, sent, roundTripUs));
    lastEnd_ = end;
    for (const SideFrame& frame : side) {
        log_.add(sideEntry(frame, lastSequence_));
    }
    // Nothing came, only our own request, noise or another address's frame:
    // its answer may yet come, and until then a reply of its shape could be
    // that answer. A search owes nothing to what it heard garbled.
    if (identified) {
        if (outcome == TQ7310_TIMEOUT && out.sentLength > 0) {
            if (owedIds_.size() == Ledger::kMaxOwed) {
                owedIds_.erase(owedIds_.begin());
            }
            owedIds_.push_back({out.transactionId, lastSequence_, end});
        }
    } else if (answered || answeredSpoilt) {
        ledger_.retire(request.slave);
    } else if ((outcome == TQ7310_TIMEOUT && out.replyLength == 0) || outcome == TQ7310_ECHO ||
               out.owed ||
               (!probe && (outcome == TQ7310_BAD_FRAME || outcome == TQ7310_WRONG_SLAVE))) {
        ledger_.add(lastSequence_, request, end);
    }
    echo_.transactionEnded(outcome == TQ7310_ECHO, lastSequence_);
    report_.transaction(out, answered, roundTripUs, broken_);
    return outcome == TQ7310_OK;
}

std::optional<Port::Heard> Port::takeEcho(const Request& request, Exchange& out,
                                          std::int64_t responseUs, SideFrames& side) {
    Heard heard;
    SideFrame& echo = heard.frame;
    echo.kind = TQ7310_TRAFFIC_ECHO;
    const Received got = transport_->receiveEcho(echo.bytes.data(), responseUs);
    echo.length = got.length;
    echo.read = Clock::now();
    if (got.otherAddress) {
        // libmodbus now skips the next request it reads; a fresh context
        // forgets that.
        broken_ = true;
    }
    if (sameBytes(out, echo.bytes.data(), got.length)) {
        echo_.learn();
        side.push_back(echo);
        return std::nullopt;
    }
    heard.got.length = got.length;
    if (got.length == 0) {
        const ErrorKind kind = classifyModbusError(got.error);
        out.verdict = {kind.outcome, 0, 0};
        out.systemError = kind.systemError;
        return heard;
    }
    // What came is the start of an answer, read as far as a request reaches,
    // and judged as one: it may be the late answer to an earlier request.
    echo_.missed();
    echo.kind = TQ7310_TRAFFIC_LATE;
    heard.got.framed = true;
    if (bytesShort(request, echo.bytes.data(), got.length) > 0) {
        // The rest waits on the line.
        const Heard rest = hear(request);
        const int kept = std::min(rest.got.length, kMaxFrameBytes - got.length);
        std::copy_n(rest.frame.bytes.begin(), kept, echo.bytes.begin() + got.length);
        echo.length = heard.got.length = got.length + kept;
        echo.read = rest.frame.read;
    }
    heard.verdict = checkReply(request, echo.bytes.data(), heard.got.length);
    return heard;
}

void Port::receive(const Request& request, Exchange& out, std::int64_t responseUs, bool probing,
                   SideFrames& side) {
    if (transport_->identifiesReplies()) {
        receiveIdentified(request, out, side);
        return;
    }
    const auto sentAt = Clock::now();
    std::optional<Heard> inEchoPlace;
    const bool echoExpected = echo_.learned();
    // The echo of a write of several points is longer than its answer: read
    // as an answer it would be cut, and what follows misread.
    if (echoExpected || (echo_.unknown() && request.writesSeveral())) {
        inEchoPlace = takeEcho(request, out, responseUs, side);
        if (inEchoPlace && inEchoPlace->got.length == 0) {
            return;
        }
    }
    const bool echoTaken = echoExpected && !inEchoPlace;
    if (!side.empty()) {
        side.back().since = sentAt;
    }
    // A frame that this request and an earlier unanswered one could both
    // have drawn; a second answer after it settles whose it was.
    std::optional<SideFrame> held;
    // Either way the frame spent the earlier request.
    const auto undecided = [this, &out, &held] {
        std::copy_n(held->bytes.begin(), held->length, out.reply.begin());
        out.replyLength = held->length;
        out.verdict = {TQ7310_AMBIGUOUS, 0, 0};
        out.maybeAnswers = held->follows;
        ledger_.forget(held->follows);
    };
    for (int frames = 0; frames < kMaxFramesPerAnswer; ++frames) {
        Heard heard = frames == 0 && inEchoPlace ? *inEchoPlace : hear(request);
        SideFrame& frame = heard.frame;
        const Received& got = heard.got;
        const ReplyVerdict& verdict = heard.verdict;
        if (held && !(got.framed && answers(verdict))) {
            undecided();
            if (got.length > 0) {
                frame.since = frame.read;
                if (const auto earlier =
                        got.framed ? answeredLate(frame, got.length, &request) : std::nullopt) {
                    nameLate(frame, *earlier);
                    ledger_.forget(frame.follows);
                }
                side.push_back(frame);
                out.owed = true;
            }
            return;
        }
        if (held) {
            side.push_back(*held);
            ledger_.forget(held->follows);
            held.reset();
        }
        std::copy_n(frame.bytes.begin(), got.length, out.reply.begin());
        out.replyLength = got.length;
        if (!got.framed) {
            // Bytes that made no frame before the time-out are a bad frame.
            const ErrorKind kind = classifyModbusError(got.error);
            out.verdict = {got.length > 0 ? TQ7310_BAD_FRAME : kind.outcome, 0, 0};
            out.systemError = got.length > 0 ? 0 : kind.systemError;
            if (frames == 0 && echoTaken && kind.outcome == TQ7310_TIMEOUT && got.length == 0) {
                echoAlone(request, out, side);
            }
            return;
        }
        out.verdict = verdict;
        if (verdict.outcome == TQ7310_ECHO) {
            echo_.learn();
            return;
        }
        if (echo_.unknown() && !request.isRead() && frames == 0 &&
            sameBytes(out, frame.bytes.data(), got.length)) {
            frame.since = sentAt;
            settleWriteEcho(request, out, frame, side);
            return;
        }
        const auto earlier = answeredLate(frame, got.length, &request);
        if (!earlier) {
            if (answers(verdict)) {
                echo_.answeredWithout();
            }
            return;
        }
        if (probing && !answers(verdict)) {
            // A search reads a late frame from an address asked before as
            // the sign of life it is, and asks that address again.
            ledger_.forget(earlier->sequence);
            return;
        }
        nameLate(frame, *earlier);
        if (answers(verdict)) {
            held = frame;
        } else {
            side.push_back(frame);
            ledger_.forget(frame.follows);
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
    heard.got = transport_->receiveReply(heard.frame.bytes.data());
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
    if (got.framed && answers(heard.verdict)) {
        // An answer behind it: the first was the adapter handing it back.
        echo_.learn();
        first.kind = TQ7310_TRAFFIC_ECHO;
        side.push_back(first);
        std::copy_n(second.bytes.begin(), got.length, out.reply.begin());
        out.replyLength = got.length;
        out.verdict = heard.verdict;
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

void Port::echoAlone(const Request& request, Exchange& out, SideFrames& side) {
    // The echo of a read or of a write of several points is no answer.
    if (request.isRead() || request.writesSeveral()) {
        return;
    }
    const SideFrame echo = side.back();
    side.pop_back();
    std::copy_n(echo.bytes.begin(), echo.length, out.reply.begin());
    out.replyLength = echo.length;
    out.verdict = {TQ7310_AMBIGUOUS, 0, 0};
    // If it was the echo, the answer may still come.
    out.owed = true;
}

void Port::logStray(const std::uint8_t* bytes, int length, bool foundWaiting) {
    // What follows a first echo is the rest of it and the answer behind it,
    // cut where libmodbus framed the echo: that answer is no longer awaited.
    ledger_.forget(echo_.answerBehind());
    SideFrame frame;
    frame.length = std::min(length, kMaxWireBytes);
    std::copy_n(bytes, frame.length, frame.bytes.begin());
    frame.read = Clock::now();
    if (transport_->identifiesReplies()) {
        nameById(frame, mbapTransactionId(bytes, length));
    } else if (const auto earlier = ledger_.answeredBy(bytes, length, nullptr, frame.read)) {
        nameLate(frame, *earlier);
        ledger_.forget(earlier->sequence);
    } else {
        frame.since = lastEnd_;
    }
    if (foundWaiting) {
        frame.since = {};
    }
    log_.add(sideEntry(frame, lastSequence_));
}

void Port::receiveIdentified(const Request& request, Exchange& out, SideFrames& side) {
    for (int frames = 0; frames < kMaxFramesPerAnswer; ++frames) {
        SideFrame frame;
        const Received got = transport_->receiveReply(frame.bytes.data());
        frame.length = got.length;
        frame.read = Clock::now();
        if (got.framed && got.transactionId != out.transactionId) {
            nameById(frame, got.transactionId);
            side.push_back(frame);
            continue;
        }
        std::copy_n(frame.bytes.begin(), got.length, out.reply.begin());
        out.replyLength = got.length;
        if (got.framed) {
            out.verdict = checkTcpReply(request, out.reply.data(), got.length);
        } else {
            const ErrorKind kind = classifyModbusError(got.error);
            out.verdict = {got.length > 0 ? TQ7310_BAD_FRAME : kind.outcome, 0, 0};
            out.systemError = got.length > 0 ? 0 : kind.systemError;
        }
        return;
    }
    // Past the bound the line is babbling: this request's answer is not
    // among what came.
    out.verdict = {TQ7310_BAD_FRAME, 0, 0};
}

void Port::nameById(SideFrame& frame, int transactionId) {
    const auto owed = std::find_if(owedIds_.begin(), owedIds_.end(), [&](const OwedId& o) {
        return o.transactionId == transactionId;
    });
    if (owed == owedIds_.end()) {
        frame.since = lastEnd_;
        return;
    }
    frame.kind = TQ7310_TRAFFIC_LATE_REPLY;
    frame.follows = owed->sequence;
    frame.since = owed->end;
    owedIds_.erase(owed);
}

void Port::status(int number, Tq7310LinkStatus& out) const {
    report_.status([number] { return devicePathFor(number); }, out);
}

}  // namespace modbusrtu
