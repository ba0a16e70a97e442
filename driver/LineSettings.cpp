#include "LineSettings.h"

#include <algorithm>

#include "SerialLine.h"

namespace modbusrtu {

namespace {

// Every request the library sends (01..06) is eight bytes long.
constexpr int kRequestBytes = 8;
// The longest RTU frame there is; we bound the reply by it rather than by
// the expected length so a slave that sends more still finishes in time.
constexpr int kLongestReplyBytes = 256;
// The module's own turnaround plus the scheduling slack of a desktop.
constexpr std::int64_t kTurnaroundUs = 200'000;
// USB serial adapters hand bytes over in bursts on their latency timer
// (about 16 ms), so a gap of a few character times inside one reply is
// normal there; a shorter byte time-out would cut replies in two.
constexpr std::int64_t kMinByteGapUs = 20'000;
constexpr int kByteGapChars = 4;
// A slave that missed its time-out may still answer. Until this much more
// has passed we listen and discard before sending again, so its stale reply
// cannot be taken for the answer to the next request (RTU replies carry no
// transaction id). Later stragglers are treated as a fault of the slave.
constexpr std::int64_t kMinSettleUs = 500'000;

// A gateway forwards the request to its serial line and waits there before
// it answers; most let a slave take up to a second.
constexpr std::int64_t kGatewayResponseUs = 1'500'000;
// What the network adds on top of a serial server's far line.
constexpr std::int64_t kNetworkAllowanceUs = 300'000;
// A frame split over two segments arrives with a gap of the network's,
// not of the line's.
constexpr std::int64_t kNetworkByteGapUs = 100'000;

}  // namespace

std::optional<LineSettings> lineSettingsFromCodes(std::int64_t baudCode, std::int64_t parityCode) {
    const auto baud = module_line::baudOfCode(baudCode);
    const auto parity = module_line::parityOfCode(parityCode);
    if (!baud || !parity) {
        return std::nullopt;
    }
    return LineSettings{*baud, *parity};
}

Timeouts timeoutsFor(int baud) {
    using module_line::wireTimeUs;
    Timeouts t;
    t.responseUs = kTurnaroundUs + wireTimeUs(kRequestBytes + kLongestReplyBytes, baud);
    t.byteUs = std::max(kMinByteGapUs, wireTimeUs(kByteGapChars, baud));
    t.settleUs = std::max(kMinSettleUs, t.responseUs);
    return t;
}

Timeouts networkTimeouts(module_line::TargetKind kind, int baud) {
    Timeouts t = timeoutsFor(baud);
    if (kind == module_line::TargetKind::ModbusTcp) {
        t.responseUs = kGatewayResponseUs;
    } else {
        t.responseUs += kNetworkAllowanceUs;
    }
    t.byteUs = std::max(t.byteUs, kNetworkByteGapUs);
    t.settleUs = std::max(t.settleUs, t.responseUs);
    return t;
}

}  // namespace modbusrtu
