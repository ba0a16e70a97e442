#ifndef TQ7310_DRIVER_NETWORKLINE_H
#define TQ7310_DRIVER_NETWORKLINE_H

#include <modbus/modbus.h>

#include <cstdint>

#include "LineSettings.h"
#include "PortTarget.h"

namespace modbusrtu {

// How long connecting to a network target may take before the port reports
// it could not be opened: a gateway on the LAN or across a WAN link answers
// a connection in well under that, and the caller's thread waits it out, so
// a dead address must not cost TCP's own minutes.
inline constexpr std::int64_t kConnectUs = 1'000'000;

// A libmodbus TCP context connected to the target's host and port, with
// our time-outs and no recovery of its own; null with `error` set when the
// connection failed (refused, unreachable, no such host, timed out).
modbus_t* connectTcp(const module_line::PortTarget& target, const Timeouts& timeouts, int& error);

// The raw socket under a connected context, for what libmodbus does not do
// over it: a Modbus TCP request with a transaction id of ours, and RTU frames
// carried as they are.
class Socket {
  public:
    explicit Socket(int handle) : handle_(handle) {}
    // 0, or the errno of a send that failed.
    int sendAll(const std::uint8_t* bytes, int length) const;
    // Waits at most `us` for bytes: 1 when some are there, 0 when none came,
    // else -errno.
    int waitReadable(std::int64_t us) const;
    // Up to `capacity` of the bytes that are there; -errno on failure, and a
    // peer that closed the connection is ECONNRESET.
    int receiveSome(std::uint8_t* bytes, int capacity) const;
    // Bytes waiting unread, -1 where that cannot be told.
    int pending() const;

  private:
    int handle_;
};

}  // namespace modbusrtu

#endif
