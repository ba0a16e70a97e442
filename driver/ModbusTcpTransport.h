#ifndef TQ7310_DRIVER_MODBUSTCPTRANSPORT_H
#define TQ7310_DRIVER_MODBUSTCPTRANSPORT_H

#include <modbus/modbus.h>

#include <cerrno>

#include "NetworkLine.h"
#include "Transport.h"

namespace modbusrtu {

// Modbus TCP through libmodbus's TCP backend, which connects and frames
// what comes back by its MBAP header. Its raw request always carries
// transaction id 0, which would leave a late reply indistinguishable from
// the answer; so the request goes out with an id of ours, counted up per
// connection, behind a header written here. Frames are handed on as they
// came, MBAP header first.
class ModbusTcpTransport final : public Transport {
  public:
    ModbusTcpTransport(modbus_t* ctx, const Timeouts& timeouts)
        : ctx_(ctx), socket_(modbus_get_socket(ctx)), timeouts_(timeouts) {}
    ModbusTcpTransport(const ModbusTcpTransport&) = delete;
    ModbusTcpTransport& operator=(const ModbusTcpTransport&) = delete;
    ~ModbusTcpTransport() override;

    bool identifiesReplies() const override { return true; }
    void setResponseTimeout(std::int64_t us) override;
    void restoreResponseTimeout() override;
    // Every reply carries its id: no straggler is ever waited for, and
    // nothing on a network hands a request back.
    int listenUntil(Clock::time_point, const StrayBytes&) override { return 0; }
    int takeWaiting(const StrayBytes& onBytes) override;
    int flush() override;
    int address(std::uint8_t slave) override;
    bool send(const Request& request, Exchange& out) override;
    Received receiveReply(std::uint8_t* buffer) override;
    Received receiveEcho(std::uint8_t*, std::int64_t) override { return {0, false, ETIMEDOUT}; }

  private:
    modbus_t* ctx_;
    Socket socket_;
    Timeouts timeouts_;
    std::uint8_t unit_ = 0;
    std::uint16_t nextId_ = 1;
};

}  // namespace modbusrtu

#endif
