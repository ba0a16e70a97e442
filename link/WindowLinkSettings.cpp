#include "WindowLinkSettings.h"

#include "ControlNames.h"
#include "LeadingNumber.h"
#include "SerialLine.h"

namespace {

// The code of the checked member of an option group whose member i stands
// for code first + i; the last checked one when, against the window's own
// rule, several are.
std::optional<std::int32_t> checkedCode(const WindowAccess& window, QString (*member)(int),
                                        int first, int count) {
    std::optional<std::int32_t> code;
    for (int i = 0; i < count; ++i) {
        if (window.isSelected(member(i))) {
            code = first + i;
        }
    }
    return code;
}

}  // namespace

WindowLinkSettings readLinkSettings(const WindowAccess& window) {
    using namespace module_line;
    WindowLinkSettings s;
    s.port = leadingInt32(window.text(control::Combo1()));
    s.baudCode = checkedCode(window, control::Option1, kFirstBaudCode, int(kBauds.size()));
    s.parityCode = checkedCode(window, control::Option2, kFirstParityCode, int(kParities.size()));
    s.address = leadingInt32(window.text(control::Combo2()));
    return s;
}

void applyLinkSettings(const WindowLinkSettings& s, LinkParamTable& linkParam) {
    using namespace link_param;
    const auto put = [&](std::size_t entry, const std::optional<std::int32_t>& value) {
        if (value) {
            linkParam[entry] = *value;
        }
    };
    put(kPort, s.port);
    put(kBaudCode, s.baudCode);
    put(kParityCode, s.parityCode);
    put(kAddress, s.address);
}

void showLinkSettings(WindowAccess& window, std::int32_t port, std::int32_t baudCode,
                      std::int32_t parityCode, std::int32_t address) {
    using namespace module_line;
    window.setText(control::Combo1(), listedNumber(port));
    window.setText(control::Combo2(), listedNumber(address));
    window.select(control::Option1(baudCode - kFirstBaudCode));
    window.select(control::Option2(parityCode - kFirstParityCode));
}

QString listedNumber(std::int32_t value) {
    return QStringLiteral("%1 ").arg(value);
}
