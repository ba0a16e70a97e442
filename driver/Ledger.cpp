#include "Ledger.h"

#include <algorithm>

namespace modbusrtu {

bool mistakable(const Request& unanswered, const Request& next) {
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

void Ledger::add(std::uint32_t sequence, const Request& request, Clock::time_point end) {
    if (owed_.size() == kMaxOwed) {
        owed_.erase(owed_.begin());
    }
    owed_.push_back({sequence, request, end});
}

std::optional<Owed> Ledger::answeredBy(const std::uint8_t* frame, int length,
                                       const Request* current, Clock::time_point now) const {
    const bool answersCurrent = current != nullptr && answers(checkReply(*current, frame, length));
    for (const Owed& owed : owed_) {
        if (answersCurrent && now - owed.end > kLateHorizon) {
            continue;
        }
        const ReplyVerdict verdict = checkReply(owed.request, frame, length);
        const bool sameWrite = current != nullptr && !current->isRead() &&
                               owed.request == *current && verdict.outcome == TQ7310_OK;
        if (answers(verdict) && !sameWrite) {
            return owed;
        }
    }
    return std::nullopt;
}

bool Ledger::owesShape(const Request& request) const {
    return std::any_of(owed_.begin(), owed_.end(), [&request](const Owed& owed) {
        return owed.request.slave == request.slave && owed.request.function == request.function &&
               (!request.isRead() || owed.request.quantity == request.quantity);
    });
}

void Ledger::forget(std::uint32_t sequence) {
    std::erase_if(owed_, [sequence](const Owed& owed) { return owed.sequence == sequence; });
}

void Ledger::retire(std::uint8_t slave) {
    std::erase_if(owed_, [slave](const Owed& owed) { return owed.request.slave == slave; });
}

}  // namespace modbusrtu
