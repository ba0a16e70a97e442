#include "RtuTcpService.h"

#include <unistd.h>

namespace sim {

RtuTcpService::RtuTcpService(Responder& responder)
    : responder_(responder),
      listener_(responder.options().bind, responder.options().rtuTcpPort,
                module_line::TargetKind::RtuOverTcp) {}

RtuTcpService::~RtuTcpService() {
    close();
}

void RtuTcpService::close() {
    if (client_) {
        const int fd = client_->fd();
        client_.reset();
        ::close(fd);
    }
}

void RtuTcpService::watch(std::vector<pollfd>& fds) const {
    fds.push_back({listener_.fd(), POLLIN, 0});
    if (client_) {
        fds.push_back({client_->fd(), POLLIN, 0});
    }
}

void RtuTcpService::serve(std::span<const pollfd> fds) {
    if (fds.size() > 1 && fds[1].revents != 0) {
        int error = 0;
        if ((fds[1].revents & POLLIN) == 0 || !client_->serveFrame(error)) {
            responder_.console().log(
                "rtu-tcp: client gone" +
                (error != 0 ? ": " + std::string(modbus_strerror(error)) : ""));
            close();
        }
    }
    if ((fds[0].revents & POLLIN) != 0) {
        if (const int fd = listener_.accept(); fd >= 0) {
            if (client_) {
                responder_.console().log("rtu-tcp: a new client replaces the one before");
            }
            close();
            client_ = std::make_unique<RtuPort>(responder_, fd, "rtu-tcp: ");
            if (!client_->ready()) {
                close();
            }
        }
    }
}

}  // namespace sim
