#pragma once
// RTU frames on one descriptor, the pseudo-terminal's or a serial server's
// socket alike: takes them off with libmodbus, answers them through the
// responder, and keeps quiet while other slaves use the line.

#include <modbus.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "Responder.h"

namespace sim {

class RtuPort {
  public:
    // `heardBaud` gives the baud rate the master set (-1 for one a module
    // does not know, 0 when there is no telling); empty: never told.
    RtuPort(Responder& responder, int fd, std::string where = {},
            std::function<int()> heardBaud = {});
    ~RtuPort();
    RtuPort(const RtuPort&) = delete;
    RtuPort& operator=(const RtuPort&) = delete;

    bool ready() const { return receiver_ != nullptr; }
    int fd() const { return fd_; }
    // Takes the frame waiting on the descriptor and answers it; false when
    // the other end is gone, and then `error` says why.
    bool serveFrame(int& error);

  private:
    using Time = Responder::Time;

    modbus_t* newReceiver() const;
    void renewReceiver();
    // Reads until the line has been quiet for a while; returns what came.
    std::vector<std::uint8_t> drain();
    void answer(std::span<const std::uint8_t> request, Time arrival);
    // The master's baud rate when a module would not hear it at that rate
    // (-1 when the rate is none a module knows), else 0.
    int offRate() const;

    Responder& responder_;
    int fd_;
    std::string where_;
    std::function<int()> heardBaud_;
    modbus_t* receiver_;
};

}  // namespace sim
