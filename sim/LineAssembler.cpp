#include "LineAssembler.h"

namespace sim {

LineAssembler::Lines LineAssembler::feed(std::string_view chunk) {
    Lines out;
    pending_.append(chunk);
    std::size_t start = 0;
    std::size_t end;
    while ((end = pending_.find('\n', start)) != std::string::npos) {
        if (skipping_) {
            skipping_ = false;
        } else {
            out.complete.emplace_back(pending_, start, end - start);
        }
        start = end + 1;
    }
    pending_.erase(0, start);
    // Checked once a chunk, after the lines it ended: a line may go past the
    // limit within the chunk that ends it.
    if (pending_.size() > kMaxLine) {
        pending_.clear();
        skipping_ = true;
        out.gaveUp = true;
    }
    return out;
}

}  // namespace sim
