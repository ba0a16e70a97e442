#ifndef TQ7310_DRIVER_FRAME_H
#define TQ7310_DRIVER_FRAME_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "ModbusRTU.h"
#include "PortTarget.h"

namespace modbusrtu {

// The longest RTU frame: address, 253 bytes of PDU, CRC.
inline constexpr int kMaxFrameBytes = 256;
// The longest Modbus TCP frame: the MBAP header and 253 bytes of PDU.
using module_line::kMbapBytes;
using module_line::kMbapUnitAt;
inline constexpr int kMaxWireBytes = kMbapBytes + 253;

// The most values one write of several coils (0F) or registers (10)
// carries: 1968 coils or 123 registers, 246 bytes either way.
inline constexpr int kMaxWriteBytes = 246;

// One request of the driver: a read of `quantity` points or registers from
// protocol address `first` (functions 01..04), a single write of `quantity`
// as the value to protocol address `first` (05, 06), or a write of `quantity`
// coils or registers from `first` (0F, 10) whose values are in `data`, packed
// as they go out. The first six bytes, the header, are all a single write and
// a read have before the CRC.
struct Request {
    std::uint8_t slave = 0;
    std::uint8_t function = 0;
    std::uint16_t first = 0;
    std::uint16_t quantity = 0;
    std::array<std::uint8_t, kMaxWriteBytes> data{};

    static constexpr int kBytes = 6;
    static constexpr int kFrameBytes = kBytes + 2;
    bool isRead() const { return function <= 0x04; }
    bool writesSeveral() const { return function == 0x0F || function == 0x10; }
    // The bytes of `data` that go out.
    int dataBytes() const;
    // The request without its CRC, as libmodbus is handed it.
    int length() const { return writesSeveral() ? kBytes + 1 + dataBytes() : kBytes; }
    std::array<std::uint8_t, kBytes> bytes() const;
    // As it goes on the line, CRC included: the first length() + 2 bytes.
    std::array<std::uint8_t, kMaxFrameBytes> frame() const;
    // The length of the reply a sound slave gives, CRC included.
    int replyLength() const;
    bool operator==(const Request&) const = default;
};

// A write of `count` coils from protocol address `first`, bits[i] != 0
// switching point i on: one (05) or several (0F).
Request coilWrite(std::uint8_t slave, std::uint16_t first, const std::uint8_t* bits, int count);
// A write of `count` holding registers: one (06) or several (10).
Request registerWrite(std::uint8_t slave, std::uint16_t first, const std::uint16_t* values,
                      int count);

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

// What a Modbus TCP reply to `request` means, judged as the RTU frame it
// carries; a header that is not sound (protocol id, length) makes it a bad
// frame.
ReplyVerdict checkTcpReply(const Request& request, const std::uint8_t* adu, int length);

// The transaction id a Modbus TCP frame starts with; -1 for a frame too short
// to carry one.
inline int mbapTransactionId(const std::uint8_t* adu, int length) {
    return length >= 2 ? (adu[0] << 8) | adu[1] : -1;
}

// A frame from the slave asked, as long as its answer or its exception,
// whose CRC failed on the way: its answer, spoilt, unless something else of
// that shape could have sent it.
bool spoiltAnswer(const Request& request, const std::uint8_t* frame, int length);

// A frame that libmodbus read as a request, where it begins an answer of
// the shape `request` draws, from whichever address: how many bytes of that
// answer are still on the line. An exception's function code is none a
// request carries more after, and a write's answer, read as a write of
// several points, ends at the byte taken for its byte count (or one before,
// where that count would overrun the frame). 0 for any other frame.
int bytesShort(const Request& request, const std::uint8_t* frame, int length);

// The values of a reply that checkReply passed.
void unpackBits(const std::uint8_t* frame, int count, std::uint8_t* bits);
void unpackRegisters(const std::uint8_t* frame, int count, std::uint16_t* values);

}  // namespace modbusrtu

#endif
