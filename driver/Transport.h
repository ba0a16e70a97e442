#ifndef TQ7310_DRIVER_TRANSPORT_H
#define TQ7310_DRIVER_TRANSPORT_H

#include <cstdint>
#include <memory>

#include "Exchange.h"
#include "Frame.h"
#include "LineSettings.h"

namespace modbusrtu {

// The line one port talks over, as a transaction needs it: what a port
// decides (what is owed, what an echo means, what to log) stays in Port,
// whatever carries the frames. Every call returns what libmodbus's framing
// made of the bytes; none retries.
class Transport {
  public:
    virtual ~Transport() = default;

    // Whether every reply names the request it answers (Modbus TCP's
    // transaction id): then no reply is ever guessed from its shape.
    virtual bool identifiesReplies() const { return false; }

    // How long the next receive waits for a reply to start, and back to
    // the line's own.
    virtual void setResponseTimeout(std::int64_t us) = 0;
    virtual void restoreResponseTimeout() = 0;
    // Hands each frame that arrives until `until` to `onBytes`; 0, or the
    // errno of a line that went away.
    virtual int listenUntil(Clock::time_point until, const StrayBytes& onBytes) = 0;
    // What waits unread before a request, frame by frame; how many bytes
    // were taken, -1 where that cannot be told, 0 for none.
    virtual int takeWaiting(const StrayBytes& onBytes) = 0;
    // 0, or the errno of the discard that failed.
    virtual int flush() = 0;
    // 0, or the errno of an address refused.
    virtual int address(std::uint8_t slave) = 0;
    virtual bool send(const Request& request, Exchange& out) = 0;
    virtual Received receiveReply(std::uint8_t* buffer) = 0;
    virtual Received receiveEcho(std::uint8_t* buffer, std::int64_t timeoutUs) = 0;
};

struct OpenedTransport {
    std::unique_ptr<Transport> transport;  // null when it could not be opened
    int error = 0;                         // then: the errno
};

}  // namespace modbusrtu

#endif
