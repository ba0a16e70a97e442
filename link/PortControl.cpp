#include "PortControl.h"

#include "Colours.h"
#include "ControlNames.h"
#include "WindowLinkSettings.h"

void PortControl::Command9_Click() {
    using namespace link_param;
    applyLinkSettings(readLinkSettings(window_), linkParam_);
    if (const auto result = driver_.OpenPort_Modbus(linkParam_[kPort], linkParam_[kBaudCode],
                                                    linkParam_[kParityCode])) {
        linkParam_[kOpenResult] = *result;
    }
    window_.setTimerEnabled(control::Timer1(), true);
    window_.setTimerEnabled(control::Timer2(), true);
}

void PortControl::Command10_Click() {
    driver_.ClosePort_Modbus(linkParam_[link_param::kPort]);
    window_.setTimerEnabled(control::Timer1(), false);
    window_.setTimerEnabled(control::Timer2(), false);
    const QString blank = QStringLiteral(" ");
    for (int i = 0; i < kInputStatusLabels; ++i) {
        window_.setCaption(control::B_2R(i), blank);
        window_.setBackground(control::B_2R(i), colours::kInputIdle);
    }
    for (int i = 0; i < kOutputStatusLabels; ++i) {
        window_.setCaption(control::B_1RW(i), blank);
        window_.setBackground(control::B_1RW(i), colours::kOutputIdle);
    }
}
