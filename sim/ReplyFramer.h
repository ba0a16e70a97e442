#pragma once
// libmodbus as the module's line driver, except that its line is one end of a
// socket pair: what it sends comes out at the other end, and that is the
// reply frame. So the request handler decides every reply and still leaves
// the framing and the CRC to libmodbus, without touching the line.

#include <modbus.h>

#include <cstdint>
#include <span>
#include <vector>

namespace sim {

class ReplyFramer {
  public:
    using Bytes = std::vector<std::uint8_t>;
    using Frame = std::span<const std::uint8_t>;

    // The mapping has room for the given numbers of points of each kind.
    // Throws std::system_error when libmodbus or the socket pair cannot be
    // set up.
    ReplyFramer(int address, int coils, int inputs, int holding, int inputRegisters);
    ~ReplyFramer();
    ReplyFramer(const ReplyFramer&) = delete;
    ReplyFramer& operator=(const ReplyFramer&) = delete;

    // What libmodbus answers from, and where it stores a write's values.
    modbus_mapping_t& mapping() { return *mapping_; }

    // `body`, address, function and data, with its CRC; empty if libmodbus
    // sent nothing.
    Bytes frame(Frame body);
    // Whether the frame's CRC is the one libmodbus gives its bytes.
    bool intact(Frame frame);

    struct Sent {
        Bytes bytes;  // empty for a broadcast
        bool accepted = false;
    };
    // libmodbus's reply to `frame` from the mapping, a write's values stored
    // there first. Not `accepted` when libmodbus refused the request.
    Sent reply(Frame frame);
    // An exception reply to `frame`'s function; empty if libmodbus sent none.
    Bytes exception(Frame frame, std::uint8_t code);

  private:
    Bytes take();
    void release();

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    int line_ = -1;  // libmodbus's end
    int tap_ = -1;   // ours
};

}  // namespace sim
