#include "Control.h"

#include <charconv>
#include <limits>
#include <vector>

namespace sim {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v';
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSpace(line[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !isSpace(line[i])) {
            ++i;
        }
        if (i > start) {
            out.push_back(line.substr(start, i - start));
        }
    }
    return out;
}

bool number(std::string_view text, std::uint64_t max, std::uint64_t& out) {
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v > max) {
        return false;
    }
    out = v;
    return true;
}

Command invalid(std::string why) {
    Command c;
    c.kind = Command::Kind::Invalid;
    c.error = std::move(why);
    return c;
}

// "NAME N VALUE" with N in 1..count and VALUE in 0..max.
Command indexed(Command::Kind kind, const std::vector<std::string_view>& w, int count,
                std::uint64_t max, const char* usage) {
    std::uint64_t n = 0;
    std::uint64_t v = 0;
    if (w.size() != 3 || !number(w[1], static_cast<std::uint64_t>(count), n) || n == 0 ||
        !number(w[2], max, v)) {
        return invalid(std::string("usage: ") + usage);
    }
    Command c;
    c.kind = kind;
    c.index = static_cast<int>(n) - 1;
    c.value = v;
    return c;
}

std::string onOff(bool on) {
    return on ? "1" : "0";
}

}  // namespace

Command parseCommand(std::string_view line) {
    const std::vector<std::string_view> w = words(line);
    if (w.empty()) {
        return {};
    }
    const std::string_view name = w[0];
    const auto bare = [&](Command::Kind kind) -> Command {
        if (w.size() != 1) {
            return invalid(std::string(name) + " takes no arguments");
        }
        Command c;
        c.kind = kind;
        return c;
    };
    if (name == "help") {
        return bare(Command::Kind::Help);
    }
    if (name == "show") {
        return bare(Command::Kind::Show);
    }
    if (name == "quit") {
        return bare(Command::Kind::Quit);
    }
    if (name == "di") {
        return indexed(Command::Kind::Di, w, ModuleModel::kDigitalInputs, 1, "di N 0|1");
    }
    if (name == "x") {
        return indexed(Command::Kind::X, w, ModuleModel::kPulseInputs, 1, "x N 0|1");
    }
    if (name == "freq") {
        return indexed(Command::Kind::Freq, w, ModuleModel::kPulseInputs, kMaxFrequencyHz,
                       "freq N HZ");
    }
    if (name == "count") {
        return indexed(Command::Kind::Count, w, ModuleModel::kPulseInputs,
                       std::numeric_limits<std::uint32_t>::max(), "count N VALUE");
    }
    if (name == "verbose") {
        if (w.size() != 2 || (w[1] != "on" && w[1] != "off")) {
            return invalid("usage: verbose on|off");
        }
        Command c;
        c.kind = Command::Kind::Verbose;
        c.value = w[1] == "on" ? 1 : 0;
        return c;
    }
    return invalid("unknown command; try help");
}

std::string applyCommand(const Command& command, ModuleModel& model, ControlState& state) {
    const std::string n = std::to_string(command.index + 1);
    const std::string v = std::to_string(command.value);
    switch (command.kind) {
        case Command::Kind::Empty:
            return {};
        case Command::Kind::Invalid:
            return "error: " + command.error + "\n";
        case Command::Kind::Help:
            return helpText();
        case Command::Kind::Show:
            return describeState(model);
        case Command::Kind::Quit:
            state.quit = true;
            return {};
        case Command::Kind::Verbose:
            state.verbose = command.value != 0;
            return std::string("ok: verbose ") + (state.verbose ? "on" : "off") + "\n";
        case Command::Kind::Di:
            model.setDigitalInput(command.index, command.value != 0);
            return "ok: DI" + n + " " + (command.value ? "closed" : "open") + "\n";
        case Command::Kind::X:
            model.setPulseLevel(command.index, command.value != 0);
            return "ok: X" + n + " held " + v + "\n";
        case Command::Kind::Freq:
            model.setFrequency(command.index, static_cast<std::uint32_t>(command.value));
            return "ok: X" + n + " at " + v + " Hz\n";
        case Command::Kind::Count:
            model.setCount(command.index, static_cast<std::uint32_t>(command.value));
            return "ok: X" + n + " count " + v + "\n";
    }
    return {};
}

std::string helpText() {
    return "commands:\n"
           "  di N 0|1       open (0) or close (1) DI1..DI6\n"
           "  x N 0|1        stop X1..X4's generator and hold the input low or high;\n"
           "                 each rising edge counts one pulse\n"
           "  freq N HZ      run X1..X4's generator at HZ (0.." +
           std::to_string(kMaxFrequencyHz) +
           "; 0 stops it)\n"
           "  count N VALUE  set X1..X4's 32-bit count to VALUE, its 16-bit count\n"
           "                 to VALUE mod 65536\n"
           "  show           print the module's state\n"
           "  verbose on|off log one line per frame on the line\n"
           "  help           this list\n"
           "  quit           stop serving and exit\n";
}

std::string describeState(ModuleModel& model) {
    model.sync();
    static const char* const kModes[] = {"counting", "frequency", "up/down"};
    // Appended piece by piece: GCC 12 at -O3 takes `"x" + std::string` for an
    // overlapping copy (-Wrestrict) that it is not.
    std::string out = "mode " + std::to_string(static_cast<int>(model.mode())) + " (" +
                      kModes[static_cast<int>(model.mode())] + ")\n";
    for (int x = 0; x < ModuleModel::kPulseInputs; ++x) {
        out += 'X';
        out += std::to_string(x + 1);
        out += ' ';
        out += model.manual(x) ? std::string("held") : std::to_string(model.generatorHz(x)) + " Hz";
        out += " level " + onOff(model.pulseInput(x));
        out += " count16 " + std::to_string(model.count16(x));
        out += " count32 " + std::to_string(model.count32(x));
        out += " frequency " + std::to_string(model.frequencyValue(x)) + "\n";
    }
    out += "DI";
    for (int di = 0; di < ModuleModel::kDigitalInputs; ++di) {
        out += ' ';
        out += onOff(model.digitalInput(di));
    }
    out += "\nY";
    for (int y = 0; y < ModuleModel::kOutputs; ++y) {
        out += ' ';
        out += onOff(model.output(y));
    }
    out += "\nconfig";
    for (int r = 0; r < ModuleModel::kConfigRegisters; ++r) {
        out += ' ';
        out += std::to_string(model.config(module_map::kConfigRegister + r));
    }
    out += "\n";
    return out;
}

}  // namespace sim
