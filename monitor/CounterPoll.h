#pragma once
// The slow poll (Timer2, 1000 ms): the 16-bit counts, the 32-bit counts and
// frequencies, and the configuration registers, each read's result stored
// over element 0 of its buffer and every value shown as plain signed decimal
// text. Yields to the window three times a tick, between the reads.

#include <array>
#include <cstdint>
#include <functional>

#include "link/LinkParam.h"
#include "link/ModuleDriver.h"
#include "link/WindowAccess.h"

// Which of a tick's reads answered; a read that did not left the driver's
// failure code in element 0 and the rest of its buffer as it was.
struct CounterReads {
    bool count16 = false;
    bool count32 = false;
    bool config = false;
};

class CounterPoll {
  public:
    CounterPoll(LinkParamTable& linkParam, ModuleDriver& driver, WindowAccess& window)
        : linkParam_(linkParam), driver_(driver), window_(window) {}

    void Timer2_Timer();

    std::array<std::int32_t, 501> Count16Buf{};
    std::array<std::int32_t, 501> Count32Buf{};
    std::array<std::int32_t, 501> ConfigBuf{};

    // Runs at the end of every tick, once the window shows what it read, so
    // that onlookers (curves, records) take the very values shown without a
    // transaction of their own.
    std::function<void(const CounterReads&)> onShown;

  private:
    void show(QString (*label)(int), const std::array<std::int32_t, 501>& values, int count);

    LinkParamTable& linkParam_;
    ModuleDriver& driver_;
    WindowAccess& window_;
    bool running_ = false;
};
