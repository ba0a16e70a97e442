#include "CoilCommands.h"

#include "ModuleMap.h"

namespace {
std::optional<int> offsetIn(int index, int members, int firstCoil) {
    if (index < 0 || index >= members) {
        return std::nullopt;
    }
    return firstCoil + index;
}
}  // namespace

std::optional<int> outputCoil(int index) {
    return offsetIn(index, module_map::kOutputs, module_map::kFirstCoil);
}

std::optional<int> clear16Coil(int index) {
    return offsetIn(index, module_map::kCountingInputs, module_map::kClear16Coil);
}

std::optional<int> clear32Coil(int index) {
    return offsetIn(index, module_map::kCountingInputs, module_map::kClear32Coil);
}

void CoilCommands::switchOn(std::optional<int> coil) {
    if (coil) {
        driver_.Set_0X_Bit1(linkParam_[link_param::kPort], linkParam_[link_param::kAddress], *coil);
    }
}

void CoilCommands::Command2_Click(int index) {
    switchOn(outputCoil(index));
}

void CoilCommands::Command3_Click(int index) {
    if (const auto coil = outputCoil(index)) {
        driver_.Rst_0X_Bit1(linkParam_[link_param::kPort], linkParam_[link_param::kAddress], *coil);
    }
}

void CoilCommands::Command2A_Click(int index) {
    switchOn(clear16Coil(index));
}

void CoilCommands::Command2B_Click(int index) {
    switchOn(clear32Coil(index));
}
