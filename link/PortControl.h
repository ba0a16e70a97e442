#pragma once
// "打开" and "关闭": copy the window's link settings into LinkParam, open or
// close the port through the driver, and switch the two polls on or off.
// Neither handler yields, examines a driver result or shows a message.

#include "LinkParam.h"
#include "ModuleDriver.h"
#include "WindowAccess.h"

class PortControl {
  public:
    PortControl(LinkParamTable& linkParam, ModuleDriver& driver, WindowAccess& window)
        : linkParam_(linkParam), driver_(driver), window_(window) {}

    void Command9_Click();   // open
    void Command10_Click();  // close

  private:
    LinkParamTable& linkParam_;
    ModuleDriver& driver_;
    WindowAccess& window_;
};

// The status labels that closing blanks.
inline constexpr int kInputStatusLabels = 10;  // B_2R(0..9)
inline constexpr int kOutputStatusLabels = 5;  // B_1RW(0..4)
