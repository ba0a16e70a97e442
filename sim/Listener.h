#pragma once
// A listening TCP socket for a network service, set up by libmodbus, and
// the target text a master is given for it.

#include <modbus.h>

#include <stdexcept>
#include <string>

#include "PortTarget.h"

namespace sim {

struct ListenError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Listener {
  public:
    // Listens on `host` and `port`, 0 for any free port. Throws ListenError.
    Listener(const std::string& host, int port, module_line::TargetKind kind);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int fd() const { return fd_; }
    // A connection waiting, non-blocking and closed on exec; -1 if none.
    int accept();
    // What the panel is pointed at, with the port actually listened on.
    std::string target() const { return target_.text(); }

  private:
    modbus_t* ctx_ = nullptr;
    int fd_ = -1;
    module_line::PortTarget target_;
};

}  // namespace sim
