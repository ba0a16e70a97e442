#include "Options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "SerialLine.h"

namespace sim {

namespace {

template <typename Integer>
bool integer(std::string_view text, Integer& out) {
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
    return colon != std::string_view::npos && integer(text.substr(0, colon), faults.muteAfter) &&
           faults.muteAfter > 0 && integer(text.substr(colon + 1), faults.muteMs) &&
           faults.muteMs > 0 && faults.muteMs <= kMaxMuteMs;
}

// The 1-based number of a point for --stuck-register, --stuck-coil, --stuck-counter.
bool pointNumber(std::string_view text, int last, int& out) {
    return integer(text, out) && out >= 1 && out <= last;
}

bool parity(std::string_view text, char& out) {
    if (text == "none") {
        out = 'N';
    } else if (text == "odd") {
        out = 'O';
    } else if (text == "even") {
        out = 'E';
    } else {
        return false;
    }
    return true;
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
        const auto judged = [&](bool good, std::string refusal) {
            if (!good) {
                error = std::move(refusal);
            }
            return good;
        };
        std::string_view v;
        bool taken = true;
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
            taken = value(v) && judged(probability(v, o.faults.dropProbability),
                                       "--drop takes a probability, 0 to 1");
        } else if (arg == "--late") {
            taken = value(v) && judged(lateSetting(v, o.faults),
                                       "--late takes P:MS, a probability 0 to 1 and 1.." +
                                           std::to_string(kMaxLateMs) + " ms");
        } else if (arg == "--mute-after") {
            taken = value(v) && judged(muteSetting(v, o.faults),
                                       "--mute-after takes N:MS, a request count from 1 and 1.." +
                                           std::to_string(kMaxMuteMs) + " ms");
        } else if (arg == "--stuck-register") {
            taken = value(v) && judged(pointNumber(v, module_map::kConfigRegistersShown,
                                                   o.moduleFaults.stuckRegister),
                                       "--stuck-register takes 1.." +
                                           std::to_string(module_map::kConfigRegistersShown));
        } else if (arg == "--stuck-coil") {
            taken =
                value(v) && judged(pointNumber(v, module_map::kOutputs, o.moduleFaults.stuckCoil),
                                   "--stuck-coil takes 1.." + std::to_string(module_map::kOutputs));
        } else if (arg == "--stuck-counter") {
            taken =
                value(v) &&
                judged(pointNumber(v, module_map::kCountingInputs, o.moduleFaults.stuckCounter),
                       "--stuck-counter takes 1.." + std::to_string(module_map::kCountingInputs));
        } else if (arg == "--seed") {
            taken = value(v) && judged(integer(v, o.faults.seed),
                                       "--seed takes 0.." + std::to_string(UINT64_MAX));
        } else if (arg == "--tcp" || arg == "--rtu-tcp") {
            int& port = arg == "--tcp" ? o.tcpPort : o.rtuTcpPort;
            taken = value(v) && judged(integer(v, port) && port >= 0 && port <= kMaxTcpPort,
                                       std::string(arg) + " takes a port, 0.." +
                                           std::to_string(kMaxTcpPort) + " (0: any free one)");
        } else if (arg == "--bind") {
            taken = value(v) && judged(!v.empty(), "--bind takes an address");
            o.bind = v;
        } else if (arg == "--gateway") {
            o.gateway = true;
        } else if (arg == "--device") {
            taken = value(v);
            o.device = v;
        } else if (arg == "--link") {
            taken = value(v);
            o.link = v;
        } else if (arg == "--address") {
            taken = value(v) && judged(integer(v, o.address) && o.address >= kMinAddress &&
                                           o.address <= kMaxAddress,
                                       "--address takes " + std::to_string(kMinAddress) + ".." +
                                           std::to_string(kMaxAddress));
        } else if (arg == "--turnaround") {
            taken = value(v) &&
                    judged(integer(v, o.turnaroundMs) && o.turnaroundMs >= 0 &&
                               o.turnaroundMs <= kMaxTurnaroundMs,
                           "--turnaround takes 0.." + std::to_string(kMaxTurnaroundMs) + " ms");
        } else if (arg == "--baud") {
            taken = value(v) &&
                    judged(integer(v, o.baud) &&
                               std::find(module_line::kBauds.begin(), module_line::kBauds.end(),
                                         o.baud) != module_line::kBauds.end(),
                           "--baud takes 9600, 19200 or 38400");
        } else if (arg == "--parity") {
            taken = value(v) && judged(parity(v, o.parity), "--parity takes none, odd or even");
        } else {
            error = "unknown option " + std::string(arg);
            return {};
        }
        if (!taken) {
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
           "                  [--dead-frequency] [--tcp PORT] [--rtu-tcp PORT] [--bind ADDR]\n"
           "                  [--gateway]\n"
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
           "--dead-frequency reads 0 Hz on every input in frequency mode.\n"
           "--tcp serves the module by Modbus TCP too, the unit id being its address, and\n"
           "--rtu-tcp its RTU frames over TCP as a serial server does, on ADDR (--bind,\n"
           "default 127.0.0.1) and PORT (0: any free one); each prints a ready line of its\n"
           "own. --gateway answers another unit on Modbus TCP with exception 0B.\n";
}

}  // namespace sim
