#pragma once
// Probing through the driver library, as every other transaction of the
// panel goes: the panel never builds a frame itself.

#include <map>

#include "ModuleDriver.h"
#include "Prober.h"

namespace finder {

// How long a probe waits for the first byte of a reply: the request's time
// on the wire, plus what a responding line was measured to need beyond it
// (bench/find_bench) with a wide margin; see probeWaitUs.
inline constexpr std::int32_t kProbeAllowanceUs = 30'000;
// A second look at an address that answered late waits as long as the
// panel's own reads do (about half a second), so a slow device is not lost.
inline constexpr std::int32_t kPatientAllowanceUs = 500'000;
// Over a network the round trip, and behind a gateway its own exchange on
// its far line, come on top of what a serial line needs.
inline constexpr std::int32_t kNetworkAllowanceUs = 100'000;
// A probe request: address, function, first register, count, CRC.
inline constexpr int kProbeRequestBytes = 8;

std::int32_t probeWaitUs(const LineSetting& setting, std::int32_t allowanceUs = kProbeAllowanceUs);

// The verdict on what the driver's probe reported over a port pointed at
// `over`; nothing for a library that cannot probe.
Answer answerOf(const std::optional<Tq7310Probe>& probe,
                module_line::TargetKind over = module_line::TargetKind::Serial);

class DriverProber : public Prober {
  public:
    explicit DriverProber(ModuleDriver& driver) : driver_(driver) {}
    QString device(int port) override;
    // Read from TQ7310_COM<n>, as the driver reads it at each open.
    std::optional<module_line::PortTarget> target(int port) override;
    OpenResult open(int port, const LineSetting& setting) override;
    Answer probe(int port, int address, const LineSetting& setting, Wait wait) override;
    void close(int port) override;

    // A line slower to answer than a module on an adapter (a loaded test
    // machine's pseudo-terminal) needs more than the usual allowance.
    void setAllowanceUs(std::int32_t us) { allowanceUs_ = us; }

  private:
    ModuleDriver& driver_;
    std::int32_t allowanceUs_ = kProbeAllowanceUs;
    std::map<int, module_line::TargetKind> openedOver_;  // by port, as at its last open
};

}  // namespace finder
