#pragma once
// What the line does to each reply when the simulator is asked to play a bad
// one: a reply lost, or one held back. Each request's fate is drawn from the
// seed and the request's number alone, so the same seed and the same
// requests give the same faults, run after run.

#include <chrono>
#include <cstdint>
#include <optional>

namespace sim {

struct FaultSettings {
    double dropProbability = 0;  // a request goes unanswered
    double lateProbability = 0;  // its reply is held `lateMs` longer
    int lateMs = 0;
    std::uint64_t seed = 1;
    // A module that stops answering: from the request after `muteAfter`
    // (0: never) none is answered for `muteMs`.
    std::uint64_t muteAfter = 0;
    int muteMs = 0;
};

struct Fate {
    bool drop = false;
    int holdMs = 0;  // 0: the reply goes out on time
};

class LineFaults {
  public:
    explicit LineFaults(const FaultSettings& settings) : settings_(settings) {}

    // The fate of the request numbered `request` (1 for the first) among
    // those addressed to us. A dropped request's reply is never held.
    Fate fateOf(std::uint64_t request) const;

    // Whether the request numbered `request`, arrived at `now`, falls in the
    // time the module is mute.
    bool muted(std::uint64_t request, std::chrono::steady_clock::time_point now);

  private:
    // Uniform in [0, 1), one value for each request and draw.
    double draw(std::uint64_t request, int which) const;

    FaultSettings settings_;
    std::optional<std::chrono::steady_clock::time_point> muteStart_;
};

}  // namespace sim
