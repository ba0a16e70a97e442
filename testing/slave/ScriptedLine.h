#ifndef TQ7310_TESTS_SLAVE_SCRIPTEDLINE_H
#define TQ7310_TESTS_SLAVE_SCRIPTEDLINE_H

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_slave {

// The far end of a line whose every answer is written down beforehand: as
// each request (eight bytes, as the driver sends them all) arrives, the
// bytes scripted for it go out at once, the request itself wherever the
// script says so (an adapter's echo). What a real line does late, such as
// a reply to an earlier request, is scripted to arrive with a later one, so
// no verdict waits on a guess of speed.
class ScriptedLine {
  public:
    // One piece of an answer: bytes, or, when empty, the request echoed.
    using Bytes = std::vector<std::uint8_t>;
    using Answer = std::vector<Bytes>;

    explicit ScriptedLine(std::vector<Answer> answers);
    ~ScriptedLine();
    ScriptedLine(const ScriptedLine&) = delete;
    ScriptedLine& operator=(const ScriptedLine&) = delete;

    std::string devicePath() const { return device_; }
    int requests() const;

  private:
    void serve();

    const std::vector<Answer> answers_;
    int master_ = -1;
    int slave_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string device_;
    mutable std::mutex mutex_;
    int requests_ = 0;
    std::thread thread_;
};

}  // namespace test_slave

#endif
