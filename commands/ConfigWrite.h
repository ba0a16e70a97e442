#pragma once
// "修改" of a configuration row writes the leading number of the row's editor
// into holding register row + 1; "清零" writes the clear code into its
// register. A write answered with the driver's failure code is sent once more.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "ConfigRows.h"
#include "LinkParam.h"
#include "ModuleDriver.h"
#include "WindowAccess.h"

class ConfigWrite {
  public:
    ConfigWrite(LinkParamTable& linkParam, ModuleDriver& driver, const WindowAccess& window)
        : linkParam_(linkParam), driver_(driver), window_(window) {}

    void Command2AC_Click(int index);

    std::int32_t WriteResult = 0;

  private:
    void write(int holdingRegister, const std::function<std::int32_t()>& value);

    LinkParamTable& linkParam_;
    ModuleDriver& driver_;
    const WindowAccess& window_;
};
