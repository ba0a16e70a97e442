#pragma once
// Modbus TCP: MBAP-framed requests from any number of clients, the unit id
// standing for the module's address. libmodbus takes each request off its
// socket; the responder answers it as a frame off the line, so the faults,
// the log and the module are the line's, and the reply goes back under the
// request's own transaction id, held back or not.

#include <modbus.h>

#include <cstdint>
#include <span>
#include <vector>

#include "Listener.h"
#include "NetService.h"
#include "Responder.h"

namespace sim {

class ModbusTcpService : public NetService {
  public:
    // Throws ListenError.
    explicit ModbusTcpService(Responder& responder);
    ~ModbusTcpService() override;

    std::string target() const override { return listener_.target(); }
    void watch(std::vector<pollfd>& fds) const override;
    void serve(std::span<const pollfd> fds) override;

  private:
    struct Client {
        int fd;
        modbus_t* receiver;
    };

    void accept();
    // False when the client is gone or out of step.
    bool serveRequest(const Client& client);
    void answer(const Client& client, std::span<const std::uint8_t> adu, Responder::Time arrival);

    Responder& responder_;
    Listener listener_;
    std::vector<Client> clients_;
};

}  // namespace sim
