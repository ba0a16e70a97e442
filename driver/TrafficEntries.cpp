#include "TrafficEntries.h"

#include <algorithm>
#include <limits>

namespace modbusrtu {

std::int32_t microsecondsSince(Clock::time_point since, Clock::time_point now) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now - since).count(),
        std::numeric_limits<std::int32_t>::max()));
}

Tq7310Traffic exchangeEntry(const Exchange& out, bool probe,
                            std::chrono::system_clock::time_point sent, std::int32_t roundTripUs) {
    Tq7310Traffic entry{};
    entry.kind = TQ7310_TRAFFIC_EXCHANGE;
    entry.wall_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(sent.time_since_epoch()).count();
    entry.probe = probe ? 1 : 0;
    entry.outcome = out.verdict.outcome;
    entry.exception_code = out.verdict.exceptionCode;
    entry.other_address = out.verdict.otherAddress;
    entry.system_error = out.systemError;
    entry.round_trip_us = out.replyLength > 0 ? roundTripUs : -1;
    // A Modbus TCP frame can be four bytes longer than a record holds:
    // its end is cut.
    entry.request_length = std::min(out.sentLength, TQ7310_TRAFFIC_BYTES);
    std::copy_n(out.sent.begin(), entry.request_length, entry.request);
    entry.follows = out.maybeAnswers;
    entry.reply_length = std::clamp(out.replyLength, 0, TQ7310_TRAFFIC_BYTES);
    std::copy_n(out.reply.begin(), entry.reply_length, entry.reply);
    return entry;
}

Tq7310Traffic sideEntry(const SideFrame& frame, std::uint32_t exchangeSequence) {
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
    return entry;
}

}  // namespace modbusrtu
