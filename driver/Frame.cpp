#include "Frame.h"

#include <algorithm>

namespace modbusrtu {

namespace {

constexpr std::uint8_t kExceptionBit = 0x80;
constexpr int kHeaderBytes = 2;  // address, function
constexpr int kCrcBytes = 2;
constexpr int kExceptionReplyBytes = kHeaderBytes + 1 + kCrcBytes;

// What libmodbus reads after the function code of a reply, and whether a
// byte count follows: the same cases as its receive, so the length we log is
// the length it read.
int metaBytes(std::uint8_t function) {
    switch (function) {
        case 0x05:
        case 0x06:
        case 0x0F:
        case 0x10:
            return 4;
        case 0x16:
            return 6;
        default:
            return 1;
    }
}

bool carriesByteCount(std::uint8_t function) {
    return function <= 0x04 || function == 0x11 || function == 0x17;
}

}  // namespace

std::array<std::uint8_t, Request::kBytes> Request::bytes() const {
    return {slave,
            function,
            static_cast<std::uint8_t>(first >> 8),
            static_cast<std::uint8_t>(first & 0xFF),
            static_cast<std::uint8_t>(quantity >> 8),
            static_cast<std::uint8_t>(quantity & 0xFF)};
}

int Request::dataBytes() const {
    switch (function) {
        case 0x0F:
            return (quantity + 7) / 8;
        case 0x10:
            return 2 * quantity;
        default:
            return 0;
    }
}

std::array<std::uint8_t, kMaxFrameBytes> Request::frame() const {
    std::array<std::uint8_t, kMaxFrameBytes> frame{};
    const auto header = bytes();
    std::copy(header.begin(), header.end(), frame.begin());
    if (writesSeveral()) {
        frame[kBytes] = static_cast<std::uint8_t>(dataBytes());
        std::copy_n(data.begin(), dataBytes(), frame.begin() + kBytes + 1);
    }
    const auto body = static_cast<std::size_t>(length());
    const std::uint16_t crc = crc16(frame.data(), body);
    frame[body] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[body + 1] = static_cast<std::uint8_t>(crc >> 8);
    return frame;
}

Request coilWrite(std::uint8_t slave, std::uint16_t first, const std::uint8_t* bits, int count) {
    if (count == 1) {
        return {slave, 0x05, first, static_cast<std::uint16_t>(bits[0] != 0 ? 0xFF00 : 0)};
    }
    Request request{slave, 0x0F, first, static_cast<std::uint16_t>(count)};
    for (int i = 0; i < count; ++i) {
        request.data[i / 8] |= static_cast<std::uint8_t>((bits[i] != 0 ? 1 : 0) << (i % 8));
    }
    return request;
}

Request registerWrite(std::uint8_t slave, std::uint16_t first, const std::uint16_t* values,
                      int count) {
    if (count == 1) {
        return {slave, 0x06, first, values[0]};
    }
    Request request{slave, 0x10, first, static_cast<std::uint16_t>(count)};
    for (int i = 0; i < count; ++i) {
        request.data[2 * i] = static_cast<std::uint8_t>(values[i] >> 8);
        request.data[2 * i + 1] = static_cast<std::uint8_t>(values[i] & 0xFF);
    }
    return request;
}

int Request::replyLength() const {
    if (!isRead()) {
        return Request::kFrameBytes;
    }
    const int dataBytes = function <= 0x02 ? (quantity + 7) / 8 : 2 * quantity;
    return kHeaderBytes + 1 + dataBytes + kCrcBytes;
}

namespace {

// The reflected 0xA001 polynomial, a byte at a time.
constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < table.size(); ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                                 : static_cast<std::uint16_t>(crc >> 1);
        }
        table[byte] = crc;
    }
    return table;
}();

}  // namespace

std::uint16_t crc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
    }
    return crc;
}

bool crcHolds(const std::uint8_t* frame, int length) {
    if (length < kHeaderBytes + kCrcBytes) {
        return false;
    }
    const auto body = static_cast<std::size_t>(length - kCrcBytes);
    const std::uint16_t crc = crc16(frame, body);
    return frame[body] == (crc & 0xFF) && frame[body + 1] == (crc >> 8);
}

int receivedLength(const std::uint8_t* frame, int available) {
    if (available <= kHeaderBytes) {
        return std::max(available, 0);
    }
    const int meta = metaBytes(frame[1]);
    if (available < kHeaderBytes + meta) {
        return available;
    }
    const int data = carriesByteCount(frame[1]) ? frame[kHeaderBytes] : 0;
    const int whole = kHeaderBytes + meta + data + kCrcBytes;
    // libmodbus gives up on a byte count that would overrun its buffer
    // right after reading it.
    if (whole > kMaxFrameBytes) {
        return kHeaderBytes + meta;
    }
    return std::min(whole, available);
}

