// Arbitrary bytes on the simulator's standard input, cut into reads of any
// size up to what one read takes, gathered into command lines. The first
// input byte picks how the rest is cut. Besides not crashing, the lines must
// be the input's own lines in order, short of those given up for length;
// a line may be given up only when it is too long, only by a chunk that says
// so, and what is held between reads stays within the limit.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "LineAssembler.h"

namespace {

constexpr std::size_t kMaxInput = 64 * 1024;
constexpr std::size_t kReadSize = 1024;
constexpr std::size_t kMaxLine = sim::LineAssembler::kMaxLine;

void require(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Read sizes from 0 to kReadSize, or small ones only, so that short lines
// also arrive in pieces.
class Cuts {
  public:
    explicit Cuts(std::uint8_t seed) : state_(seed), small_((seed & 1) != 0) {}
    std::size_t next() {
        state_ = state_ * 1103515245u + 12345u;
        return (state_ >> 16) % (small_ ? 9 : kReadSize + 1);
    }

  private:
    std::uint32_t state_;
    bool small_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > kMaxInput) {
        return -1;
    }
    Cuts cuts(data[0]);
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    // The input's own lines; the last one has no end yet.
    std::vector<std::string_view> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = input.find('\n', start);
        lines.push_back(input.substr(start, end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }

    sim::LineAssembler assembler;
    std::size_t next = 0;  // the next of `lines` due
    std::size_t dropped = 0;
    std::size_t gaveUp = 0;
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t held = assembler.held();
        const std::string_view chunk = input.substr(at, cuts.next());
        at += chunk.size();
        const sim::LineAssembler::Lines got = assembler.feed(chunk);
        for (const std::string& line : got.complete) {
            require(line.find('\n') == std::string::npos);
            require(line.size() <= held + chunk.size());
            // Lines before it were given up: each too long, each reported.
            while (next < lines.size() && lines[next] != line) {
                require(lines[next].size() > kMaxLine);
                ++dropped;
                ++next;
            }
            require(next + 1 < lines.size());  // a line that has its end
            ++next;
        }
        gaveUp += got.gaveUp ? 1 : 0;
        require(dropped <= gaveUp);
        require(assembler.held() <= kMaxLine);
    }
    // What is held is the start of the last line, if that was not given up.
    const std::string_view last = lines.back();
    require(assembler.held() <= last.size());
    if (gaveUp == 0) {
        require(next + 1 == lines.size() && assembler.held() == last.size());
    }
    return 0;
}
