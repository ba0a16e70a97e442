#include "ModuleModel.h"

namespace sim {

namespace mm = module_map;

namespace {

constexpr std::uint64_t kPeriod = 1'000'000'000;  // one period in Hz*ns
constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;

bool isSpare(int r) {
    return r > mm::kConfigRegistersShown;
}

}  // namespace

Clock steadyClock() {
    return [] {
        return std::chrono::duration_cast<Nanos>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
}

ModuleModel::ModuleModel(Clock clock) : clock_(std::move(clock)), last_(clock_()) {
    for (int x = 0; x < kPulseInputs; ++x) {
        x_[x].hz = kDefaultFrequencyHz[x];
    }
}

void ModuleModel::sync() {
    const Nanos now = clock_();
    if (now <= last_) {
        return;
    }
    const auto elapsed = static_cast<std::uint64_t>((now - last_).count());
    last_ = now;
    // Split the step into whole seconds and the rest so that hz * elapsed
    // cannot overflow however long nobody asked.
    const std::uint64_t seconds = elapsed / kNanosPerSecond;
    const std::uint64_t rest = elapsed % kNanosPerSecond;
    for (int x = 0; x < kPulseInputs; ++x) {
        PulseInput& in = x_[x];
        if (in.manual || in.hz == 0) {
            continue;
        }
        const std::uint64_t advanced = in.phase + rest * in.hz;
        addPulses(x, seconds * in.hz + advanced / kPeriod);
        in.phase = advanced % kPeriod;
    }
}

bool ModuleModel::pulseInput(int x) const {
    const PulseInput& in = x_[x];
    if (in.manual) {
        return in.level;
    }
    if (in.hz == 0) {
        return false;
    }
    // A period starts with its rising edge, the one that is counted.
    return in.phase < kPeriod / 2;
}

bool ModuleModel::output(int y) const {
    if (y < kPulseInputs && config(doFunctionRegister(y)) == 1) {
        return x_[y].count16 >= config(doPresetRegister(y));
    }
    return coil_[y];
}

std::uint32_t ModuleModel::frequencyValue(int x) const {
    if (mode() != Mode::Frequency || x_[x].manual || faults_.deadFrequency) {
        return 0;
    }
    return x_[x].hz;
}

Mode ModuleModel::mode() const {
    return static_cast<Mode>(config(mm::kModeRegister));
}

std::uint16_t ModuleModel::config(int r) const {
    if (isSpare(r)) {
        return 0;
    }
    return config_[r - mm::kConfigRegister];
}

void ModuleModel::setConfig(int r, std::uint16_t value) {
    if (isSpare(r) || r == faults_.stuckRegister) {
        return;
    }
    // Pulses up to now were counted under the old settings.
    sync();
    config_[r - mm::kConfigRegister] = value;
}

void ModuleModel::setCoil(int y, bool on) {
    // An output in alarm function belongs to its count, not to the master.
    if (y < kPulseInputs && config(doFunctionRegister(y)) == 1) {
        return;
    }
    if (y + 1 == faults_.stuckCoil) {
        return;
    }
    coil_[y] = on;
}

void ModuleModel::clear16(int x) {
    faults_.swapClearCoils ? clearCount32(x) : clearCount16(x);
}

void ModuleModel::clear32(int x) {
    faults_.swapClearCoils ? clearCount16(x) : clearCount32(x);
}

void ModuleModel::clearAll() {
    if (faults_.ignoreClearCode) {
        return;
    }
    for (int x = 0; x < kPulseInputs; ++x) {
        clearCount16(x);
        clearCount32(x);
    }
}

void ModuleModel::clearCount16(int x) {
    if (x + 1 != faults_.stuckCounter) {
        x_[x].count16 = 0;
    }
}

void ModuleModel::clearCount32(int x) {
    if (x + 1 != faults_.stuckCounter) {
        x_[x].count32 = 0;
    }
}

void ModuleModel::setDigitalInput(int di, bool closed) {
    sync();
    const bool closing = closed && !di_[di];
    di_[di] = closed;
    if (!closing || di >= kPulseInputs) {
        return;
    }
    switch (static_cast<DiFunction>(config(diFunctionRegister(di)))) {
        case DiFunction::Clear16:
            clearCount16(di);
            break;
        case DiFunction::Clear32:
            clearCount32(di);
            break;
        case DiFunction::Plain:
            break;
    }
}

void ModuleModel::setFrequency(int x, std::uint32_t hz) {
    sync();
    PulseInput& in = x_[x];
    in.hz = hz;
    in.manual = false;
    in.phase = 0;
}

void ModuleModel::setPulseLevel(int x, bool high) {
    sync();
    PulseInput& in = x_[x];
    const bool rising = high && !pulseInput(x);
    in.manual = true;
    in.hz = 0;
    in.phase = 0;
    in.level = high;
    if (rising) {
        addPulses(x, 1);
    }
}

void ModuleModel::setCount(int x, std::uint32_t value) {
    sync();
    x_[x].count32 = value;
    x_[x].count16 = static_cast<std::uint16_t>(value);
}

void ModuleModel::addPulses(int x, std::uint64_t pulses) {
    // Counts wrap at their width: add modulo 2^32 and let the 16-bit count
    // take the low half of the same step.
    const auto step = static_cast<std::uint32_t>(pulses);
    switch (mode()) {
        case Mode::Frequency:
            return;
        case Mode::UpDown:
            if (x == mm::kDownInput) {
                // X2 is X1's down input: it takes from X1's counts, its own hold.
                x_[0].count32 -= step;
                x_[0].count16 = static_cast<std::uint16_t>(x_[0].count16 - step);
                return;
            }
            break;
        case Mode::Counting:
            break;
    }
    x_[x].count32 += step;
    x_[x].count16 = static_cast<std::uint16_t>(x_[x].count16 + step);
}

int ModuleModel::diFunctionRegister(int di) {
    return mm::kDiFunctionRegister + di;
}

int ModuleModel::doFunctionRegister(int y) {
    return mm::kDoFunctionRegister + 2 * y;
}

int ModuleModel::doPresetRegister(int y) {
    return mm::kDoPresetRegister + 2 * y;
}

}  // namespace sim
