#include "Options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "SerialLine.h"

namespace sim {

namespace {

bool integer(std::string_view text, int& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool unsignedInteger(std::string_view text, std::uint64_t& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// A probability, 0 to 1 inclusive, written as a plain decimal number.
bool probability(std::string_view text, double& out) {
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::fixed);
    return ec == std::errc() && end == text.data() + text.size() && out >= 0 && out <= 1;
}

// P:MS for --late.
bool lateSetting(std::string_view text, FaultSettings& faults) {
    const std::size_t colon = text.find(':');
    return colon != std::string_view::npos &&
           probability(text.substr(0, colon), faults.lateProbability) &&
           integer(text.substr(colon + 1), faults.lateMs) && faults.lateMs > 0 &&
           faults.lateMs <= kMaxLateMs;
}

// N:MS for --mute-after.
bool muteSetting(std::string_view text, FaultSettings& faults) {
    const std::size_t colon = text.find(':');
    return colon != std::string_view::npos &&
           unsignedInteger(text.substr(0, colon), faults.muteAfter) && faults.muteAfter > 0 &&
           integer(text.substr(colon + 1), faults.muteMs) && faults.muteMs > 0 &&
           faults.muteMs <= kMaxMuteMs;
}

// The 1-based number of a point for --stuck-register, --stuck-coil, --stuck-counter.
bool pointNumber(std::string_view text, int last, int& out) {
    return integer(text, out) && out >= 1 && out <= last;
}

}  // namespace

std::optional<Options> parseOptions(std::span<const std::string_view> args, std::string& error) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto value = [&](std::string_view& out) {
            if (i + 1 >= args.size()) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string_view v;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--pace") {
            o.pace = true;
        } else if (arg == "--any-baud") {
            o.strictBaud = false;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--stamp") {
            o.stamp = true;
        } else if (arg == "--ignore-clear-code") {
            o.moduleFaults.ignoreClearCode = true;
        } else if (arg == "--swap-clear-coils") {
            o.moduleFaults.swapClearCoils = true;
        } else if (arg == "--dead-frequency") {
            o.moduleFaults.deadFrequency = true;
        } else if (arg == "--drop") {
            if (!value(v)) {
                return {};
            }
            if (!probability(v, o.faults.dropProbability)) {
                error = "--drop takes a probability, 0 to 1";
                return {};
            }
        } else if (arg == "--late") {
            if (!value(v)) {
                return {};
            }
            if (!lateSetting(v, o.faults)) {
                error = "--late takes P:MS, a probability 0 to 1 and 1.." +
                        std::to_string(kMaxLateMs) + " ms";
                return {};
            }
        } else if (arg == "--mute-after") {
            if (!value(v)) {
                return {};
            }
            if (!muteSetting(v, o.faults)) {
                error = "--mute-after takes N:MS, a request count from 1 and 1.." +
                        std::to_string(kMaxMuteMs) + " ms";
                return {};
            }
        } else if (arg == "--stuck-register") {
            if (!value(v)) {
                return {};
            }
            if (!pointNumber(v, module_map::kConfigRegistersShown, o.moduleFaults.stuckRegister)) {
                error = "--stuck-register takes 1.." +
                        std::to_string(module_map::kConfigRegistersShown);
                return {};
            }
        } else if (arg == "--stuck-coil") {
            if (!value(v)) {
                return {};
            }
            if (!pointNumber(v, module_map::kOutputs, o.moduleFaults.stuckCoil)) {
                error = "--stuck-coil takes 1.." + std::to_string(module_map::kOutputs);
                return {};
            }
        } else if (arg == "--stuck-counter") {
            if (!value(v)) {
                return {};
            }
            if (!pointNumber(v, module_map::kCountingInputs, o.moduleFaults.stuckCounter)) {
                error = "--stuck-counter takes 1.." + std::to_string(module_map::kCountingInputs);
                return {};
            }
        } else if (arg == "--seed") {
            if (!value(v)) {
                return {};
            }
            if (!unsignedInteger(v, o.faults.seed)) {
                error = "--seed takes 0.." + std::to_string(UINT64_MAX);
                return {};
            }
        } else if (arg == "--device") {
            if (!value(v)) {
                return {};
            }
            o.device = v;
        } else if (arg == "--link") {
            if (!value(v)) {
                return {};
            }
            o.link = v;
        } else if (arg == "--address") {
            if (!value(v)) {
                return {};
            }
            if (!integer(v, o.address) || o.address < kMinAddress || o.address > kMaxAddress) {
                error = "--address takes " + std::to_string(kMinAddress) + ".." +
                        std::to_string(kMaxAddress);
                return {};
            }
        } else if (arg == "--turnaround") {
            if (!value(v)) {
                return {};
            }
            if (!integer(v, o.turnaroundMs) || o.turnaroundMs < 0 ||
                o.turnaroundMs > kMaxTurnaroundMs) {
                error = "--turnaround takes 0.." + std::to_string(kMaxTurnaroundMs) + " ms";
                return {};
            }
        } else if (arg == "--baud") {
            if (!value(v)) {
                return {};
            }
            if (!integer(v, o.baud) ||
                std::find(module_line::kBauds.begin(), module_line::kBauds.end(), o.baud) ==
                    module_line::kBauds.end()) {
                error = "--baud takes 9600, 19200 or 38400";
                return {};
            }
        } else if (arg == "--parity") {
            if (!value(v)) {
                return {};
            }
            if (v == "none") {
                o.parity = 'N';
            } else if (v == "odd") {
                o.parity = 'O';
            } else if (v == "even") {
                o.parity = 'E';
            } else {
                error = "--parity takes none, odd or even";
                return {};
            }
        } else {
            error = "unknown option " + std::string(arg);
            return {};
        }
    }
    if (!o.device.empty() && !o.link.empty()) {
        error = "--link names a pseudo-terminal; it does not go with --device";
        return {};
    }
    return o;
}

