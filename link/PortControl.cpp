#include "link/PortControl.h"

#include "link/Colours.h"
#include "link/ControlNames.h"
#include "link/LeadingNumber.h"

void PortControl::Command9_Click() {
    using namespace link_param;
    // A number that does not fit leaves the entry as it was.
    if (const auto port = leadingInt32(window_.text(control::Combo1()))) {
        linkParam_[kPort] = *port;
    }
    for (int i = 0; i < 3; ++i) {
        if (window_.isSelected(control::Option1(i))) {
            linkParam_[kBaudCode] = i + 1;
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (window_.isSelected(control::Option2(i))) {
            linkParam_[kParityCode] = i;
        }
    }
    if (const auto address = leadingInt32(window_.text(control::Combo2()))) {
        linkParam_[kAddress] = *address;
    }
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
