#ifndef TQ7310_DRIVER_TRAFFICENTRIES_H
#define TQ7310_DRIVER_TRAFFICENTRIES_H

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "Exchange.h"
#include "LineSettings.h"
#include "ModbusRTU.h"

namespace modbusrtu {

// A frame read on the line that was not the answer to the request out.
struct SideFrame {
    Tq7310TrafficKind kind = TQ7310_TRAFFIC_LATE;
    std::uint32_t follows = 0;  // 0: the exchange it was read in
    std::array<std::uint8_t, kMaxWireBytes> bytes{};
    int length = 0;
    Clock::time_point read;
    Clock::time_point since;  // what late_us is counted from; none: -1
};
using SideFrames = std::vector<SideFrame>;

// The log's entry for one exchange, sent at `sent`; `roundTripUs` counts
// only where a reply came.
Tq7310Traffic exchangeEntry(const Exchange& out, bool probe,
                            std::chrono::system_clock::time_point sent, std::int32_t roundTripUs);

// The log's entry for a side frame read in, or after, exchange
// `exchangeSequence`.
Tq7310Traffic sideEntry(const SideFrame& frame, std::uint32_t exchangeSequence);

// Microseconds from `since` to `now`, capped to what the log holds.
std::int32_t microsecondsSince(Clock::time_point since, Clock::time_point now);

}  // namespace modbusrtu

#endif