std::string usageText() {
    return "usage: tq7310-sim [--device PATH | --link PATH] [--address N] [--baud "
           "9600|19200|38400]\n"
           "                  [--parity none|odd|even] [--pace] [--turnaround MS] [--any-baud]\n"
           "                  [--drop P] [--late P:MS] [--seed N] [--stamp] [--verbose]\n"
           "                  [--mute-after N:MS] [--stuck-register N] [--stuck-coil N]\n"
           "                  [--stuck-counter N] [--ignore-clear-code] [--swap-clear-coils]\n"
           "                  [--dead-frequency]\n"
           "Serves a simulated TQ7310 module as a Modbus RTU slave. Without --device it opens\n"
           "a pseudo-terminal and prints the device to open. Commands on standard input; type\n"
           "help for the list. On a pseudo-terminal, requests sent at another baud rate than\n"
           "--baud are ignored, as a module ignores them; --any-baud answers them all.\n"
           "--turnaround holds each reply MS milliseconds after its request arrived, as a\n"
           "slow slave does.\n"
           "--drop leaves each request unanswered with probability P; --late holds each\n"
           "reply MS more milliseconds with probability P, answering later requests only\n"
           "after it. --seed (default 1) makes the same faults fall on the same requests.\n"
           "--stamp makes every value read carry the number of requests received so far.\n"
           "A faulty module: --mute-after answers nothing for MS milliseconds after the\n"
           "first N requests; --stuck-register acknowledges writes to holding register N\n"
           "but keeps its value; --stuck-coil leaves output YN as it is; --stuck-counter\n"
           "leaves XN's counts as they are when told to clear them; --ignore-clear-code\n"
           "acknowledges the clear code and clears nothing; --swap-clear-coils clears the\n"
           "32-bit counts with coils 1000..1003 and the 16-bit ones with 1004..1007;\n"
           "--dead-frequency reads 0 Hz on every input in frequency mode.\n";
}

}  // namespace sim
