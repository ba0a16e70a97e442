#ifndef TQ7310_DRIVER_LINKCOUNTERS_H
#define TQ7310_DRIVER_LINKCOUNTERS_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "ModbusRTU.h"

namespace modbusrtu {

// A port's failures by kind and its round trips since open. No lock of its
// own: the port's status lock guards it, and a copy is what gets summed up.
class LinkCounters {
  public:
    void failed(Tq7310Outcome outcome);
    void roundTrip(std::int32_t us);
    // Every field but size, transactions and failures. Sorts the kept round
    // trips, so it is called on a copy, outside the status lock.
    void fill(Tq7310LinkCounters& out) const;

    // Enough for a rate that drifts to show in the percentiles, small enough
    // to sort each time they are asked for.
    static constexpr std::size_t kKept = 1000;

  private:
    std::array<std::int32_t, TQ7310_AMBIGUOUS + 1> byOutcome_{};
    std::array<std::int32_t, kKept> kept_{};
    std::size_t next_ = 0;  // where the next round trip goes in kept_
    std::int32_t roundTrips_ = 0;
    std::int32_t min_ = -1;
    std::int32_t max_ = -1;
};

}  // namespace modbusrtu

#endif
