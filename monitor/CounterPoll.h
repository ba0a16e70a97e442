#pragma once
// The slow poll (Timer2, 1000 ms): the 16-bit counts, the 32-bit counts and
// frequencies, and the configuration registers, each read's result stored
// over element 0 of its buffer and every value shown as plain signed decimal
// text. Yields to the window three times a tick, between the reads.

#include <array>
#include <cstdint>

#include "link/LinkParam.h"
#include "link/ModuleDriver.h"
#include "link/WindowAccess.h"

class CounterPoll {
  public:
    CounterPoll(LinkParamTable& linkParam, ModuleDriver& driver, WindowAccess& window)
        : linkParam_(linkParam), driver_(driver), window_(window) {}

    void Timer2_Timer();

    std::array<std::int32_t, 501> Count16Buf{};
    std::array<std::int32_t, 501> Count32Buf{};
    std::array<std::int32_t, 501> ConfigBuf{};

  private:
    void show(QString (*label)(int), const std::array<std::int32_t, 501>& values, int count);

    LinkParamTable& linkParam_;
    ModuleDriver& driver_;
    WindowAccess& window_;
    bool running_ = false;
};
