#pragma once
// The simulator at work: its line, and the network services if asked for,
// served from one poll loop with the console, answering through one
// responder on one module, until a signal or the console's `quit` stops it.

#include <memory>
#include <vector>

#include "Console.h"
#include "Line.h"
#include "ModuleModel.h"
#include "NetService.h"
#include "Options.h"
#include "Responder.h"
#include "RtuPort.h"

namespace sim {

class Server {
  public:
    // Throws std::system_error when the replies cannot be set up, and
    // ListenError when a network service cannot listen.
    Server(const Options& options, Line& line);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Serves until asked to stop; returns the exit status.
    int run();

  private:
    const Options& options_;
    Line& line_;
    ModuleModel model_;
    Console console_;
    Responder responder_;
    RtuPort port_;
    std::vector<std::unique_ptr<NetService>> services_;
};

}  // namespace sim
