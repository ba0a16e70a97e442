#ifndef TQ7310_DRIVER_PORT_H
#define TQ7310_DRIVER_PORT_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "EchoState.h"
#include "ErrorKind.h"
#include "Exchange.h"
#include "Frame.h"
#include "Ledger.h"
#include "LineSettings.h"
#include "ModbusRTU.h"
#include "PortReport.h"
#include "PortTarget.h"
#include "TrafficEntries.h"
#include "TrafficLog.h"
#include "Transport.h"

namespace modbusrtu {

// One numbered port: the transaction, from the listen before the request
// to the verdict on what came back. What is owed lives in `ledger_`, what
// the adapter does in `echo_`, the line in `transport_`, what the exports
// report in `report_` and `log_`.
//
// Two locks: `line_` is held for a whole transaction so operations on one
// port never interleave on the wire; the report's own only guards the
// status fields, so asking for the status never waits for a transaction.
class Port {
  public:
    Port() = default;
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Returns 0 or -2 (device could not be opened); the port number only
    // decides which device.
    int open(int number, const LineSettings& settings);
    void close();

    // Bad codes on open: the port ends closed, as the -1 result says.
    void refuseOpen();
    // A refused operation: nothing went out.
    void refuse() { report_.refused(); }

    // Runs `request` as one transaction with our time-outs: `out` holds
    // the bytes either way; true when the reply checked out. A `responseUs`
    // other than 0 is this transaction's wait for its reply to start in
    // place of the line's; all else goes as in any other transaction, and
    // the next one waits as the line does again.
    bool transact(const Request& request, Exchange& out, std::int64_t responseUs = 0) {
        return run(request, out, responseUs, false, nullptr);
    }

    // One transaction that waits at most `responseUs` for its reply to
    // start, for asking addresses nobody may be at: no straggler is listened
    // for before it, and none is owed after it, since a search that waited
    // out the normal settle time after every silent address would take
    // hours. What was waiting on the line before it is still read and
    // logged; `waiting` gets its count (-1 where it cannot be counted).
    bool probe(const Request& request, std::int64_t responseUs, Exchange& out, int& waiting) {
        return run(request, out, responseUs, true, &waiting);
    }

    int readTraffic(std::uint32_t after, Tq7310Traffic* records, int capacity,
                    std::int32_t* lost) const {
        return log_.read(after, records, capacity, lost);
    }

    void status(int number, Tq7310LinkStatus& out) const;
    void counters(Tq7310LinkCounters& out) const { report_.counters(out); }

    // Whether the adapter hands back the requests it sends, as far as the
    // port knows.
    Tq7310Echo echo() {
        const std::lock_guard<std::mutex> lock(line_);
        return echo_.state();
    }

  private:
    // One frame read as the answer to a request, and what it means to it.
    struct Heard {
        SideFrame frame;
        Received got;
        ReplyVerdict verdict;
    };
    Heard hear(const Request& request);

    // `responseUs` 0: the line's own wait.
    bool run(const Request& request, Exchange& out, std::int64_t responseUs, bool probing,
             int* waiting);
    bool prepare(const Request& request, bool awaitStraggler, int* waiting, Exchange& out);
    void receive(const Request& request, Exchange& out, std::int64_t responseUs, bool probing,
                 SideFrames& side);
    // The answer over a line whose replies carry their request's id: any
    // other frame is a late reply, named by its id, or stray.
    void receiveIdentified(const Request& request, Exchange& out, SideFrames& side);
    void nameById(SideFrame& frame, int transactionId);
    // The echo, learned or possible: nothing when it came; else what came in
    // its place, with no bytes when nothing did (the verdict then set in
    // `out`).
    std::optional<Heard> takeEcho(const Request& request, Exchange& out, std::int64_t responseUs,
                                  SideFrames& side);
    // A write whose first frame is the request itself, before the port
    // knows whether it echoes: one more listen tells.
    void settleWriteEcho(const Request& request, Exchange& out, SideFrame& first, SideFrames& side);
    // The learned echo, last in `side`, then nothing: for a single write the
    // one frame was its echo with the write ignored, or its answer with the
    // echo lost on the way.
    void echoAlone(const Request& request, Exchange& out, SideFrames& side);
    // Names `frame` the late reply to `owed` and strikes that off.
    void markLate(SideFrame& frame, const Owed& owed);
    std::optional<Owed> answeredLate(const SideFrame& frame, int length, const Request* current) {
        return ledger_.answeredBy(frame.bytes.data(), length, current, Clock::now());
    }
    bool conclude(const Request& request, const Exchange& out, bool probe,
                  std::chrono::system_clock::time_point sent, Clock::time_point start,
                  Clock::time_point end, const SideFrames& side);
    void logStray(const std::uint8_t* bytes, int length, bool foundWaiting);
    bool reconnect();
    OpenedTransport openTarget() const;
    void noteConnectFailure(int error);

    // Guarded by line_.
    std::mutex line_;
    std::unique_ptr<Transport> transport_;
    bool wanted_ = false;  // opened by the caller and not closed since
    bool broken_ = false;  // the device went away; reopen before the next use
    LineSettings settings_;
    Timeouts timeouts_;
    std::string device_;
    std::optional<module_line::PortTarget> target_;  // none: written wrongly
    module_line::TargetKind kind_ = module_line::TargetKind::Serial;
    // Modbus TCP: the requests of this connection still owed an answer,
    // by transaction id.
    struct OwedId {
        int transactionId;
        std::uint32_t sequence;
        Clock::time_point end;
    };
    std::vector<OwedId> owedIds_;
    // A network target that could not be connected is tried again no
    // sooner than this.
    static constexpr auto kReconnectPause = std::chrono::seconds(2);
    Clock::time_point retryAfter_{};
    int lastConnectError_ = 0;
    StragglerWait straggler_;
    // The last transaction logged, which late bytes are logged after.
    std::uint32_t lastSequence_ = 0;
    Clock::time_point lastEnd_{};
    // Kept across a reopen of the same device at the same settings, since
    // what it holds is still on its way.
    Ledger ledger_;
    EchoState echo_;

    PortReport report_;
    TrafficLog log_;
};

}  // namespace modbusrtu

#endif
