#pragma once
// The order in which the search asks a port: the window's own setting and
// address first, then the low addresses at every setting, where modules
// sit out of the box and where technicians put them, then the rest.

#include <QString>
#include <vector>

namespace finder {

struct LineSetting {
    int baudCode = 1;    // 1 = 9600, 2 = 19200, 3 = 38400, as the driver takes it
    int parityCode = 0;  // 0 = none, 1 = odd, 2 = even

    int baud() const { return 9600 << (baudCode - 1); }
    QString parityName() const;
    QString text() const;  // "19200,E"
    friend bool operator==(const LineSetting&, const LineSetting&) = default;
};

// The nine settings a module can be set to, slowest first.
std::vector<LineSetting> allSettings();

struct Attempt {
    LineSetting setting;
    int address = 1;
    friend bool operator==(const Attempt&, const Attempt&) = default;
};

inline constexpr int kFirstAddress = 1;
inline constexpr int kLastAddress = 247;
// Where modules are found nearly always: the addresses the window lists.
inline constexpr int kUsualLastAddress = 16;

// Every (setting, address) at one port, once each. The window's setting
// leads the settings when it is among those chosen; the attempts of one
// setting stay together so that the port is reopened as seldom as possible.
std::vector<Attempt> searchOrder(const LineSetting& current, int currentAddress,
                                 const std::vector<LineSetting>& chosen,
                                 int lastAddress = kLastAddress);

}  // namespace finder
