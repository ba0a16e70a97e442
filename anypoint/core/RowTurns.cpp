#include "RowTurns.h"

#include <algorithm>

namespace anypoint {

namespace {

std::optional<std::int64_t> dueAt(const RowClock& row) {
    if (row.once) {
        return 0;
    }
    if (row.periodMs <= 0) {
        return std::nullopt;
    }
    return row.askedAtMs ? *row.askedAtMs + row.periodMs : 0;
}

// The polled row due first, lowest index on a tie.
std::optional<std::size_t> firstDue(const std::vector<RowClock>& rows) {
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto due = dueAt(rows[i]);
        if (due && (!first || *due < *dueAt(rows[*first]))) {
            first = i;
        }
    }
    return first;
}

}  // namespace

std::optional<std::size_t> nextRow(const std::vector<RowClock>& rows, std::int64_t nowMs) {
    const auto first = firstDue(rows);
    if (first && *dueAt(rows[*first]) <= nowMs) {
        return first;
    }
    return std::nullopt;
}

std::optional<std::int64_t> msUntilDue(const std::vector<RowClock>& rows, std::int64_t nowMs) {
    const auto first = firstDue(rows);
    if (!first) {
        return std::nullopt;
    }
    return std::max<std::int64_t>(0, *dueAt(rows[*first]) - nowMs);
}

}  // namespace anypoint
