#pragma once
// Probing through the driver library, as every other transaction of the
// panel goes: the panel never builds a frame itself.

#include "ModuleDriver.h"
#include "Prober.h"

namespace finder {

// How long a probe waits for the first byte of a reply: the request's time
// on the wire, plus what a responding line was measured to need beyond it
// (bench/find_bench) with a wide margin; see probeWaitUs.
inline constexpr std::int32_t kProbeAllowanceUs = 30'000;
// A probe request: address, function, first register, count, CRC.
inline constexpr int kProbeRequestBytes = 8;

std::int32_t probeWaitUs(const LineSetting& setting, std::int32_t allowanceUs = kProbeAllowanceUs);

// Whether points read back look like the module's: its configuration
// registers hold only the choices its lists offer.
bool fitsModule(const Tq7310Probe& points);

class DriverProber : public Prober {
  public:
    explicit DriverProber(ModuleDriver& driver) : driver_(driver) {}
    QString device(int port) override;
    OpenResult open(int port, const LineSetting& setting) override;
    Answer probe(int port, int address, const LineSetting& setting) override;
    void close(int port) override;

    // A line slower to answer than a module on an adapter (a loaded test
    // machine's pseudo-terminal) needs more than the usual allowance.
    void setAllowanceUs(std::int32_t us) { allowanceUs_ = us; }

  private:
    ModuleDriver& driver_;
    std::int32_t allowanceUs_ = kProbeAllowanceUs;
};

}  // namespace finder
