// Arbitrary frames through the simulator's request handling. The first input
// byte says how to dress the rest: as is, or with our address put in front
// and a correct CRC put behind, so most runs get past the CRC check and into
// the function handlers. Whatever comes back must be a frame a master could
// accept from us: our address, the request's function (with the exception
// flag for an exception, then a known code), a byte count that matches for
// reads, an echo for single writes, and a CRC that checks, the frames built
// and judged by a libmodbus master of our own rather than by the handler.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ModuleModel.h"
#include "RequestHandler.h"
#include "RtuFrames.h"

namespace {

constexpr int kAddress = 1;
constexpr std::size_t kMaxInput = 1024;

void require(bool ok) {
    if (!ok) {
        std::abort();
    }
}

unsigned word(const std::vector<std::uint8_t>& f, std::size_t at) {
    return static_cast<unsigned>(f[at] << 8 | f[at + 1]);
}

void checkReply(RtuFrames& frames, const std::vector<std::uint8_t>& request,
                const std::vector<std::uint8_t>& reply) {
    if (reply.empty()) {
        return;
    }
    require(frames.checks(request) && request[0] == kAddress);
    require(reply.size() >= 5 && reply.size() <= 256 && frames.checks(reply));
    require(reply[0] == kAddress);
    const std::uint8_t function = request[1];
    if (reply[1] == (function | 0x80)) {
        require(reply.size() == 5 && reply[2] >= 1 && reply[2] <= 3);
        return;
    }
    require(reply[1] == function);
    switch (function) {
        case 0x01:
        case 0x02: {
            require(request.size() == 8);
            const unsigned bits = word(request, 4);
            require(reply[2] == (bits + 7) / 8 && reply.size() == 5u + reply[2]);
            break;
        }
        case 0x03:
        case 0x04: {
            require(request.size() == 8);
            const unsigned registers = word(request, 4);
            require(reply[2] == 2 * registers && reply.size() == 5u + reply[2]);
            break;
        }
        case 0x05:
        case 0x06:
            require(reply == request);
            break;
        case 0x0F:
        case 0x10:
            require(reply.size() == 8);
            require(word(reply, 2) == word(request, 2) && word(reply, 4) == word(request, 4));
            break;
        default:
            require(false);  // only the served functions may answer normally
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > kMaxInput) {
        return -1;
    }
    RtuFrames frames;
    const bool dress = (data[0] & 1) != 0;
    std::vector<std::uint8_t> frame(data + 1, data + size);
    if (dress) {
        frame = frames.frame(kAddress, frame);
    }

    sim::Nanos now{0};
    sim::ModuleModel model([&now] { return now; });
    sim::RequestHandler handler(model, kAddress);
    // The same frame twice, a while apart, so a write is followed by a
    // request that sees what it did.
    for (int round = 0; round < 2; ++round) {
        const sim::Handled h = handler.handle(frame);
        checkReply(frames, frame, h.reply);
        require(!h.note.empty());
        now += std::chrono::milliseconds(1500);
    }
    return 0;
}
