// tq7310-sim: a simulated TQ7310 module on a serial line, for working on the
// panel without the hardware. See sim/README.md.

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "Line.h"
#include "Listener.h"
#include "Options.h"
#include "Server.h"
#include "StopSignals.h"

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = sim::parseOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "tq7310-sim: %s\n%s", error.c_str(), sim::usageText().c_str());
        return 2;
    }
    if (options->help) {
        const std::string help = sim::usageText() + "\n" + sim::helpText();
        std::fwrite(help.data(), 1, help.size(), stdout);
        return 0;
    }
    sim::installStopSignals();
    // A network client that hangs up before its reply goes out must cost
    // only that reply, not the simulator.
    std::signal(SIGPIPE, SIG_IGN);
    // The line outlives the server, which serves on it.
    sim::Line line;
    if (!line.open(*options, error)) {
        std::fprintf(stderr, "tq7310-sim: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<sim::Server> server;
    try {
        server = std::make_unique<sim::Server>(*options, line);
    } catch (const sim::ListenError& e) {
        std::fprintf(stderr, "tq7310-sim: %s\n", e.what());
        return 1;
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "tq7310-sim: cannot set up the replies: %s\n", e.what());
        return 1;
    }
    return server->run();
}
