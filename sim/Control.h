#pragma once
// The simulator's control language: one command a line on standard input.
// Parsing is a plain function of the line so any bytes at all can be thrown
// at it.

#include <cstdint>
#include <string>
#include <string_view>

#include "ModuleModel.h"

namespace sim {

struct Command {
    enum class Kind { Empty, Help, Di, X, Freq, Count, Show, Verbose, Quit, Invalid };
    Kind kind = Kind::Empty;
    int index = 0;            // 0-based: di 1 and x 1 give 0
    std::uint64_t value = 0;  // the level, Hz, count or verbose flag
    std::string error;        // why the line was refused, for Invalid
};

Command parseCommand(std::string_view line);

struct ControlState {
    bool verbose = false;
    bool quit = false;
};

// Carries a parsed command out; returns the text to print, each line ending
// in '\n'.
std::string applyCommand(const Command& command, ModuleModel& model, ControlState& state);

std::string helpText();
std::string describeState(ModuleModel& model);

}  // namespace sim
