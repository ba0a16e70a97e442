#pragma once
// Turns one RTU request frame into the module's reply frame. Which reply the
// module gives is decided here; libmodbus puts it into a frame, on a socket
// pair rather than the line, so the handler does no I/O on the line and
// garbage can be fed straight in.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/ModuleModel.h"

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
    class Encoder;

    struct Result {
        Exception exception{};
        bool failed = false;
        std::string what;
        // The reply libmodbus built for a request the module accepted.
        std::vector<std::uint8_t> reply;
        // libmodbus took the request too, and a write's values are in the
        // mapping.
        bool stored = false;
    };

    Result process(std::span<const std::uint8_t> frame);
    Result reply(std::span<const std::uint8_t> frame, std::string what);
    static Result refuse(Exception e, std::string what);
    // A read of `maxCount` points at most, each of which must be `served`;
    // `load` puts a point's value where libmodbus answers from.
    Result read(std::span<const std::uint8_t> frame, std::string what, int maxCount,
                const std::function<bool(int)>& served, const std::function<void(int)>& load);
    Result readBits(std::span<const std::uint8_t> frame);
    Result readRegisters(std::span<const std::uint8_t> frame);
    Result writeCoil(std::span<const std::uint8_t> frame);
    Result writeRegister(std::span<const std::uint8_t> frame);
    Result writeCoils(std::span<const std::uint8_t> frame);
    Result writeRegisters(std::span<const std::uint8_t> frame);

    bool inputServed(int point) const;
    bool coilServed(int point) const;
    bool inputRegisterServed(int point) const;
    bool holdingServed(int point) const;

    bool readInput(int point) const;
    bool readCoil(int point) const;
    std::uint16_t readInputRegister(int point) const;
    std::uint16_t readHolding(int point) const;
    static bool holdingAccepts(int point, std::uint16_t value);
    void writeCoilPoint(int point, bool on);
    void writeHoldingPoint(int point, std::uint16_t value);

    ModuleModel& model_;
    int address_;
    std::unique_ptr<Encoder> encoder_;
};

}  // namespace sim
