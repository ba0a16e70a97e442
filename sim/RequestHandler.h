#pragma once
// Turns one RTU request frame into the module's reply frame. Which reply the
// module gives is decided here; libmodbus puts it into a frame, on a socket
// pair rather than the line, so the handler does no I/O on the line and
// garbage can be fed straight in.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ModuleModel.h"

namespace sim {

enum class Exception : std::uint8_t {
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
};

struct Handled {
    // The whole reply frame with CRC; empty when nothing goes back on the line.
    std::vector<std::uint8_t> reply;
    // One line for the verbose log.
    std::string note;
};

class ReplyFramer;

class RequestHandler {
  public:
    static constexpr int kBroadcast = 0;

    // Throws std::system_error when libmodbus or the socket pair cannot be
    // set up.
    RequestHandler(ModuleModel& model, int address);
    ~RequestHandler();
    RequestHandler(const RequestHandler&) = delete;
    RequestHandler& operator=(const RequestHandler&) = delete;

    int address() const { return address_; }

    // `frame` is address, function, data and CRC.
    Handled handle(std::span<const std::uint8_t> frame);

  private:
    ModuleModel& model_;
    int address_;
    std::unique_ptr<ReplyFramer> framer_;
};

}  // namespace sim
