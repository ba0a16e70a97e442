#include "TrafficLog.h"

#include <algorithm>

namespace modbusrtu {

std::uint32_t TrafficLog::add(Tq7310Traffic entry) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!ring_) {
        ring_ = std::make_unique<Tq7310Traffic[]>(kCapacity);
    }
    entry.sequence = next_++;
    ring_[entry.sequence % kCapacity] = entry;
    return entry.sequence;
}

int TrafficLog::read(std::uint32_t after, Tq7310Traffic* records, int capacity,
                     std::int32_t* lost) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const std::uint32_t newest = next_ - 1;
    const std::uint32_t oldest = newest >= kCapacity ? newest - kCapacity + 1 : 1;
    if (lost != nullptr) {
        *lost = after < newest && after + 1 < oldest ? static_cast<std::int32_t>(oldest - after - 1)
                                                     : 0;
    }
    if (after >= newest) {
        return 0;
    }
    const std::uint32_t first = std::max(after + 1, oldest);
    int copied = 0;
    for (std::uint32_t seq = first; seq <= newest && copied < capacity; ++seq) {
        records[copied++] = ring_[seq % kCapacity];
    }
    return copied;
}

}  // namespace modbusrtu
