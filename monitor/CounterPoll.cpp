#include "CounterPoll.h"

#include <algorithm>

#include "ControlNames.h"
#include "ModuleMap.h"
#include "ReentryGuard.h"

namespace {

// The first `n` values of a read that answered; nothing for one that did not.
template <std::size_t n>
std::optional<std::array<std::int32_t, n>> valuesOf(bool answered,
                                                    const std::array<std::int32_t, 501>& buffer) {
    if (!answered) {
        return std::nullopt;
    }
    std::array<std::int32_t, n> values{};
    std::copy_n(buffer.begin(), n, values.begin());
    return values;
}

}  // namespace

void CounterPoll::Timer2_Timer() {
    const ReentryGuard guard(running_);
    if (!guard.entered()) {
        return;
    }
    using namespace link_param;
    using namespace module_map;
    // A read's result goes over element 0: the first value on success, the
    // driver's failure code otherwise.
    CounterTick tick;
    tick.port = linkParam_[kPort];
    tick.address = linkParam_[kAddress];
    bool answered = false;
    if (const auto r = driver_.Get_3X_UnDX(linkParam_[kPort], linkParam_[kAddress],
                                           kCount16Register, kCount16Values, Count16Buf.data())) {
        Count16Buf[0] = *r;
        answered = *r != MODBUSRTU_FAILED;
    }
    tick.count16 = valuesOf<kCount16Values>(answered, Count16Buf);
    window_.yieldToEvents();
    show(control::D_4R, Count16Buf, kCount16Values);

    answered = false;
    if (const auto r = driver_.Get_3X_LUNDX(linkParam_[kPort], linkParam_[kAddress],
                                            kCount32Register, kCount32Values, Count32Buf.data())) {
        Count32Buf[0] = *r;
        answered = *r != MODBUSRTU_FAILED;
    }
    tick.count32 = valuesOf<kCount32Values>(answered, Count32Buf);
    window_.yieldToEvents();
    show(control::D_4R32, Count32Buf, kCount32Values);
    window_.yieldToEvents();

    answered = false;
    if (const auto r = driver_.Get_4X_UnDX(linkParam_[kPort], linkParam_[kAddress], kConfigRegister,
                                           kConfigRegistersRead, ConfigBuf.data())) {
        ConfigBuf[0] = *r;
        answered = *r != MODBUSRTU_FAILED;
    }
    tick.config = valuesOf<kConfigRegistersRead>(answered, ConfigBuf);
    show(control::D_4R4, ConfigBuf, kConfigRegistersShown);
    tick.time = clock_();
    emit tickShown(tick);
}

void CounterPoll::show(QString (*label)(int), const std::array<std::int32_t, 501>& values,
                       int count) {
    for (int i = 0; i < count; ++i) {
        window_.setCaption(label(i), QString::number(values[i]));
    }
}
