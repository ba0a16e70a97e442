#include "LineFaults.h"

namespace sim {

namespace {

// SplitMix64's step: consecutive inputs give unrelated outputs.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

constexpr int kDropDraw = 0;
constexpr int kLateDraw = 1;

}  // namespace

double LineFaults::draw(std::uint64_t request, int which) const {
    const std::uint64_t bits = mix(mix(settings_.seed) + 2 * request + which);
    // The top 53 bits, as a double takes them exactly.
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

Fate LineFaults::fateOf(std::uint64_t request) const {
    Fate fate;
    fate.drop = draw(request, kDropDraw) < settings_.dropProbability;
    if (!fate.drop && draw(request, kLateDraw) < settings_.lateProbability) {
        fate.holdMs = settings_.lateMs;
    }
    return fate;
}

bool LineFaults::muted(std::uint64_t request, std::chrono::steady_clock::time_point now) {
    if (settings_.muteAfter == 0 || request <= settings_.muteAfter) {
        return false;
    }
    if (!muteStart_) {
        muteStart_ = now;
    }
    return now - *muteStart_ < std::chrono::milliseconds(settings_.muteMs);
}

}  // namespace sim
