#ifndef TQ7310_DRIVER_PORT_H
#define TQ7310_DRIVER_PORT_H

#include <modbus/modbus.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ErrorKind.h"
#include "Exchange.h"
#include "Frame.h"
#include "LineSettings.h"
#include "LinkCounters.h"
#include "ModbusRTU.h"
#include "SerialDevice.h"
#include "SystemError.h"
#include "TrafficLog.h"

namespace modbusrtu {

// Whether a late reply to `unanswered` could pass for the answer to `next`
// and tell something false. A reply of another function code or length fails
// the reply's checks; a late echo of the very same write only confirms what
// the repeat asks, so a repeated write need not wait.
inline bool mistakable(const Request& unanswered, const Request& next) {
    if (unanswered.slave != next.slave || unanswered.function != next.function) {
        return false;
    }
    if (next.isRead()) {
        return unanswered.quantity == next.quantity;
    }
    // A write of several points is answered with its header alone, so the
    // values decide whether it is the same write.
    return unanswered.first != next.first || unanswered.quantity != next.quantity ||
           unanswered.data != next.data;
}

// One numbered port: its libmodbus context, the settings to reopen it with
// and what the status export reports about it.
//
// Two locks: `line_` is held for a whole transaction so operations on one
// port never interleave on the wire; `status_` only guards the status
// fields, so asking for the status never waits for a transaction.
class Port {
  public:
    Port() = default;
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    ~Port();

    // Returns 0 or -2 (device could not be opened); the port number only
    // decides which device.
    int open(int number, const LineSettings& settings);
    void close();

    // Bad codes on open: the port ends closed, as the -1 result says.
    void refuseOpen();
    // A refused operation: nothing went out.
    void refuse();

    // Runs `request` as one transaction with our time-outs: `out` holds
    // the bytes either way; true when the reply checked out.
    bool transact(const Request& request, Exchange& out) {
        return run(request, out, nullptr, nullptr);
    }

    // One transaction that waits at most `responseUs` for its reply to
    // start, for asking addresses nobody may be at: no straggler is listened
    // for before it, and none is owed after it, since a search that waited
    // out the normal settle time after every silent address would take
    // hours. What was waiting on the line before it is still read and
    // logged; `waiting` gets its count (-1 where it cannot be counted).
    bool probe(const Request& request, std::int64_t responseUs, Exchange& out, int& waiting) {
        return run(request, out, &responseUs, &waiting);
    }

    int readTraffic(std::uint32_t after, Tq7310Traffic* records, int capacity,
                    std::int32_t* lost) const {
        return log_.read(after, records, capacity, lost);
    }

    void status(int number, Tq7310LinkStatus& out) const;
    void counters(Tq7310LinkCounters& out) const;

    // Whether the adapter was found handing back the requests it sends.
    bool echoes() {
        const std::lock_guard<std::mutex> lock(line_);
        return echo_ == Echo::Learned;
    }

    // A reply later than this after its request's time-out is taken to be
    // no reply to it: the slowest slave we know of answered 3 s late.
    static constexpr std::chrono::milliseconds kLateHorizon{TQ7310_LATE_REPLY_HORIZON_MS};
    // The most requests kept waiting for a late answer.
    static constexpr std::size_t kMaxUnanswered = 16;

  private:
    // A request still without its answer, which may yet come.
    struct Unanswered {
        std::uint32_t sequence = 0;
        Request request;
        Clock::time_point end;
    };
    // A frame read on the line that was not the answer to the request out.
    struct SideFrame {
        Tq7310TrafficKind kind = TQ7310_TRAFFIC_LATE;
        std::uint32_t follows = 0;  // 0: the exchange it was read in
        std::array<std::uint8_t, kMaxFrameBytes> bytes{};
        int length = 0;
        Clock::time_point read;
        Clock::time_point since;  // what late_us is counted from
    };
    using SideFrames = std::vector<SideFrame>;
    // One frame read as the answer to a request, and what it means to it.
    struct Heard {
        SideFrame frame;
        Received got;
        ReplyVerdict verdict;
    };
    Heard hear(const Request& request);

    bool run(const Request& request, Exchange& out, const std::int64_t* responseUs, int* waiting);
    void receive(const Request& request, Exchange& out, std::int64_t responseUs, bool probing,
                 SideFrames& side);
    bool takeEcho(const Request& request, Exchange& out, std::int64_t responseUs, SideFrames& side);
    // The earliest request still unanswered that `frame` would answer, other
    // than a write the same as `current` (its echo confirms either).
    const Unanswered* answeredLate(const std::uint8_t* frame, int length, const Request* current);
    void forget(std::uint32_t sequence);
    // A slave answers in order, once a request: once it has answered the
    // request out, its earlier requests will never be answered. A late reply
    // strikes off only the request it answers: it may be older still.
    void retire(std::uint8_t slave);
    // A write whose first frame is the request itself, before the port
    // knows whether it echoes: one more listen tells.
    void settleWriteEcho(const Request& request, Exchange& out, SideFrame& first, SideFrames& side);
    void logSide(const SideFrame& frame, std::uint32_t exchangeSequence);
    void logStray(const std::uint8_t* bytes, int length, bool foundWaiting);
    bool prepare(const Request& request, bool awaitStraggler, int* waiting, Exchange& out);
    static void setResponseTimeout(modbus_t* ctx, std::int64_t us);
    bool conclude(const Request& request, const Exchange& out, bool probe,
                  std::chrono::system_clock::time_point sent, Clock::time_point start,
                  Clock::time_point end, const SideFrames& side);
    bool reconnect();
    void dropConnection();
    void failBeforeSending(const ErrorKind& kind);
    void resetCountersLocked();
    // Every failed transaction goes through here, so the kinds add up to
    // the failures.
    void countFailureLocked(Tq7310Outcome outcome);

    // Guarded by line_.
    std::mutex line_;
    modbus_t* ctx_ = nullptr;
    bool wanted_ = false;  // opened by the caller and not closed since
    bool broken_ = false;  // the device went away; reopen before the next use
    LineSettings settings_;
    Timeouts timeouts_;
    std::string device_;
    // After a request that may still be answered late: until when, and for
    // which shape of request, the line is listened to and discarded first.
    Clock::time_point quietUntil_{};
    Request unanswered_{};
    // The last transaction logged, which late bytes are logged after.
    std::uint32_t lastSequence_ = 0;
    Clock::time_point lastEnd_{};
    // Requests whose answer may still come, oldest first, within kLateHorizon;
    // kept across a reopen of the same device, since they are still on their way.
    std::vector<Unanswered> unansweredLedger_;
    // Whether the adapter on this port hands back the requests it sends:
    // learned from a read (or a write answered behind its echo), forgotten at
    // close or after kEchoMissesToForget replies in a row came without one.
    enum class Echo { Unknown, Learned, Absent };
    static constexpr int kEchoMissesToForget = 3;
    Echo echo_ = Echo::Unknown;
    int echoMisses_ = 0;
    // The transaction that just found the echo, while nothing has come since.
    std::uint32_t echoedSequence_ = 0;

    // Guarded by status_.
    mutable std::mutex status_;
    Tq7310LinkStatus report_{TQ7310_NONE, 0, 0, -1, 0, 0, 0, 0, 'N', {}, 0, 0};
    LinkCounters counters_;

    TrafficLog log_;
};

}  // namespace modbusrtu

#endif
