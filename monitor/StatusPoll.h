#pragma once
// The fast poll (Timer1, 500 ms): date and time, then the discrete inputs and
// the coils, each status byte split into bits by D_Byte and shown as the
// "闭合"/"断开" labels with their colours. Yields to the window before each
// read; driver results are kept but not examined. Once the labels show a
// tick, the poll publishes what it read as a StatusTick.

#include <QDateTime>
#include <QObject>
#include <array>
#include <cstdint>
#include <functional>

#include "LinkParam.h"
#include "ModuleDriver.h"
#include "PollTicks.h"
#include "WindowAccess.h"

class StatusPoll : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<QDateTime()>;

    StatusPoll(LinkParamTable& linkParam, ModuleDriver& driver, WindowAccess& window,
               Clock clock = &QDateTime::currentDateTime)
        : linkParam_(linkParam), driver_(driver), window_(window), clock_(std::move(clock)) {}

    void Timer1_Timer();
    // A tick is under way (yielded to the window between its reads).
    bool ticking() const { return running_; }

    // Fills all eight entries of BitBuf: entry i gets bit i of value.
    void D_Byte(std::uint8_t value);

    std::array<std::uint8_t, 8> BitBuf{};
    std::array<std::int32_t, 101> InputBuf{};
    std::array<std::int32_t, 101> CoilBuf{};

    enum class Group { Inputs, Coils };

  signals:
    // At the end of every tick, once the labels show what it read.
    void tickShown(const StatusTick& tick);
    // Right after a group's labels were drawn from its read, before the
    // window runs again: whether the read answered.
    void groupShown(StatusPoll::Group group, bool answered);

  private:
    // Shows group bits 0..count-1 of `status` on labels first..first+count-1;
    // a status outside a byte leaves the group as it was.
    void showInputGroup(std::int32_t status, int firstLabel, int count);
    void showOutputGroup(std::int32_t status);

    LinkParamTable& linkParam_;
    ModuleDriver& driver_;
    WindowAccess& window_;
    Clock clock_;
    bool running_ = false;
};

// mm-dd-yyyy and hh:mm:ss, as the date and time labels show them.
QString dateCaption(const QDateTime& at);
QString timeCaption(const QDateTime& at);
