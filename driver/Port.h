#ifndef TQ7310_DRIVER_PORT_H
#define TQ7310_DRIVER_PORT_H

#include <modbus/modbus.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>

#include "ErrorKind.h"
#include "LineSettings.h"
#include "ModbusRTU.h"
#include "SerialDevice.h"
#include "SystemError.h"

namespace modbusrtu {

// A request as far as a stale reply to it could be mistaken for the answer
// to another. A reply of another function code or length fails libmodbus's
// confirmation check; replies to single writes are all alike in length.
struct RequestShape {
    int function = 0;
    int count = 0;   // points or registers read; 0 for writes
    int target = 0;  // for writes: the protocol address written
    int value = 0;   // for writes: the value written

    bool isWrite() const { return count == 0; }
    friend bool operator==(const RequestShape&, const RequestShape&) = default;
};

// Whether a late reply to `unanswered` could pass for the answer to `next`
// and tell something false. A late echo of the very same write only confirms
// what the repeat asks, so a repeated write need not wait.
inline bool mistakable(const RequestShape& unanswered, const RequestShape& next) {
    if (unanswered.function != next.function || unanswered.count != next.count) {
        return false;
    }
    return !(next.isWrite() && unanswered == next);
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

    // Runs `request(ctx)` as one transaction with `slave`; `request`
    // returns the libmodbus result (-1 with errno set on failure).
    template <typename Request>
    bool transact(int slave, const RequestShape& shape, Request&& request) {
        std::lock_guard<std::mutex> line(line_);
        modbus_t* ctx = prepare(slave, shape);
        if (ctx == nullptr) {
            return false;
        }
        const auto start = Clock::now();
        errno = 0;
        const int rc = request(ctx);
        const int error = rc < 0 ? lastSystemError() : 0;
        const auto end = Clock::now();
        return conclude(rc, error, shape, start, end);
    }

    // One transaction that waits at most `responseUs` for its reply to
    // start, for asking addresses nobody may be at: no straggler is listened
    // for before it, and none is owed after it, since a search that waited
    // out the normal settle time after every silent address would take
    // hours. The flush before each request still throws away what came late.
    template <typename Request>
    bool transactWithin(int slave, const RequestShape& shape, std::int64_t responseUs,
                        Request&& request) {
        std::lock_guard<std::mutex> line(line_);
        modbus_t* ctx = prepare(slave, shape, false);
        if (ctx == nullptr) {
            return false;
        }
        setResponseTimeout(ctx, responseUs);
        const auto start = Clock::now();
        errno = 0;
        const int rc = request(ctx);
        const int error = rc < 0 ? lastSystemError() : 0;
        const auto end = Clock::now();
        setResponseTimeout(ctx, timeouts_.responseUs);
        const bool ok = conclude(rc, error, shape, start, end);
        quietUntil_ = {};
        return ok;
    }

    void status(int number, Tq7310LinkStatus& out) const;

    // Bytes that arrived on the line and wait to be read, counted without
    // taking them (a late reply the next flush would throw away); -1 where
    // not counted: a port not open, or not POSIX.
    std::int32_t waitingBytes();

  private:
    modbus_t* prepare(int slave, const RequestShape& shape, bool awaitStraggler = true);
    static void setResponseTimeout(modbus_t* ctx, std::int64_t us);
    bool conclude(int rc, int error, const RequestShape& shape, Clock::time_point start,
                  Clock::time_point end);
    bool reconnect();
    void dropConnection();
    void failBeforeSending(const ErrorKind& kind);
    void resetCountersLocked();

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
    RequestShape unanswered_{};

    // Guarded by status_.
    mutable std::mutex status_;
    Tq7310LinkStatus report_{TQ7310_NONE, 0, 0, -1, 0, 0, 0, 0, 'N', {}, 0};
};

}  // namespace modbusrtu

#endif
