#pragma once
// A serial line that misbehaves on purpose, for soak tests: a relay between
// a master on one pseudo-terminal and a slave on another, running in a thread
// of its own. The master opens linkPath(), a symlink that is repointed when
// the line comes back after a hang-up, as a replaced USB adapter would.
//
// While faults are on, each request from the master draws, from a seeded
// generator, whether this transaction is spoiled and how. Every kind is
// chosen so that the CRC or the frame's shape gives it away: the relay never
// forges a frame the master could take for a good one, so whatever the
// master accepts came from the slave.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "RtuFrames.h"

namespace hardening {

enum class Fault {
    DropBytes,     // bytes of the request go missing: the slave sees a bad frame
    FlipBit,       // one bit of the reply flips: bad CRC
    LateReply,     // the reply is held back past the master's time-out
    Truncate,      // the reply is cut short
    Garbage,       // noise between frames, towards the slave or the master
    WrongAddress,  // the reply comes back from another address, CRC made good
    HangUp,        // the master's side of the line goes away and comes back
};
inline constexpr int kFaultKinds = 7;
const char* faultName(Fault kind);

class FaultyLine {
  public:
    using Clock = std::chrono::steady_clock;

    // `slaveDevice`: the slave's pseudo-terminal; `linkPath`: where the
    // master's device appears; `lateBy`: how long a late reply is held past
    // the request (make it longer than the master's time-out).
    FaultyLine(std::string slaveDevice, std::string linkPath, std::uint32_t seed,
               std::chrono::milliseconds lateBy);
    ~FaultyLine();
    FaultyLine(const FaultyLine&) = delete;
    FaultyLine& operator=(const FaultyLine&) = delete;

    // Opens both sides and starts relaying; empty on success, else why not.
    std::string start();

    const std::string& linkPath() const { return linkPath_; }

    // The chance that a request's transaction is spoiled; 0 stops new faults.
    void setFaultRate(double chance);
    // True once faults are off and none is still in progress: no reply held
    // back, the line up.
    bool clean() const;
    // When the last fault was over (the line back, the held reply sent).
    Clock::time_point lastFaultOver() const;

    std::array<int, kFaultKinds> injected() const;
    int requests() const;

  private:
    struct Pending {
        Clock::time_point at;
        std::vector<std::uint8_t> bytes;
        bool fault;  // a held-back reply: its delivery ends a fault
    };
    struct Frame {
        std::vector<std::uint8_t> bytes;
        Clock::time_point last{};
    };

    void run();
    bool openMasterSide();
    void closeMasterSide();
    void onRequest(std::vector<std::uint8_t> request);
    void onReply(std::vector<std::uint8_t> reply);
    void toMaster(const std::vector<std::uint8_t>& bytes);
    void toSlave(const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> garbage();
    int uniform(int low, int high);
    void count(Fault kind);
    void faultOver();

    const std::string slaveDevice_;
    std::string folder_;
    std::string linkPath_;
    const std::chrono::milliseconds lateBy_;
    std::mt19937 random_;
    RtuFrames frames_;  // judges and reframes frames the way libmodbus does

    int master_ = -1;     // our end of the master's pty
    int heldSlave_ = -1;  // keeps that pty up while the master reopens it
    int slave_ = -1;      // the slave's pty, opened as a peer
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> stop_{false};

    Frame fromMaster_;
    Frame fromSlave_;
    std::deque<Pending> pending_;  // to the master, in time order
    bool replyFaultArmed_ = false;
    Fault replyFault_ = Fault::FlipBit;
    Clock::time_point backUpAt_{};  // while hung up: when the line returns

    mutable std::mutex mutex_;
    double chance_ = 0;
    std::array<int, kFaultKinds> injected_{};
    int requests_ = 0;
    int inProgress_ = 0;
    Clock::time_point lastFaultOver_{};
};

}  // namespace hardening
