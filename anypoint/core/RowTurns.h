#pragma once
// Which row asks next. Rows poll in turns, each at its own period: of the
// rows that are due, the one due longest goes first (the lower row on a
// tie), so a row whose reads time out costs the others its own time-out and
// no more, and no row asks twice while another due one waits.

#include <cstdint>
#include <optional>
#include <vector>

namespace anypoint {

struct RowClock {
    std::int64_t periodMs = 0;              // 0: not polled
    std::optional<std::int64_t> askedAtMs;  // when it last asked; never yet: due at once
    bool once = false;                      // to be asked once now, polled or not
};

// The row to ask at `nowMs`, if any is due.
std::optional<std::size_t> nextRow(const std::vector<RowClock>& rows, std::int64_t nowMs);

// How long until a row is due; 0 when one is, nothing when none is polled.
std::optional<std::int64_t> msUntilDue(const std::vector<RowClock>& rows, std::int64_t nowMs);

}  // namespace anypoint
