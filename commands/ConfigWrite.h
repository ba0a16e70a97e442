#pragma once
// "修改" of a configuration row writes the leading number of the row's editor
// into holding register row + 1; "清零" writes the clear code into its
// register. A write answered with the driver's failure code is sent once more.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

#include "ConfigRows.h"
#include "LinkParam.h"
#include "ModuleDriver.h"
#include "WindowAccess.h"

enum class ConfigRefusal { OutOfRange };

// The value "修改" writes for `typed` in `row`'s editor: its leading number
// (0 for text without one), or why nothing is written.
std::variant<std::int32_t, ConfigRefusal> configValue(const ConfigRow& row, QStringView typed);

// What the panel says of "修改" of row `index` with `typed` when it does
// not write the number as typed: "按 0 写入" for text without a number,
// "超出范围，未写入" for a refused one; empty otherwise.
QString configWriteNote(int index, const QString& typed);

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
