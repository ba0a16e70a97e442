#include "LinkCounters.h"

#include <algorithm>
#include <vector>

namespace modbusrtu {

void LinkCounters::failed(Tq7310Outcome outcome) {
    ++byOutcome_[static_cast<std::size_t>(outcome)];
}

void LinkCounters::roundTrip(std::int32_t us) {
    kept_[next_] = us;
    next_ = (next_ + 1) % kKept;
    min_ = roundTrips_ == 0 ? us : std::min(min_, us);
    max_ = std::max(max_, us);
    ++roundTrips_;
}

void LinkCounters::fill(Tq7310LinkCounters& out) const {
    out.timeouts = byOutcome_[TQ7310_TIMEOUT];
    out.bad_frames = byOutcome_[TQ7310_BAD_FRAME];
    out.exceptions = byOutcome_[TQ7310_EXCEPTION];
    out.wrong_slaves = byOutcome_[TQ7310_WRONG_SLAVE];
    out.echoes = byOutcome_[TQ7310_ECHO];
    out.ambiguous = byOutcome_[TQ7310_AMBIGUOUS];
    out.io_errors = byOutcome_[TQ7310_IO_ERROR];
    out.open_failures = byOutcome_[TQ7310_OPEN_FAILED];
    out.refused = byOutcome_[TQ7310_BAD_ARGUMENT];
    out.round_trips = roundTrips_;
    out.round_trip_min_us = min_;
    out.round_trip_max_us = max_;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(roundTrips_), kKept);
    if (n == 0) {
        out.round_trip_median_us = -1;
        out.round_trip_p95_us = -1;
        return;
    }
    std::vector<std::int32_t> sorted(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(n));
    std::sort(sorted.begin(), sorted.end());
    out.round_trip_median_us = sorted[(n - 1) / 2];
    // Nearest rank: the smallest value at least 95 % of them do not exceed.
    out.round_trip_p95_us = sorted[(95 * n + 99) / 100 - 1];
}

}  // namespace modbusrtu
