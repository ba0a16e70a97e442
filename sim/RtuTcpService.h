#pragma once
// RTU frames over TCP, as a transparent serial server carries them: the
// line's own code on the client's socket. One client at a time; a new
// connection replaces the one before, as a master that reconnects after a
// lost link expects.

#include <memory>

#include "Listener.h"
#include "NetService.h"
#include "Responder.h"
#include "RtuPort.h"

namespace sim {

class RtuTcpService : public NetService {
  public:
    // Throws ListenError.
    explicit RtuTcpService(Responder& responder);
    ~RtuTcpService() override;

    std::string target() const override { return listener_.target(); }
    void watch(std::vector<pollfd>& fds) const override;
    void serve(std::span<const pollfd> fds) override;

  private:
    void close();

    Responder& responder_;
    Listener listener_;
    std::unique_ptr<RtuPort> client_;
};

}  // namespace sim
