// Any bytes as the reply to any of the driver's requests: the checks never
// read past what came, never crash, and give exactly one known outcome; a
// reply they pass can be unpacked whole.
#include <cstdint>
#include <cstdlib>

#include "Frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    static constexpr std::uint8_t kFunctions[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    modbusrtu::Request request;
    request.slave = data[0];
    request.function = kFunctions[data[1] % 6];
    request.first = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    request.quantity = request.isRead() ? static_cast<std::uint16_t>(data[4] % 125 + 1) : data[4];
    data += 5;
    size -= 5;

    // As libmodbus hands it over: only as many bytes as it reads.
    const int available = static_cast<int>(size < 256 ? size : 256);
    const int length = modbusrtu::receivedLength(data, available);
    if (length < 0 || length > available) {
        std::abort();
    }
    const auto verdict = modbusrtu::checkReply(request, data, length);
    switch (verdict.outcome) {
        case TQ7310_OK:
            if (length != request.replyLength()) {
                std::abort();
            }
            if (request.isRead()) {
                std::uint8_t bits[2000];
                std::uint16_t words[125];
                if (request.function <= 0x02) {
                    modbusrtu::unpackBits(data, request.quantity, bits);
                } else {
                    modbusrtu::unpackRegisters(data, request.quantity, words);
                }
            }
            break;
        case TQ7310_EXCEPTION:
        case TQ7310_WRONG_SLAVE:
        case TQ7310_BAD_FRAME:
        case TQ7310_ECHO:
            break;
        default:
            std::abort();
    }
    return 0;
}
