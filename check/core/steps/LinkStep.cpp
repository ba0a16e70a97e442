#include <algorithm>
#include <utility>
#include <vector>

#include "CheckSession.h"
#include "CheckStep.h"

namespace mm = module_map;

namespace {

constexpr int kLinkRounds = 20;

Verdict link(CheckSession& session, QStringList& evidence) {
    using Read = std::function<DriverResult(std::int32_t*)>;
    ModuleDriver& driver = session.driver();
    const int p = session.options().port;
    const int a = session.options().address;
    // The status poll's two reads, then the counter poll's three, as the panel makes them.
    const std::pair<const char*, Read> reads[] = {
        {"Get_1X_B16",
         [&](std::int32_t* b) { return driver.Get_1X_B16(p, a, mm::kFirstInput, b); }},
        {"Get_0X_B16", [&](std::int32_t* b) { return driver.Get_0X_B16(p, a, mm::kFirstCoil, b); }},
        {"Get_3X_UnDX",
         [&](std::int32_t* b) {
             return driver.Get_3X_UnDX(p, a, mm::kCount16Register, mm::kCount16Values, b);
         }},
        {"Get_3X_LUNDX",
         [&](std::int32_t* b) {
             return driver.Get_3X_LUNDX(p, a, mm::kCount32Register, mm::kCount32Values, b);
         }},
        {"Get_4X_UnDX",
         [&](std::int32_t* b) {
             return driver.Get_4X_UnDX(p, a, mm::kConfigRegister, mm::kConfigRegistersRead, b);
         }},
    };
    std::vector<qint64> trips;
    std::array<std::int32_t, 501> buffer{};
    for (int round = 1; round <= kLinkRounds && !session.stopped(); ++round) {
        for (const auto& [name, read] : reads) {
            const qint64 started = session.clock().nowNs();
            if (!session.transact([&] { return read(buffer.data()); })) {
                return session.missing(
                    QStringLiteral("第 %1 轮 %2").arg(round).arg(QLatin1String(name)), evidence);
            }
            const qint64 ns = session.clock().nowNs() - started;
            const auto status = driver.linkStatus(p);
            trips.push_back(status && status->round_trip_us >= 0 ? status->round_trip_us * 1000LL
                                                                 : ns);
        }
    }
    if (trips.empty()) {
        return Verdict::Skipped;
    }
    std::sort(trips.begin(), trips.end());
    evidence << QStringLiteral("%1 次读取全部应答; 往返 最短 %2, 中位 %3, 最长 %4")
                    .arg(trips.size())
                    .arg(msText(trips.front()), msText(trips[(trips.size() - 1) / 2]),
                         msText(trips.back()));
    return Verdict::Passed;
}

}  // namespace

CheckStep linkStep() {
    return {QStringLiteral("通信"), link};
}
