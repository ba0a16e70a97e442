#pragma once
// The simulator's command line, parsed without touching the system.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "LineFaults.h"
#include "ModuleModel.h"

namespace sim {

struct Options {
    std::string device;  // a real serial port; empty: open a pseudo-terminal
    std::string link;    // where to keep a symlink to the pseudo-terminal
    int address = 1;
    int baud = 9600;
    char parity = 'E';
    bool pace = false;
    // How long after a request's arrival the reply goes out, in ms; 0 for a
    // module's few milliseconds. Some slaves take up to a few hundred.
    int turnaroundMs = 0;
    // Requests sent at another baud rate than ours are garbage to a real
    // module; on a pseudo-terminal we read the rate the master set.
    bool strictBaud = true;
    // Replies lost or held back, as on a bad line.
    FaultSettings faults;
    // A module that is itself faulty.
    ModuleFaults moduleFaults;
    // Every value read carries the number of the request it answers.
    bool stamp = false;
    bool verbose = false;
    bool help = false;
    // Network services beside the line; -1: not served, 0: an ephemeral port.
    int tcpPort = -1;     // Modbus TCP
    int rtuTcpPort = -1;  // RTU frames over TCP, as a serial server carries them
    std::string bind = "127.0.0.1";
    // On Modbus TCP, a request for another unit gets exception 0B, as from a
    // gateway with nothing at that unit, instead of no answer.
    bool gateway = false;
};

inline constexpr int kMinAddress = 1;
inline constexpr int kMaxAddress = 247;
inline constexpr int kMaxTurnaroundMs = 1000;
inline constexpr int kMaxLateMs = 10000;
inline constexpr int kMaxMuteMs = 60000;
inline constexpr int kMaxTcpPort = 65535;

// `args` excludes the program name. On failure returns nothing and says why.
std::optional<Options> parseOptions(std::span<const std::string_view> args, std::string& error);

std::string usageText();

}  // namespace sim
