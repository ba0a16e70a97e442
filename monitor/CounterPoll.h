#pragma once
// The slow poll (Timer2, 1000 ms): the 16-bit counts, the 32-bit counts and
// frequencies, and the configuration registers, each read's result stored
// over element 0 of its buffer and every value shown as plain signed decimal
// text. Yields to the window three times a tick, between the reads. Once the
// window shows a tick, the poll publishes what it read as a CounterTick.

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>

#include "LinkParam.h"
#include "ModuleDriver.h"
#include "PollTicks.h"
#include "WindowAccess.h"

class CounterPoll : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<QDateTime()>;

    CounterPoll(LinkParamTable& linkParam, ModuleDriver& driver, WindowAccess& window,
                Clock clock = &QDateTime::currentDateTime)
        : linkParam_(linkParam), driver_(driver), window_(window), clock_(std::move(clock)) {}

    void Timer2_Timer();
    // A tick is under way (yielded to the window between its reads).
    bool ticking() const { return running_; }

    std::array<std::int32_t, 501> Count16Buf{};
    std::array<std::int32_t, 501> Count32Buf{};
    std::array<std::int32_t, 501> ConfigBuf{};

  signals:
    // At the end of every tick, once the window shows what it read.
    void tickShown(const CounterTick& tick);

  private:
    void show(QString (*label)(int), const std::array<std::int32_t, 501>& values, int count);

    LinkParamTable& linkParam_;
    ModuleDriver& driver_;
    WindowAccess& window_;
    Clock clock_;
    bool running_ = false;
};
