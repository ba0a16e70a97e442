#ifndef TQ7310_TESTS_DRIVER_DRIVERTESTSUPPORT_H
#define TQ7310_TESTS_DRIVER_DRIVERTESTSUPPORT_H

#include <array>
#include <cstdint>

#include "ModbusRTU.h"

namespace driver_test {

// A value no read can produce by accident in these tests, so an element that
// still holds it was not written.
constexpr int32_t kSentinel = 0x5A5A5A5A;

// Codes as the panel passes them.
constexpr int32_t kBaud9600 = 1;
constexpr int32_t kBaud19200 = 2;
constexpr int32_t kBaud38400 = 3;
constexpr int32_t kParityNone = 0;
constexpr int32_t kParityOdd = 1;
constexpr int32_t kParityEven = 2;

using Buffer = std::array<int32_t, 130>;

inline Buffer sentinelBuffer() {
    Buffer b;
    b.fill(kSentinel);
    return b;
}

inline bool untouched(const Buffer& b) {
    for (int32_t v : b) {
        if (v != kSentinel) {
            return false;
        }
    }
    return true;
}

inline Tq7310LinkStatus linkStatus(int32_t port) {
    Tq7310LinkStatus s{};
    s.outcome = -1;
    TQ7310_GetLinkStatus(port, &s);
    return s;
}

// Reads first, as the panel's polls do, until the port knows whether its
// adapter echoes: until then a write's answer may be the write handed back.
inline bool readFirst(int32_t port, int32_t slave) {
    for (int reads = 0; reads < 8 && TQ7310_GetEcho(port) == TQ7310_ECHO_UNKNOWN; ++reads) {
        Buffer b = sentinelBuffer();
        Get_4X_UnDX(port, slave, 1, 1, b.data());
    }
    return TQ7310_GetEcho(port) != TQ7310_ECHO_UNKNOWN;
}

}  // namespace driver_test

#endif
