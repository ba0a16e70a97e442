#pragma once
// The link settings as the window holds them, read the one way "打开" reads
// them: the leading number of the port and address boxes, and the checked
// baud rate and parity options. Opening, the finder and "使用" all go
// through here, so they can never disagree about what the window says.

#include <QString>
#include <cstdint>
#include <optional>

#include "LinkParam.h"
#include "WindowAccess.h"

// Nothing where a box's number does not fit or no option of a group is
// checked: "打开" then leaves LinkParam's entry as it was.
struct WindowLinkSettings {
    std::optional<std::int32_t> port;
    std::optional<std::int32_t> baudCode;
    std::optional<std::int32_t> parityCode;
    std::optional<std::int32_t> address;
};

WindowLinkSettings readLinkSettings(const WindowAccess& window);

// Copies what was read into LinkParam and leaves the other entries as they were.
void applyLinkSettings(const WindowLinkSettings& settings, LinkParamTable& linkParam);

// Puts a port, its line settings and an address on the window, as a
// technician would choose them there.
void showLinkSettings(WindowAccess& window, std::int32_t port, std::int32_t baudCode,
                      std::int32_t parityCode, std::int32_t address);

// How the port and address lists write a number: "7 ".
QString listedNumber(std::int32_t value);
