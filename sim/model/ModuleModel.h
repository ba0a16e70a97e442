#pragma once
// The simulated module's state: pulse generators on X1..X4, the counts they
// drive, the digital inputs, the outputs and the configuration registers.
// No I/O: time comes from the clock passed in, so tests can step it by hand.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

#include "ConfigValues.h"

namespace sim {

using Nanos = std::chrono::nanoseconds;
// Any monotonic time; only differences between calls matter.
using Clock = std::function<Nanos()>;

Clock steadyClock();

enum class Mode : std::uint16_t { Counting = 0, Frequency = 1, UpDown = 2 };
enum class DiFunction : std::uint16_t { Plain = 0, Clear16 = 1, Clear32 = 2 };

// Highest generator frequency the simulator accepts, in Hz.
inline constexpr std::uint32_t kMaxFrequencyHz = 1'000'000;
// Chosen odd so that a square wave sampled every 500 ms does not alias onto a
// fixed level; distinct so the four inputs can be told apart on the panel.
inline constexpr std::array<std::uint32_t, module_map::kCountingInputs> kDefaultFrequencyHz{1, 3, 5,
                                                                                            7};

// A faulty module, for checking the checks: the 1-based register that
// acknowledges writes but keeps its value, the output that does not switch,
// the input whose counts do not clear; 0 for none. Then a clear code
// acknowledged and ignored, clear coils wired to each other's counts, and
// frequencies that read 0 whatever comes in.
struct ModuleFaults {
    int stuckRegister = 0;
    int stuckCoil = 0;
    int stuckCounter = 0;
    bool ignoreClearCode = false;
    bool swapClearCoils = false;
    bool deadFrequency = false;
};

class ModuleModel {
  public:
    static constexpr int kPulseInputs = module_map::kCountingInputs;
    static constexpr int kDigitalInputs = module_map::kDigitalInputs;
    static constexpr int kOutputs = module_map::kOutputs;
    static constexpr int kConfigRegisters = module_map::kConfigRegistersRead;

    explicit ModuleModel(Clock clock = steadyClock());

    void setFaults(const ModuleFaults& faults) { faults_ = faults; }

    // Brings every generator up to the clock's present. Every accessor below
    // reads the state as of the last sync, so one reply shows one instant.
    void sync();

    // Indices are 0-based: x = 0 is X1, di = 0 is DI1, y = 0 is Y1.
    bool pulseInput(int x) const;
    bool digitalInput(int di) const { return di_[di]; }
    bool output(int y) const;
    std::uint16_t count16(int x) const { return x_[x].count16; }
    std::uint32_t count32(int x) const { return x_[x].count32; }
    // What the module reports as X(x+1)'s frequency in Hz; 0 unless measuring.
    std::uint32_t frequencyValue(int x) const;
    std::uint32_t generatorHz(int x) const { return x_[x].hz; }
    bool manual(int x) const { return x_[x].manual; }
    Mode mode() const;

    // Register r is 1-based, r = module_map::kConfigRegister .. + kConfigRegisters - 1.
    std::uint16_t config(int r) const;
    // Stores a value that module_map::configAccepts() allowed.
    void setConfig(int r, std::uint16_t value);

    void setCoil(int y, bool on);
    // What clear coil 1000 + x and 1004 + x do.
    void clear16(int x);
    void clear32(int x);
    // What the clear code does.
    void clearAll();

    // Inputs from the outside world.
    void setDigitalInput(int di, bool closed);
    void setFrequency(int x, std::uint32_t hz);
    // Stops X(x+1)'s generator and drives its level by hand; a rising edge
    // counts as one pulse.
    void setPulseLevel(int x, bool high);
    void setCount(int x, std::uint32_t value);

  private:
    struct PulseInput {
        std::uint32_t hz = 0;
        // Position within the current period, in Hz*ns: [0, 1e9) spans one period.
        std::uint64_t phase = 0;
        bool manual = false;
        bool level = false;  // the hand-driven level, when manual
        std::uint16_t count16 = 0;
        std::uint32_t count32 = 0;
    };

    void addPulses(int x, std::uint64_t pulses);
    void clearCount16(int x);
    void clearCount32(int x);
    static int diFunctionRegister(int di);
    static int doFunctionRegister(int y);
    static int doPresetRegister(int y);

    Clock clock_;
    Nanos last_;
    std::array<PulseInput, kPulseInputs> x_{};
    std::array<bool, kDigitalInputs> di_{};
    std::array<bool, kOutputs> coil_{};
    std::array<std::uint16_t, kConfigRegisters> config_{};
    ModuleFaults faults_;
};

}  // namespace sim
