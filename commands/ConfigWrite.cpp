#include "ConfigWrite.h"

#include "LeadingNumber.h"
#include "ModbusRTU.h"
#include "ModuleMap.h"

namespace {
constexpr double kLargestRegisterValue = 65535;
}  // namespace

std::variant<std::int32_t, ConfigRefusal> configValue(const ConfigRow& row, QStringView typed) {
    const double number = leadingNumber(typed);
    if (row.isTextBox && (number > kLargestRegisterValue || number < 0)) {
        return ConfigRefusal::OutOfRange;
    }
    // A number beyond 32 bits writes nothing, rather than whatever an earlier
    // command left in the value entry.
    const auto value = roundToInt32(number);
    if (!value) {
        return ConfigRefusal::OutOfRange;
    }
    return *value;
}

QString configWriteNote(int index, const QString& typed) {
    const auto row = configRow(index);
    if (!row || index == kClearButton) {
        return {};
    }
    if (std::holds_alternative<ConfigRefusal>(configValue(*row, typed))) {
        return QStringLiteral("超出范围，未写入");
    }
    return hasLeadingNumber(typed) ? QString() : QStringLiteral("按 0 写入");
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
    const auto value = configValue(*row, window_.text(row->editor));
    if (const auto* written = std::get_if<std::int32_t>(&value)) {
        linkParam_[link_param::kWriteValue] = *written;
        write(row->holdingRegister, [this] { return linkParam_[link_param::kWriteValue]; });
    }
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
