#pragma once
// Holds the first write after a port opens until the port knows whether its
// adapter hands back what it sends. Until then the echo of a single write
// cannot be told from the module's answer, so a write done would end
// "…无法分辨" and be sent again; the polls' first answers teach the port
// within a tick. The write waits once per open, at most `bound`, running the
// window's events meanwhile (so the polls run); a library with no such
// report is never waited for.

#include <chrono>
#include <mutex>
#include <set>

#include "ForwardingDriver.h"

class FirstWriteGate final : public ForwardingDriver {
  public:
    // Runs events until `ready` holds or `bound` has passed.
    using Wait =
        std::function<void(const std::function<bool()>& ready, std::chrono::milliseconds bound)>;

    FirstWriteGate(ModuleDriver& inner, std::chrono::milliseconds bound,
                   Wait wait = runEventsUntil);

    static void runEventsUntil(const std::function<bool()>& ready, std::chrono::milliseconds bound);

  protected:
    DriverResult around(const Call& call, const std::function<DriverResult()>& forward) override;

  private:
    bool learning(std::int32_t port);
    bool echoKnown(std::int32_t port);

    std::chrono::milliseconds bound_;
    Wait wait_;
    std::mutex mutex_;  // the finder opens and closes from a thread of its own
    std::set<std::int32_t> learning_;
};
