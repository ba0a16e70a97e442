#ifndef TQ7310_DRIVER_RTUOVERTCPTRANSPORT_H
#define TQ7310_DRIVER_RTUOVERTCPTRANSPORT_H

#include <modbus/modbus.h>

#include "NetworkLine.h"
#include "Transport.h"

namespace modbusrtu {

// RTU frames carried over a TCP connection as a transparent serial server
// passes them, CRC and all. libmodbus has no backend for this; its TCP
// backend connects, and the frames are the driver's own: a request goes
// out as Request::frame() makes it, and a reply is read as far as
// receivedLength says libmodbus's RTU receive would read it, so a frame is
// cut and judged here just as it is on a serial port. Only the gap within a
// frame is the network's, since a serial server may split one frame over
// two segments.
class RtuOverTcpTransport final : public Transport {
  public:
    RtuOverTcpTransport(modbus_t* ctx, const Timeouts& timeouts)
        : ctx_(ctx),
          socket_(modbus_get_socket(ctx)),
          timeouts_(timeouts),
          responseUs_(timeouts.responseUs) {}
    RtuOverTcpTransport(const RtuOverTcpTransport&) = delete;
    RtuOverTcpTransport& operator=(const RtuOverTcpTransport&) = delete;
    ~RtuOverTcpTransport() override;

    void setResponseTimeout(std::int64_t us) override { responseUs_ = us; }
    void restoreResponseTimeout() override { responseUs_ = timeouts_.responseUs; }
    int listenUntil(Clock::time_point until, const StrayBytes& onBytes) override;
    int takeWaiting(const StrayBytes& onBytes) override;
    int flush() override;
    int address(std::uint8_t) override { return 0; }
    bool send(const Request& request, Exchange& out) override;
    Received receiveReply(std::uint8_t* buffer) override;
    Received receiveEcho(std::uint8_t*, std::int64_t) override;

  private:
    // One reply frame: the first byte waited for `firstUs`, the rest a gap
    // each.
    Received receiveFrame(std::uint8_t* buffer, std::int64_t firstUs);

    modbus_t* ctx_;
    Socket socket_;
    Timeouts timeouts_;
    std::int64_t responseUs_;
};

}  // namespace modbusrtu

#endif
