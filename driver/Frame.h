#ifndef TQ7310_DRIVER_FRAME_H
#define TQ7310_DRIVER_FRAME_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "ModbusRTU.h"

namespace modbusrtu {

// The longest RTU frame: address, 253 bytes of PDU, CRC.
inline constexpr int kMaxFrameBytes = 256;

// One request of the driver: a read of `quantity` points or registers from
// protocol address `first` (functions 01..04), or a single write of `quantity`
// as the value to protocol address `first` (05, 06). Every one is six bytes
// before its CRC.
struct Request {
    std::uint8_t slave = 0;
    std::uint8_t function = 0;
    std::uint16_t first = 0;
    std::uint16_t quantity = 0;

    static constexpr int kBytes = 6;
    static constexpr int kFrameBytes = kBytes + 2;
    bool isRead() const { return function <= 0x04; }
    std::array<std::uint8_t, kBytes> bytes() const;
    // As it goes on the line, CRC included.
    std::array<std::uint8_t, kFrameBytes> frame() const;
    // The length of the reply a sound slave gives, CRC included.
    int replyLength() const;
};

// The Modbus CRC of `length` bytes, in the order it goes on the line
// (low byte first) as the value's low byte.
std::uint16_t crc16(const std::uint8_t* data, std::size_t length);
bool crcHolds(const std::uint8_t* frame, int length);

// How many bytes libmodbus's receive reads for a reply that starts with
// `frame`: it goes by the function code and, for reads, the byte count,
// and never reports the length when the frame is not one it accepts.
// `available` bounds the answer to what the buffer holds.
int receivedLength(const std::uint8_t* frame, int available);

// What a reply to `request` means. `length` is how many bytes of `frame`
// came; a time-out is not a reply and never reaches here.
struct ReplyVerdict {
    Tq7310Outcome outcome = TQ7310_BAD_FRAME;
    int exceptionCode = 0;  // TQ7310_EXCEPTION
    int otherAddress = 0;   // TQ7310_WRONG_SLAVE
};
ReplyVerdict checkReply(const Request& request, const std::uint8_t* frame, int length);

// The values of a reply that checkReply passed.
void unpackBits(const std::uint8_t* frame, int count, std::uint8_t* bits);
void unpackRegisters(const std::uint8_t* frame, int count, std::uint16_t* values);

}  // namespace modbusrtu

#endif
