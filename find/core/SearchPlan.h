#pragma once
// The order in which the search asks a port: the window's own setting and
// address first, then the low addresses at every setting, where modules
// sit out of the box and where technicians put them, then the rest. Over a
// network target there is one setting: a Modbus TCP server is asked unit id
// after unit id, a serial server at the setting its own far line has.

#include <QString>
#include <optional>
#include <vector>

#include "PortTarget.h"
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

// The same order at one setting alone, from `firstAddress` on: for a port
// whose target is a network one, where no baud rate or parity is tried.
std::vector<Attempt> oneSettingOrder(const LineSetting& setting, int currentAddress,
                                     int firstAddress, int lastAddress,
                                     std::optional<int> remembered = std::nullopt);

// How one port is searched, as read from its TQ7310_COM<n> when the search
// starts.
struct PortPlan {
    int port = 0;
    // nullopt: the variable names a network target wrongly; the port is skipped.
    std::optional<module_line::PortTarget> target;
    std::vector<LineSetting> settings;
    int firstAddress = module_line::kFirstAddress;
    int lastAddress = module_line::kLastAddress;
    std::vector<Attempt> attempts;

    bool byUnit() const { return target && target->kind == module_line::TargetKind::ModbusTcp; }
};

}  // namespace finder
