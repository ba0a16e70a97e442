#pragma once
// The simulator's console: command lines on standard input, carried out on
// the model in the control language, and all it prints on standard output.
// The line's log goes through here as well, since `verbose` turns it on.

#include <string>

#include "Control.h"
#include "LineAssembler.h"
#include "ModuleModel.h"

namespace sim {

class Console {
  public:
    Console(ModuleModel& model, bool verbose);

    // What to poll for commands: standard input until it ends, then -1.
    int fd() const;
    // Takes what standard input holds and carries out the lines it completes,
    // up to a `quit`.
    void read();
    bool quit() const { return state_.quit; }

    // Flushed at once: a reader on a pipe waits for each line.
    static void say(const std::string& text);
    // One line of the per-frame log.
    void log(const std::string& text) const;

  private:
    ModuleModel& model_;
    ControlState state_;
    LineAssembler input_;
    bool open_ = true;
};

}  // namespace sim
