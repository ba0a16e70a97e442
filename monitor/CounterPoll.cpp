#include "monitor/CounterPoll.h"

#include "ModuleMap.h"
#include "link/ControlNames.h"
#include "monitor/ReentryGuard.h"

void CounterPoll::Timer2_Timer() {
    const ReentryGuard guard(running_);
    if (!guard.entered()) {
        return;
    }
    using namespace link_param;
    using namespace module_map;
    // A read's result goes over element 0: the first value on success, the
    // driver's failure code otherwise.
    CounterReads reads;
    if (const auto r = driver_.Get_3X_UnDX(linkParam_[kPort], linkParam_[kAddress],
                                           kCount16Register, kCount16Values, Count16Buf.data())) {
        Count16Buf[0] = *r;
        reads.count16 = *r != MODBUSRTU_FAILED;
    }
    window_.yieldToEvents();
    show(control::D_4R, Count16Buf, kCount16Values);

    if (const auto r = driver_.Get_3X_LUNDX(linkParam_[kPort], linkParam_[kAddress],
                                            kCount32Register, kCount32Values, Count32Buf.data())) {
        Count32Buf[0] = *r;
        reads.count32 = *r != MODBUSRTU_FAILED;
    }
    window_.yieldToEvents();
    show(control::D_4R32, Count32Buf, kCount32Values);
    window_.yieldToEvents();

    if (const auto r = driver_.Get_4X_UnDX(linkParam_[kPort], linkParam_[kAddress], kConfigRegister,
                                           kConfigRegistersRead, ConfigBuf.data())) {
        ConfigBuf[0] = *r;
        reads.config = *r != MODBUSRTU_FAILED;
    }
    show(control::D_4R4, ConfigBuf, kConfigRegistersShown);
    if (onShown) {
        onShown(reads);
    }
}

void CounterPoll::show(QString (*label)(int), const std::array<std::int32_t, 501>& values,
                       int count) {
    for (int i = 0; i < count; ++i) {
        window_.setCaption(label(i), QString::number(values[i]));
    }
}
