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
    // The request's number among those addressed to us (broadcasts
    // included), 1 for the first; 0 for a frame that was no such request.
    std::uint64_t request = 0;
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

    // From now on every read answers with the request's number in place of
    // the points' values: each register holds it mod 65536, each bit i its
    // bit i. Writes are carried out and answered as ever.
    void stampReplies(bool on) { stamp_ = on; }

    // `frame` is address, function, data and CRC.
    Handled handle(std::span<const std::uint8_t> frame);

    // Address, function and data with the CRC libmodbus gives them: a
    // request from the network made into the frame `handle` takes.
    std::vector<std::uint8_t> frame(std::span<const std::uint8_t> addressAndPdu);

  private:
    ModuleModel& model_;
    int address_;
    std::unique_ptr<ReplyFramer> framer_;
    std::uint64_t requests_ = 0;
    bool stamp_ = false;
};

}  // namespace sim
