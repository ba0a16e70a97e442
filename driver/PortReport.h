#ifndef TQ7310_DRIVER_PORTREPORT_H
#define TQ7310_DRIVER_PORTREPORT_H

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "ErrorKind.h"
#include "Exchange.h"
#include "LineSettings.h"
#include "LinkCounters.h"
#include "ModbusRTU.h"

namespace modbusrtu {

// What the status export and the counters say about one port. Its own
// lock only guards these fields, so asking for the status never waits for
// a transaction. Every failed transaction is counted here, so the kinds
// add up to the failures.
class PortReport {
  public:
    // The caller's open: the counters start again.
    void opened(bool ok, int systemError, const std::string& device, const LineSettings& settings);
    void closed();
    // A refused operation or open: nothing went out.
    void refused() { failedBeforeSending({TQ7310_BAD_ARGUMENT, 0, 0, false}); }
    void failedBeforeSending(const ErrorKind& kind);
    // The device went away and was opened again. Counters run from the
    // caller's open through any number of reopens, so a device that keeps
    // going away shows as failures, not as a fresh start.
    void reopened(bool ok, int systemError);
    // `answered`: the exchange got its own answer, the only kind that says
    // how long the slave takes. `gone`: the device went away.
    void transaction(const Exchange& out, bool answered, std::int32_t roundTripUs, bool gone);

    // A port nobody holds open names the device its number leads to now,
    // so a changed mapping or a new adapter shows before any open.
    void status(const std::function<std::string()>& deviceNow, Tq7310LinkStatus& out) const;
    void counters(Tq7310LinkCounters& out) const;

  private:
    void countFailure(Tq7310Outcome outcome);

    mutable std::mutex mutex_;
    Tq7310LinkStatus report_{TQ7310_NONE, 0, 0, -1, 0, 0, 0, 0, 'N', {}, 0, 0};
    LinkCounters counters_;
};

}  // namespace modbusrtu

#endif
