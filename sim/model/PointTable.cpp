#include "PointTable.h"

#include <algorithm>
#include <iterator>

namespace sim {

namespace mm = module_map;

namespace {

using enum Table;

constexpr auto none = [](const ModuleModel&, int) -> std::uint16_t { return 0; };

std::uint16_t wideWord(const ModuleModel& model, int at) {
    const int value = at / 2;
    const std::uint32_t v = value < mm::kFrequencyValueOffset
                                ? model.count32(value)
                                : model.frequencyValue(value - mm::kFrequencyValueOffset);
    return static_cast<std::uint16_t>(at % 2 == 0 ? v >> 16 : v);
}

// Every point the module serves. Spare points read 0; the clear coils act on
// and fall back off, so they read 0 too.
constexpr int kFirstSpareCoil = mm::kFirstCoil + mm::kOutputs;
constexpr int kFirstSpareInput = mm::kFirstDigitalInput + mm::kDigitalInputs;
constexpr Range kRanges[] = {
    {Coils, mm::kFirstCoil, mm::kOutputs,
     [](const ModuleModel& m, int at) -> std::uint16_t { return m.output(at); }, nullptr,
     [](ModuleModel& m, int at, std::uint16_t v) { m.setCoil(at, v != 0); }},
    {Coils, kFirstSpareCoil, mm::kFirstCoil + mm::kCoilsRead - kFirstSpareCoil, none},
    {Coils, mm::kClear16Coil, mm::kCountingInputs, none, nullptr,
     [](ModuleModel& m, int at, std::uint16_t on) { on != 0 ? m.clear16(at) : void(); }},
    {Coils, mm::kClear32Coil, mm::kCountingInputs, none, nullptr,
     [](ModuleModel& m, int at, std::uint16_t on) { on != 0 ? m.clear32(at) : void(); }},
    {Inputs, mm::kFirstInput, mm::kCountingInputs,
     [](const ModuleModel& m, int at) -> std::uint16_t { return m.pulseInput(at); }},
    {Inputs, mm::kFirstDigitalInput, mm::kDigitalInputs,
     [](const ModuleModel& m, int at) -> std::uint16_t { return m.digitalInput(at); }},
    {Inputs, kFirstSpareInput, mm::kFirstInput + mm::kInputsRead - kFirstSpareInput, none},
    {InputRegisters, mm::kCount16Register, mm::kCount16Values,
     [](const ModuleModel& m, int at) { return m.count16(at); }},
    {InputRegisters, mm::kCount32Register, 2 * mm::kCount32Values, wideWord},
    {Holding, mm::kConfigRegister, mm::kConfigRegistersRead,
     [](const ModuleModel& m, int at) { return m.config(mm::kConfigRegister + at); },
     [](int at, std::uint16_t v) { return mm::configAccepts(mm::kConfigRegister + at, v); },
     [](ModuleModel& m, int at, std::uint16_t v) { m.setConfig(mm::kConfigRegister + at, v); }},
    {Holding, mm::kClearCodeRegister, 1, none,
     [](int, std::uint16_t v) { return v == mm::kClearCode; },
     [](ModuleModel& m, int, std::uint16_t) { m.clearAll(); }},
};
static_assert(mm::kFirstInput + mm::kCountingInputs == mm::kFirstDigitalInput);

}  // namespace

const Range* findRange(Table table, int point) {
    const auto* r = std::find_if(std::begin(kRanges), std::end(kRanges), [&](const Range& r) {
        return r.table == table && point >= r.first && point < r.first + r.count;
    });
    return r == std::end(kRanges) ? nullptr : r;
}

int highestPoint(Table table) {
    int last = 0;
    for (const Range& r : kRanges) {
        last = r.table == table ? std::max(last, r.first + r.count - 1) : last;
    }
    return last;
}

}  // namespace sim
