#ifndef TQ7310_DRIVER_TRAFFICLOG_H
#define TQ7310_DRIVER_TRAFFICLOG_H

#include <cstdint>
#include <memory>
#include <mutex>

#include "ModbusRTU.h"

namespace modbusrtu {

// The latest entries of one port, numbered from 1. Its own lock, so a
// reader never waits for a transaction, and the storage is taken at the
// first entry: most of the 255 ports never carry one.
class TrafficLog {
  public:
    static constexpr int kCapacity = 512;

    // Numbers `entry` and keeps it, dropping the oldest when full; returns
    // its sequence number.
    std::uint32_t add(Tq7310Traffic entry);
    int read(std::uint32_t after, Tq7310Traffic* records, int capacity, std::int32_t* lost) const;

  private:
    mutable std::mutex mutex_;
    std::unique_ptr<Tq7310Traffic[]> ring_;
    std::uint32_t next_ = 1;
};

}  // namespace modbusrtu

#endif
