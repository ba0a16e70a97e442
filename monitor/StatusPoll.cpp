#include "StatusPoll.h"

#include "ControlNames.h"
#include "ModuleMap.h"
#include "ReentryGuard.h"
#include "StatusTexts.h"

namespace {
bool isByte(std::int32_t v) {
    return v >= 0 && v <= 255;
}

// Sixteen points from the two bytes a read that answered left in `buffer`.
std::optional<std::uint16_t> pointsOf(bool answered, const std::array<std::int32_t, 101>& buffer) {
    if (!answered) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>((buffer[0] & 0xFF) | (buffer[1] & 0xFF) << 8);
}
}  // namespace

QString dateCaption(const QDateTime& at) {
    return at.toString(QStringLiteral("MM-dd-yyyy"));
}

QString timeCaption(const QDateTime& at) {
    return at.toString(QStringLiteral("hh:mm:ss"));
}

void StatusPoll::D_Byte(std::uint8_t value) {
    for (int i = 7; i >= 0; --i) {
        BitBuf[i] = (value >> i) & 1;
    }
}

void StatusPoll::Timer1_Timer() {
    const ReentryGuard guard(running_);
    if (!guard.entered()) {
        return;
    }
    const QDateTime now = clock_();
    window_.setCaption(control::Label2(9), dateCaption(now));
    window_.setCaption(control::Label2(10), timeCaption(now));
    window_.yieldToEvents();

    using namespace link_param;
    StatusTick tick;
    tick.port = linkParam_[kPort];
    tick.address = linkParam_[kAddress];
    const auto inputs = driver_.Get_1X_B16(linkParam_[kPort], linkParam_[kAddress],
                                           module_map::kFirstInput, InputBuf.data());
    tick.inputs = pointsOf(inputs && *inputs != MODBUSRTU_FAILED, InputBuf);
    showInputGroup(InputBuf[0], 0, 8);
    showInputGroup(InputBuf[1], 8, 2);
    emit groupShown(Group::Inputs, tick.inputs.has_value());
    window_.yieldToEvents();

    const auto coils = driver_.Get_0X_B16(linkParam_[kPort], linkParam_[kAddress],
                                          module_map::kFirstCoil, CoilBuf.data());
    tick.coils = pointsOf(coils && *coils != MODBUSRTU_FAILED, CoilBuf);
    showOutputGroup(CoilBuf[0]);
    emit groupShown(Group::Coils, tick.coils.has_value());
    tick.time = clock_();
    emit tickShown(tick);
}

void StatusPoll::showInputGroup(std::int32_t status, int firstLabel, int count) {
    if (!isByte(status)) {
        return;
    }
    D_Byte(static_cast<std::uint8_t>(status));
    for (int bit = 0; bit < count; ++bit) {
        const QString label = control::B_2R(firstLabel + bit);
        const Indication shown = inputIndication(firstLabel + bit, BitBuf[bit] == 1);
        window_.setCaption(label, shown.caption);
        window_.setBackground(label, shown.colour);
    }
}

void StatusPoll::showOutputGroup(std::int32_t status) {
    if (!isByte(status)) {
        return;
    }
    D_Byte(static_cast<std::uint8_t>(status));
    // Y5's label is hidden and never written.
    for (int bit = 0; bit < module_map::kOutputsShown; ++bit) {
        const QString label = control::B_1RW(bit);
        const Indication shown = outputIndication(bit, BitBuf[bit] == 1);
        window_.setCaption(label, shown.caption);
        window_.setBackground(label, shown.colour);
    }
}
