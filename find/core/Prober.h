#pragma once
// What the search needs of a port: open it at a setting, ask one address,
// close it. The production one goes through the driver library; the tests
// put a scripted line behind it.

#include <QString>

#include "ModbusRTU.h"
#include "SearchPlan.h"

namespace finder {

struct OpenResult {
    bool ok = false;
    int systemError = 0;  // why the device did not open; 0 when not known
};

struct Answer {
    enum Kind {
        Silent,       // nothing came back
        Module,       // our module: every block of its map read back and fits
        OtherDevice,  // a Modbus device, but not ours: an exception or a map that does not fit
        Garbled,      // bytes came, but never a valid frame: wrong baud rate or parity
        PortGone,     // the device went away or cannot be used any more
    };
    Kind kind = Silent;
    int systemError = 0;
    int exceptionCode = 0;
    int roundTripUs = -1;
    Tq7310Probe points{};
};

class Prober {
  public:
    virtual ~Prober() = default;
    virtual QString device(int port) = 0;
    virtual OpenResult open(int port, const LineSetting& setting) = 0;
    virtual Answer probe(int port, int address, const LineSetting& setting) = 0;
    virtual void close(int port) = 0;
};

}  // namespace finder
