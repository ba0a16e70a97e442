#ifndef TQ7310_TESTS_SLAVE_TESTSLAVE_H
#define TQ7310_TESTS_SLAVE_TESTSLAVE_H

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The libmodbus types stay out of the header so tests need not include it.
struct _modbus;
class RtuFrames;
struct _modbus_mapping_t;

namespace test_slave {

// How the slave answers from the next request on, until misbehave(None).
// TrailingEcho answers properly, then echoes the request onto the line, as a
// half-duplex adapter without echo suppression does. Scripted answers every
// request with the bytes given to answerWith, as they are.
enum class Misbehaviour {
    None,
    Silent,
    Exception,
    BadCrc,
    WrongSlave,
    Truncated,
    Late,
    TrailingEcho,
    Scripted
};

// One write request as it arrived: protocol address (0-based), value as sent
// (a coil switched on reads 0xFF00).
struct WriteRecord {
    int function;
    int address;
    int value;
};

// A Modbus RTU slave on a fresh pseudo-terminal. The driver under test opens
// devicePath() (a symlink that reconnect() repoints), so the port number it
// is given maps there through ScopedPortEnv.
//
// 2000 points of each kind, protocol addresses 0..1999. Setters take point numbers from 1.
class TestSlave {
  public:
    explicit TestSlave(int slaveAddress = 1);
    ~TestSlave();
    TestSlave(const TestSlave&) = delete;
    TestSlave& operator=(const TestSlave&) = delete;

    std::string devicePath() const;

    void setInput(int point, bool on);
    void setCoil(int point, bool on);
    bool coil(int point) const;
    void setInputRegister(int point, uint16_t v);
    uint16_t inputRegister(int point) const;
    void setHoldingRegister(int point, uint16_t v);
    uint16_t holdingRegister(int point) const;

    std::vector<WriteRecord> writes() const;
    int requests() const;
    bool waitForRequests(int count, int timeoutMs) const;

    void misbehave(Misbehaviour m, int exceptionCode = 2, int lateMs = 600);
    void answerWith(const std::vector<uint8_t>& bytes);
    // Scripted: request n (from 0, counted from this call) gets the pieces
    // of answers[n] at once, an empty piece standing for the request itself
    // echoed; later requests get nothing. What a real line does late, such
    // as a reply to an earlier request, arrives with a later one, so no
    // verdict waits on a guess of speed.
    using Answer = std::vector<std::vector<uint8_t>>;
    void answerInTurn(std::vector<Answer> answers);

    // Closes the slave's side of the pty: the driver's descriptor sees a
    // hang-up, and devicePath() leads nowhere until reconnect().
    void hangUp();
    void reconnect();

  private:
    enum class Command { None, HangUp, Reconnect, Stop };

    void serve();
    void runCommand(Command command);
    void openLink();
    void closeLink();
    void answer(const uint8_t* request, int length, std::unique_lock<std::mutex>& lock);
    void post(Command command);
    void wake();

    const int address_;
    std::string folder_;
    std::string link_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    _modbus* server_ = nullptr;          // reads requests from the pty master
    std::unique_ptr<RtuFrames> frames_;  // builds the replies
    _modbus_mapping_t* mapping_ = nullptr;
    int master_ = -1;
    int heldSlave_ = -1;  // keeps the pty up while the driver closes and reopens
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    Misbehaviour misbehaviour_ = Misbehaviour::None;
    int exceptionCode_ = 2;
    int lateMs_ = 600;
    std::vector<uint8_t> script_;
    std::vector<Answer> turns_;
    std::size_t turn_ = 0;
    int requests_ = 0;
    std::vector<WriteRecord> writes_;
    Command pending_ = Command::None;
    unsigned long commandsPosted_ = 0;
    unsigned long commandsDone_ = 0;
    std::thread thread_;
};

// Points TQ7310_COM<port> at a device for the lifetime of the object.
class ScopedPortEnv {
  public:
    ScopedPortEnv(int port, const std::string& path);
    ~ScopedPortEnv();
    ScopedPortEnv(const ScopedPortEnv&) = delete;
    ScopedPortEnv& operator=(const ScopedPortEnv&) = delete;

  private:
    std::string name_;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace test_slave

#endif
