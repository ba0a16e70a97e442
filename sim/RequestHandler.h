#pragma once
// Turns one RTU request frame into the module's reply frame. No I/O: the
// caller brings the bytes in and takes the reply out, so garbage can be fed
// straight in.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/ModuleModel.h"

namespace sim {

// Modbus CRC-16 (polynomial 0xA001 reflected, initial 0xFFFF); the frame
// carries it low byte first.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// Appends the CRC so the bytes become a complete frame.
void appendCrc(std::vector<std::uint8_t>& frame);

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

    RequestHandler(ModuleModel& model, int address) : model_(model), address_(address) {}

    int address() const { return address_; }

    // `frame` is address, function, data and CRC.
    Handled handle(std::span<const std::uint8_t> frame);

  private:
    struct Result {
        std::vector<std::uint8_t> pdu;  // function code and data of a normal reply
        Exception exception{};
        bool failed = false;
        std::string what;
    };

    Result process(std::uint8_t function, std::span<const std::uint8_t> data);
    Result readBits(std::uint8_t function, std::span<const std::uint8_t> data);
    Result readRegisters(std::uint8_t function, std::span<const std::uint8_t> data);
    Result writeCoil(std::span<const std::uint8_t> data);
    Result writeRegister(std::span<const std::uint8_t> data);
    Result writeCoils(std::span<const std::uint8_t> data);
    Result writeRegisters(std::span<const std::uint8_t> data);

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
};

}  // namespace sim
