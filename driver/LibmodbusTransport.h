#ifndef TQ7310_DRIVER_LIBMODBUSTRANSPORT_H
#define TQ7310_DRIVER_LIBMODBUSTRANSPORT_H

#include <modbus/modbus.h>

#include "Transport.h"

namespace modbusrtu {

// A transport over a connected libmodbus context, whichever its backend:
// framing, CRC and time-outs are libmodbus's. It closes and frees the
// context when it goes.
class LibmodbusTransport final : public Transport {
  public:
    LibmodbusTransport(modbus_t* ctx, const Timeouts& timeouts) : ctx_(ctx), timeouts_(timeouts) {}
    LibmodbusTransport(const LibmodbusTransport&) = delete;
    LibmodbusTransport& operator=(const LibmodbusTransport&) = delete;
    ~LibmodbusTransport() override;

    void setResponseTimeout(std::int64_t us) override;
    void restoreResponseTimeout() override;
    int listenUntil(Clock::time_point until, const StrayBytes& onBytes) override;
    int takeWaiting(const StrayBytes& onBytes) override;
    int flush() override;
    int address(std::uint8_t slave) override;
    bool send(const Request& request, Exchange& out) override;
    Received receiveReply(std::uint8_t* buffer) override;
    Received receiveEcho(std::uint8_t* buffer, std::int64_t timeoutUs) override;

  private:
    modbus_t* ctx_;
    Timeouts timeouts_;
};

}  // namespace modbusrtu

#endif
