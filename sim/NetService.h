#pragma once
// A service on the network beside the line, served from the server's one
// poll loop: it names the descriptors to wait on, then handles what came.

#include <poll.h>

#include <span>
#include <string>
#include <vector>

namespace sim {

class NetService {
  public:
    virtual ~NetService() = default;
    // The target for the ready line.
    virtual std::string target() const = 0;
    // Appends the descriptors to wait on.
    virtual void watch(std::vector<pollfd>& fds) const = 0;
    // `fds` are the entries `watch` appended, as the poll left them.
    virtual void serve(std::span<const pollfd> fds) = 0;
};

}  // namespace sim
