#ifndef TQ7310_DRIVER_LEDGER_H
#define TQ7310_DRIVER_LEDGER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "Frame.h"
#include "LineSettings.h"

namespace modbusrtu {

// The slave answered the request: an exception answers it too.
inline bool answers(const ReplyVerdict& verdict) {
    return verdict.outcome == TQ7310_OK || verdict.outcome == TQ7310_EXCEPTION;
}

// Whether a late reply to `unanswered` could pass for the answer to `next`
// and tell something false. A reply of another function code or length fails
// the reply's checks; a late echo of the very same write only confirms what
// the repeat asks, so a repeated write need not wait.
bool mistakable(const Request& unanswered, const Request& next);

// A request still without its answer, which may yet come.
struct Owed {
    std::uint32_t sequence = 0;  // its exchange in the traffic log
    Request request;
    Clock::time_point end;  // when it gave up waiting
};

// The requests of one port whose answer may still come, oldest first, and
// the rules that strike them off. RTU replies carry no transaction id, so
// these are what a frame on the line is held against before it is taken for
// the answer to the request out.
class Ledger {
  public:
    // A reply later than this after its request's time-out is taken to be
    // no reply to it: the slowest slave we know of answered 3 s late.
    static constexpr std::chrono::milliseconds kLateHorizon{TQ7310_LATE_REPLY_HORIZON_MS};
    // The most requests kept waiting for a late answer; past it the oldest goes.
    static constexpr std::size_t kMaxOwed = 16;

    void add(std::uint32_t sequence, const Request& request, Clock::time_point end);

    // The earliest request still owed that `frame` would answer, other than
    // a write the same as `current` (its echo confirms either). Past the
    // horizon a frame `current` could have drawn is its answer; any other
    // sound frame still answers what was owed, however late: a slave that
    // fell behind works through its backlog in order.
    std::optional<Owed> answeredBy(const std::uint8_t* frame, int length, const Request* current,
                                   Clock::time_point now) const;

    // The request's answer came late, or a frame that may have been it was
    // spent on an ambiguous read: either way it is owed no more.
    void forget(std::uint32_t sequence);
    // A slave answers in order, once a request: once it has answered the
    // request out, its earlier requests will never be answered. A late reply
    // strikes off only the request it answers, through forget: it may be
    // older still.
    void retire(std::uint8_t slave);
    // Whether a request of the shape of `request` (its slave and function,
    // and for a read its count) is owed.
    bool owesShape(const Request& request) const;
    void clear() { owed_.clear(); }
    std::size_t size() const { return owed_.size(); }

  private:
    std::vector<Owed> owed_;
};

// After a request that may still be answered late: until when, and for
// which shape of request, the line is listened to and discarded before the
// next request goes out.
class StragglerWait {
  public:
    void expect(const Request& unanswered, Clock::time_point until) {
        unanswered_ = unanswered;
        until_ = until;
    }
    void clear() { until_ = {}; }
    Clock::time_point until() const { return until_; }
    // Waiting only pays where a straggler could be mistaken for the answer;
    // on a dead line this keeps each request to one time-out. The answer
    // behind an echo that was just found is on its way whatever is asked
    // next, and would run into it.
    bool worthListening(const Request& next, bool answerBehindEcho, Clock::time_point now) const {
        return (answerBehindEcho || mistakable(unanswered_, next)) && now < until_;
    }

  private:
    Clock::time_point until_{};
    Request unanswered_{};
};

}  // namespace modbusrtu

#endif
