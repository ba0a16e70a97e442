// The simulator's control lines, as arbitrary bytes split at line feeds,
// parsed and carried out on a model whose clock moves a little between lines.
// Besides not crashing, a line must be answered the way the control language
// promises: every reply line complete, a refusal with its reason, and an
// accepted change visible in the model at once.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Control.h"
#include "ModuleModel.h"

namespace {

constexpr std::size_t kMaxInput = 64 * 1024;

void require(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) {
        return -1;
    }
    sim::Nanos now{0};
    sim::ModuleModel model([&now] { return now; });
    sim::ControlState state;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && !state.quit) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);

        const sim::Command command = sim::parseCommand(line);
        const std::string reply = sim::applyCommand(command, model, state);
        require(reply.empty() || reply.back() == '\n');
        using Kind = sim::Command::Kind;
        if (command.kind == Kind::Invalid) {
            require(!command.error.empty() && reply.rfind("error: ", 0) == 0);
        }
        model.sync();
        const auto x = static_cast<std::size_t>(command.index);
        switch (command.kind) {
            case Kind::Count:
                require(x < sim::ModuleModel::kPulseInputs);
                require(model.count32(command.index) == command.value);
                require(model.count16(command.index) == command.value % 65536);
                break;
            case Kind::Freq:
                require(x < sim::ModuleModel::kPulseInputs &&
                        command.value <= sim::kMaxFrequencyHz);
                require(model.generatorHz(command.index) == command.value);
                break;
            case Kind::Di:
                require(x < sim::ModuleModel::kDigitalInputs);
                require(model.digitalInput(command.index) == (command.value != 0));
                break;
            case Kind::X:
                require(x < sim::ModuleModel::kPulseInputs);
                require(model.pulseInput(command.index) == (command.value != 0));
                break;
            default:
                break;
        }
        // Up to about a day between lines, taken from the line itself, so the
        // generators run through long stretches at any frequency.
        std::uint64_t step = 0;
        for (unsigned char c : line.substr(0, 6)) {
            step = step * 251 + c;
        }
        now += sim::Nanos(static_cast<std::int64_t>(step % 86'400'000'000'000ULL));
        require(!sim::describeState(model).empty());
    }
    return 0;
}
