#pragma once
// What every service does with a request once it has the RTU frame: the
// request handler's answer, the line faults' verdict on it, its log line,
// and the reply sent when it is due. One for all services, so that they
// share one module, one count of requests and so one draw of faults.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Console.h"
#include "LineFaults.h"
#include "ModuleModel.h"
#include "Options.h"
#include "RequestHandler.h"

namespace sim {

class Responder {
  public:
    using Time = std::chrono::steady_clock::time_point;
    using Bytes = std::vector<std::uint8_t>;

    // Throws std::system_error when the replies cannot be set up.
    Responder(const Options& options, ModuleModel& model, Console& console);

    struct Answer {
        Bytes reply;  // the RTU reply frame; empty when nothing goes back
        std::chrono::milliseconds hold{0};
    };
    // The reply to `request` (address, PDU, CRC) as the faults leave it;
    // logs it, `where` first.
    Answer answer(std::span<const std::uint8_t> request, Time arrival,
                  const std::string& where = {});
    // Writes `bytes` to `fd` when they are due, `hold` after their usual
    // time; `wireBytes`, the request's and reply's frames, set the pace.
    // Nothing else is read meanwhile: later requests wait, and are answered
    // in turn.
    void send(int fd, const Bytes& bytes, std::size_t wireBytes, Time arrival,
              std::chrono::milliseconds hold);

    // Address and PDU with their CRC, as the frame would come off a line.
    Bytes rtuFrame(std::span<const std::uint8_t> addressAndPdu) {
        return handler_.frame(addressAndPdu);
    }

    const Options& options() const { return options_; }
    Console& console() { return console_; }

  private:
    const Options& options_;
    Console& console_;
    RequestHandler handler_;
    LineFaults faults_;
};

std::string hex(std::span<const std::uint8_t> bytes);

}  // namespace sim
