#pragma once
// The simulator on its line: takes frames off it with libmodbus, answers
// them through the request handler, keeps off the line while others use it,
// paces replies like a real line if asked, and loses or holds back replies as
// a bad line would if asked, until a signal or the console's `quit` stops it.

#include <modbus.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "Console.h"
#include "Line.h"
#include "LineFaults.h"
#include "ModuleModel.h"
#include "Options.h"
#include "RequestHandler.h"

namespace sim {

class Server {
  public:
    // Throws std::system_error when the replies cannot be set up.
    Server(const Options& options, Line& line);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Serves until asked to stop; returns the exit status.
    int run();

  private:
    using Time = std::chrono::steady_clock::time_point;

    modbus_t* newReceiver() const;
    void renewReceiver();
    // Reads until the line has been quiet for a while; returns what came.
    std::vector<std::uint8_t> drain();
    void answer(std::span<const std::uint8_t> request, Time arrival);
    // Returns false when the line is gone.
    bool serveFrame();
    // Sends the reply when it is due, `hold` after its usual time. Nothing
    // else is read meanwhile: later requests wait, and are answered in turn.
    void reply(const std::vector<std::uint8_t>& frame, std::size_t requestSize, Time arrival,
               std::chrono::milliseconds hold);
    // The master's baud rate when a module would not hear it at that rate
    // (-1 when the rate is none a module knows), else 0.
    int offRate() const;

    const Options& options_;
    Line& line_;
    ModuleModel model_;
    RequestHandler handler_;
    LineFaults faults_;
    Console console_;
    modbus_t* receiver_;
};

}  // namespace sim
