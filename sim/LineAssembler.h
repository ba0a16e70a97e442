#pragma once
// Standard input comes in chunks of any size, and the control language is
// one command a line: this gathers the chunks into lines. A line ends at a
// line feed, which is taken off; anything else, a carriage return included,
// stays in the line for the parser to judge. So that a runaway writer cannot
// grow the simulator without bound, a line held for more than kMaxLine bytes
// without its end is given up, and the rest of it, up to its line feed, is
// dropped as well; the chunk that gives it up says so, and a line running on
// for another kMaxLine bytes is given up again. A line cut off by the end of
// input is never complete, and so never carried out.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class LineAssembler {
  public:
    static constexpr std::size_t kMaxLine = 4096;

    struct Lines {
        std::vector<std::string> complete;  // in the order they came
        bool gaveUp = false;                // a line grew too long and is dropped
    };

    // Takes the next chunk; returns the lines it completed.
    Lines feed(std::string_view chunk);

    // Bytes held of a line not complete yet.
    std::size_t held() const { return pending_.size(); }

  private:
    std::string pending_;
    // The line given up has not ended yet: its end is dropped too.
    bool skipping_ = false;
};

}  // namespace sim
