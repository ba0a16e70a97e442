#pragma once
// The order in which the search asks a port: the window's own setting and
// address first, then the low addresses at every setting, where modules
// sit out of the box and where technicians put them, then the rest.

#include <QString>
#include <optional>
#include <vector>

#include "SerialLine.h"

namespace finder {

struct LineSetting {
    int baudCode = module_line::kFirstBaudCode;  // as the driver takes them
    int parityCode = module_line::kFirstParityCode;

    int baud() const { return module_line::baudOfCode(baudCode).value_or(0); }
    QString parityName() const;  // "N", "O" or "E"
    QString text() const;        // "19200,E"
    friend bool operator==(const LineSetting&, const LineSetting&) = default;
};

// The nine settings a module can be set to, slowest first.
std::vector<LineSetting> allSettings();

struct Attempt {
    LineSetting setting;
    int address = 1;
    friend bool operator==(const Attempt&, const Attempt&) = default;
};

// Every (setting, address) at one port, once each: first the addresses the
// window lists, where modules are found nearly always, then the rest. The
// window's setting leads the settings when it is among those chosen, and
// where a link last answered follows it; the attempts of one setting stay
// together so that the port is reopened as seldom as possible.
std::vector<Attempt> searchOrder(const LineSetting& current, int currentAddress,
                                 const std::vector<LineSetting>& chosen,
                                 int lastAddress = module_line::kLastAddress,
                                 std::optional<Attempt> remembered = std::nullopt);

}  // namespace finder
