#pragma once
// The simulator's end of the serial line: a pseudo-terminal it opens itself,
// or a real port.

#include <modbus.h>

#include <string>

#include "Options.h"

namespace sim {

class Line {
  public:
    Line() = default;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;
    ~Line();

    // Opens what the options ask for; on failure returns false and says why.
    bool open(const Options& options, std::string& error);

    int fd() const { return fd_; }
    // The baud rate the master has set on the pseudo-terminal, -1 for a rate
    // a module does not know, 0 when there is no way to tell (a real port).
    int masterBaud() const;
    // What the master should open.
    const std::string& device() const { return device_; }

  private:
    bool openPty(const Options& options, std::string& error);
    bool openDevice(const Options& options, std::string& error);
    bool makeLink(const std::string& path, std::string& error);

    int fd_ = -1;
    // The pseudo-terminal's other end: held open so that a master closing
    // and reopening the device does not hang the line up.
    int peer_ = -1;
    // For a real port: restores the port's settings when it closes.
    modbus_t* owner_ = nullptr;
    std::string device_;
    std::string link_;
};

}  // namespace sim
