#include "Console.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace sim {

Console::Console(ModuleModel& model, bool verbose) : model_(model) {
    state_.verbose = verbose;
}

int Console::fd() const {
    return open_ ? STDIN_FILENO : -1;
}

void Console::read() {
    char chunk[1024];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (n <= 0) {
        // Run in the background with nothing on standard input: keep serving.
        open_ = false;
        return;
    }
    const LineAssembler::Lines lines = input_.feed({chunk, static_cast<std::size_t>(n)});
    for (const std::string& line : lines.complete) {
        say(applyCommand(parseCommand(line), model_, state_));
        if (state_.quit) {
            return;
        }
    }
    if (lines.gaveUp) {
        say("error: line too long\n");
    }
}

void Console::say(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void Console::log(const std::string& text) const {
    if (state_.verbose) {
        say(text + "\n");
    }
}

}  // namespace sim
