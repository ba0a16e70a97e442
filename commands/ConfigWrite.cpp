#include "commands/ConfigWrite.h"

#include "driver/ModbusRTU.h"
#include "link/LeadingNumber.h"
#include "link/ModuleMap.h"

namespace {
constexpr int kClearButton = 15;
constexpr double kLargestRegisterValue = 65535;

// Editors of rows 0..12, in row order; text boxes carry the row's index.
const char* const kEditors[] = {"Combo3",  "Combo4", "Combo5", "Combo6", "Combo7",
                                nullptr,   "Combo8", nullptr,  "Combo9", nullptr,
                                "Combo10", nullptr,  "Combo11"};
}  // namespace

std::optional<ConfigRow> configRow(int index) {
    if (index == kClearButton) {
        return ConfigRow{QString(), false, module_map::kClearCodeRegister};
    }
    if (index < 0 || index >= module_map::kConfigRegistersShown) {
        return std::nullopt;
    }
    const int reg = module_map::kConfigRegister + index;
    if (const char* combo = kEditors[index]) {
        return ConfigRow{QLatin1String(combo), false, reg};
    }
    return ConfigRow{memberName("Text1", index), true, reg};
}

void ConfigWrite::Command2AC_Click(int index) {
    const auto row = configRow(index);
    if (!row) {
        return;
    }
    if (index == kClearButton) {
        write(row->holdingRegister, [] { return module_map::kClearCode; });
        return;
    }
    const double number = leadingNumber(window_.text(row->editor));
    if (row->isTextBox && (number > kLargestRegisterValue || number < 0)) {
        return;
    }
    // A number beyond 32 bits writes nothing, rather than whatever an earlier
    // command left in the value entry.
    const auto value = roundToInt32(number);
    if (!value) {
        return;
    }
    linkParam_[link_param::kWriteValue] = *value;
    write(row->holdingRegister, [this] { return linkParam_[link_param::kWriteValue]; });
}

void ConfigWrite::write(int holdingRegister, const std::function<std::int32_t()>& value) {
    // The repeat reads its arguments again from the same places.
    const auto once = [&] {
        if (const auto r =
                driver_.Set_4X_D1(linkParam_[link_param::kPort], linkParam_[link_param::kAddress],
                                  holdingRegister, value())) {
            WriteResult = *r;
        }
    };
    once();
    if (WriteResult == MODBUSRTU_FAILED) {
        once();
    }
}
