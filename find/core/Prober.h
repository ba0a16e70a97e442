#pragma once
// What the search needs of a port: open it at a setting, ask one address,
// close it. The production one goes through the driver library; the tests
// put a scripted line behind it.

#include <QString>
#include <optional>

#include "ModbusRTU.h"
#include "SearchPlan.h"

namespace finder {

struct OpenResult {
    bool ok = false;
    int systemError = 0;  // why the device did not open; 0 when not known
};

struct Answer {
    enum Kind {
        Silent,        // nothing came back
        Module,        // every block read back and the points tell it is our module
        MaybeModule,   // the points fit the module, but nothing tells it from another device
        OtherDevice,   // a Modbus device, but not ours: an exception or points that do not fit
        Garbled,       // bytes came, but never a valid frame: wrong baud rate or parity
        Echo,          // our own request came back
        OtherAddress,  // a valid frame, but from another address than the one asked
        PortGone,      // the device went away or cannot be used any more
        CannotProbe,   // the driver library has no probe, or refused it
        Spoilt,        // a reply began as the one asked for, then failed its check
        AddressBlind,  // the search's word for alike answers at address after address
        NoDevice,      // a gateway's 0A or 0B for a unit behind it: nothing is there
    };
    Kind kind = Silent;
    QString why;  // what the bytes showed, in the technician's words
    int systemError = 0;
    int exceptionCode = 0;
    int roundTripUs = -1;
    int otherAddress = 0;  // OtherAddress: where the frame came from, 0 when not known
    int strayBytes = -1;   // bytes found waiting before the probe; -1 when not counted
    Tq7310Probe points{};

    // The first block read back but a later one got no reply (no refusal):
    // a slow device, worth a patient second look.
    bool partly() const {
        return points.outcome == TQ7310_OK && points.fits == 0 && exceptionCode == 0;
    }

    // A reply of some kind came: the line owes a silent interval after it.
    bool lineSpoke() const { return kind != Silent && kind != PortGone && kind != CannotProbe; }
};

// How long a probe may wait for the first byte of its reply.
enum class Wait {
    Fast,     // the request's wire time plus a module's usual turnaround
    Patient,  // the panel's normal response time-out: for a slow device seen answering late
};

class Prober {
  public:
    virtual ~Prober() = default;
    virtual QString device(int port) = 0;
    // Where the port points now; nullopt when its TQ7310_COM<n> names a
    // network target wrongly.
    virtual std::optional<module_line::PortTarget> target(int port) = 0;
    virtual OpenResult open(int port, const LineSetting& setting) = 0;
    virtual Answer probe(int port, int address, const LineSetting& setting,
                         Wait wait = Wait::Fast) = 0;
    virtual void close(int port) = 0;
};

}  // namespace finder
