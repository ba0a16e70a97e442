#pragma once
// The coil-writing buttons: "置位Yn"/"复位Yn" switch output n (coil n), and
// "清零16位"/"清零32位" switch on the clear coil of a count. One transaction per
// click; the result is not examined and nothing on the window changes.

#include <optional>

#include "LinkParam.h"
#include "ModuleDriver.h"

// The coil a button of each array writes, or nothing for an index that is not
// a member.
std::optional<int> outputCoil(int index);   // Command2 / Command3
std::optional<int> clear16Coil(int index);  // Command2A
std::optional<int> clear32Coil(int index);  // Command2B

class CoilCommands {
  public:
    CoilCommands(LinkParamTable& linkParam, ModuleDriver& driver)
        : linkParam_(linkParam), driver_(driver) {}

    void Command2_Click(int index);   // set output
    void Command3_Click(int index);   // reset output
    void Command2A_Click(int index);  // clear 16-bit count
    void Command2B_Click(int index);  // clear 32-bit count

  private:
    void switchOn(std::optional<int> coil);

    LinkParamTable& linkParam_;
    ModuleDriver& driver_;
};
