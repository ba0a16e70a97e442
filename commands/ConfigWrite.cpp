#include "ConfigWrite.h"

#include "LeadingNumber.h"
#include "ModbusRTU.h"
#include "ModuleMap.h"

namespace {
constexpr double kLargestRegisterValue = 65535;
}  // namespace

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