namespace {

ReplyVerdict judge(const Request& request, const std::uint8_t* frame, int length,
                   const std::array<std::uint8_t, kMaxFrameBytes>& sent) {
    const ReplyVerdict bad{};
    if (!crcHolds(frame, length)) {
        return bad;
    }
    if (frame[0] != request.slave) {
        return {TQ7310_WRONG_SLAVE, 0, frame[0]};
    }
    if (frame[1] == (request.function | kExceptionBit)) {
        return length == kExceptionReplyBytes ? ReplyVerdict{TQ7310_EXCEPTION, frame[2], 0} : bad;
    }
    if (frame[1] != request.function || length != request.replyLength()) {
        return bad;
    }
    const bool whole = request.isRead()
                           ? frame[kHeaderBytes] == length - kHeaderBytes - 1 - kCrcBytes
                           : std::equal(sent.begin(), sent.begin() + Request::kBytes, frame);
    return whole ? ReplyVerdict{TQ7310_OK, 0, 0} : bad;
}

}  // namespace

ReplyVerdict checkReply(const Request& request, const std::uint8_t* frame, int length) {
    const auto sent = request.frame();
    const ReplyVerdict verdict = judge(request, frame, length, sent);
    // Some adapters hand back what they send. A write is answered with its
    // own echo, so only a read can tell one. libmodbus frames the echo of a
    // read by the byte of the start address where a byte count would be: it
    // reads part of the echo, or all of it and the start of what follows. A
    // part that holds as a frame of its own is a reply, not an echo.
    const int compared = std::min(length, Request::kFrameBytes);
    const bool echoed = length >= Request::kFrameBytes || !crcHolds(frame, length);
    if (verdict.outcome != TQ7310_OK && request.isRead() && length > kHeaderBytes + 1 && echoed &&
        std::equal(frame, frame + compared, sent.begin())) {
        return {TQ7310_ECHO, 0, 0};
    }
    return verdict;
}

void unpackBits(const std::uint8_t* frame, int count, std::uint8_t* bits) {
    for (int i = 0; i < count; ++i) {
        bits[i] = (frame[kHeaderBytes + 1 + i / 8] >> (i % 8)) & 1;
    }
}

void unpackRegisters(const std::uint8_t* frame, int count, std::uint16_t* values) {
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* word = frame + kHeaderBytes + 1 + 2 * i;
        values[i] = static_cast<std::uint16_t>((word[0] << 8) | word[1]);
    }
}

bool spoiltAnswer(const Request& request, const std::uint8_t* frame, int length) {
    if (length < kExceptionReplyBytes || frame[0] != request.slave || crcHolds(frame, length)) {
        return false;
    }
    return frame[1] == request.function
               ? length == request.replyLength()
               : frame[1] == (request.function | kExceptionBit) && length == kExceptionReplyBytes;
}

int bytesShort(const Request& request, const std::uint8_t* frame, int length) {
    if (length < kHeaderBytes) {
        return 0;
    }
    if (frame[1] == (request.function | kExceptionBit)) {
        return std::max(kExceptionReplyBytes - length, 0);
    }
    if (frame[1] == request.function && request.writesSeveral()) {
        return std::max(Request::kFrameBytes - length, 0);
    }
    return 0;
}

ReplyVerdict checkTcpReply(const Request& request, const std::uint8_t* adu, int length) {
    if (length < kMbapBytes + 1) {
        return {TQ7310_BAD_FRAME, 0, 0};
    }
    const int declared = (adu[4] << 8) | adu[5];
    if (adu[2] != 0 || adu[3] != 0 || declared != length - kMbapUnitAt) {
        return {TQ7310_BAD_FRAME, 0, 0};
    }
    // The frame as it would have come over RTU: unit id, PDU, CRC.
    std::array<std::uint8_t, kMaxFrameBytes> frame{};
    const int bytes = length - kMbapUnitAt;
    std::copy_n(adu + kMbapUnitAt, bytes, frame.begin());
    const std::uint16_t crc = crc16(frame.data(), static_cast<std::size_t>(bytes));
    frame[bytes] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[bytes + 1] = static_cast<std::uint8_t>(crc >> 8);
    return checkReply(request, frame.data(), bytes + 2);
}

}  // namespace modbusrtu
