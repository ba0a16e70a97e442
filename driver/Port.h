#ifndef TQ7310_DRIVER_PORT_H
#define TQ7310_DRIVER_PORT_H

#include <modbus/modbus.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>

#include "ErrorKind.h"
#include "Exchange.h"
#include "Frame.h"
#include "LineSettings.h"
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
    if (unanswered.function != next.function) {
        return false;
    }
    if (next.isRead()) {
        return unanswered.quantity == next.quantity;
    }
    return unanswered.first != next.first || unanswered.quantity != next.quantity;
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

  private:
    bool run(const Request& request, Exchange& out, const std::int64_t* responseUs, int* waiting);
    bool prepare(const Request& request, bool awaitStraggler, int* waiting, Exchange& out);
    static void setResponseTimeout(modbus_t* ctx, std::int64_t us);
    bool conclude(const Request& request, const Exchange& out, bool probe,
                  std::chrono::system_clock::time_point sent, Clock::time_point start,
                  Clock::time_point end);
    void logLate(const std::uint8_t* bytes, int length, std::int32_t lateUs);
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
    Request unanswered_{};
    // The last transaction logged, which late bytes are logged after.
    std::uint32_t lastSequence_ = 0;
    Clock::time_point lastEnd_{};

    // Guarded by status_.
    mutable std::mutex status_;
    Tq7310LinkStatus report_{TQ7310_NONE, 0, 0, -1, 0, 0, 0, 0, 'N', {}, 0};

    TrafficLog log_;
};

}  // namespace modbusrtu

#endif
