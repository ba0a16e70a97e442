#include "TestSlave.h"

#include "RtuFrames.h"

#include <fcntl.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace test_slave {

namespace {

constexpr int kCoils = 2000;
constexpr int kInputs = 2000;
constexpr int kInputRegisters = 2000;
constexpr int kHoldingRegisters = 2000;
// Commands wait for the serving thread; it never blocks longer than one
// reply, so this only trips when the thread is stuck.
constexpr auto kCommandWait = std::chrono::seconds(5);

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::size_t index(int point, int size) {
    if (point < 1 || point > size) {
        throw std::out_of_range("test slave point " + std::to_string(point));
    }
    return static_cast<std::size_t>(point - 1);
}

void writeAll(int fd, const uint8_t* data, int length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(length));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;  // link already gone: the driver sees silence
        }
        data += n;
        length -= static_cast<int>(n);
    }
}

modbus_t* newContext(int address) {
    // Never connected: the descriptor comes from modbus_set_socket.
    modbus_t* ctx = modbus_new_rtu("/dev/null", 38400, 'N', 8, 1);
    if (ctx == nullptr) {
        fail("modbus_new_rtu");
    }
    modbus_set_slave(ctx, address);
    modbus_set_byte_timeout(ctx, 0, 100'000);
    return ctx;
}

}  // namespace

TestSlave::TestSlave(int slaveAddress) : address_(slaveAddress) {
    char folder[] = "/tmp/tq7310-slave-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        fail("mkdtemp");
    }
    folder_ = folder;
    link_ = folder_ + "/tty";

    server_ = newContext(address_);
    frames_ = std::make_unique<RtuFrames>();
    mapping_ = modbus_mapping_new(kCoils, kInputs, kHoldingRegisters, kInputRegisters);
    if (mapping_ == nullptr) {
        fail("modbus_mapping_new");
    }
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        fail("pipe2");
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    openLink();
    thread_ = std::thread([this] { serve(); });
}

TestSlave::~TestSlave() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_ = Command::Stop;
    }
    changed_.notify_all();
    wake();
    thread_.join();
    closeLink();
    ::close(wakeRead_);
    ::close(wakeWrite_);
    modbus_free(server_);
    modbus_mapping_free(mapping_);
    ::rmdir(folder_.c_str());
}

std::string TestSlave::devicePath() const {
    return link_;
}

void TestSlave::openLink() {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        fail("openpty");
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Raw on our side too: between two opens of the driver the pty keeps
    // these settings, and a cooked line would mangle replies sent then.
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);

    const char* name = ::ptsname(master);
    if (name == nullptr) {
        fail("ptsname");
    }
    // Repoint atomically so the driver never finds the path missing while
    // the link is up.
    const std::string staging = folder_ + "/tty.new";
    ::unlink(staging.c_str());
    if (::symlink(name, staging.c_str()) != 0 || ::rename(staging.c_str(), link_.c_str()) != 0) {
        fail("symlink");
    }
    master_ = master;
    heldSlave_ = slave;
    modbus_set_socket(server_, master_);
}

void TestSlave::closeLink() {
    ::unlink(link_.c_str());
    if (heldSlave_ >= 0) {
        ::close(heldSlave_);
        heldSlave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    modbus_set_socket(server_, -1);
}

void TestSlave::wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);
}

void TestSlave::serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (pending_ == Command::Stop) {
            return;
        }
        if (pending_ != Command::None) {
            runCommand(pending_);
            pending_ = Command::None;
            ++commandsDone_;
            changed_.notify_all();
            continue;
        }
        const int master = master_;
        lock.unlock();

        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master, POLLIN, 0}};
        const int ready = ::poll(fds, master >= 0 ? 2 : 1, -1);
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            char scrap[64];
            while (::read(wakeRead_, scrap, sizeof scrap) > 0) {
            }
        }
        uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
        int length = 0;
        if (ready > 0 && master >= 0 && (fds[1].revents & POLLIN) != 0) {
            // Only this thread closes the master, so it is still ours here.
            length = modbus_receive(server_, request);
        }
        lock.lock();
        if (length > 0) {
            answer(request, length, lock);
        }
    }
}

void TestSlave::runCommand(Command command) {
    switch (command) {
        case Command::HangUp:
            closeLink();
            break;
        case Command::Reconnect:
            closeLink();
            openLink();
            break;
        case Command::None:
        case Command::Stop:
            break;
    }
}

void TestSlave::answer(const uint8_t* request, int length, std::unique_lock<std::mutex>& lock) {
    ++requests_;
    const int function = request[1];
    if (function == MODBUS_FC_WRITE_SINGLE_COIL || function == MODBUS_FC_WRITE_SINGLE_REGISTER) {
        writes_.push_back(
            {function, (request[2] << 8) | request[3], (request[4] << 8) | request[5]});
    }
    changed_.notify_all();

    const Misbehaviour how = misbehaviour_;
    if (how == Misbehaviour::Silent) {
        return;
    }
    if (how == Misbehaviour::Scripted) {
        std::vector<uint8_t> out = script_;
        if (turn_ < turns_.size()) {
            for (const auto& piece : turns_[turn_]) {
                out.insert(out.end(), piece.empty() ? request : piece.data(),
                           piece.empty() ? request + length : piece.data() + piece.size());
            }
        }
        ++turn_;
        if (master_ >= 0 && !out.empty()) {
            writeAll(master_, out.data(), static_cast<int>(out.size()));
        }
        return;
    }
    // libmodbus builds the reply (and applies writes to the mapping); we
    // then send it on the pty as it is or damaged.
    RtuFrames::Bytes reply = frames_->reply(RtuFrames::Bytes(request, request + length), mapping_,
                                            how == Misbehaviour::Exception ? exceptionCode_ : 0);
    if (reply.size() < 3) {
        return;
    }
    switch (how) {
        case Misbehaviour::BadCrc:
            reply.back() ^= 0x5A;
            break;
        case Misbehaviour::WrongSlave:
            // A sound frame, only from another address.
            reply = frames_->readdressed(address_ % 247 + 1, reply);
            break;
        case Misbehaviour::Truncated:
            reply.resize(std::max<std::size_t>(2, reply.size() / 2));
            break;
        case Misbehaviour::Late:
            // A command (hang-up, stop) cuts the wait short and drops the reply.
            if (changed_.wait_for(lock, std::chrono::milliseconds(lateMs_),
                                  [this] { return pending_ != Command::None; })) {
                return;
            }
            break;
        case Misbehaviour::TrailingEcho:
            // In the same write, so the echo is on the line before the
            // master can send again.
            reply.insert(reply.end(), request, request + length);
            break;
        case Misbehaviour::None:
        case Misbehaviour::Silent:
        case Misbehaviour::Exception:
        case Misbehaviour::Scripted:
            break;
    }
    if (master_ >= 0) {
        writeAll(master_, reply.data(), static_cast<int>(reply.size()));
    }
}

void TestSlave::post(Command command) {
    std::unique_lock<std::mutex> lock(mutex_);
    pending_ = command;
    const unsigned long ticket = ++commandsPosted_;
    changed_.notify_all();
    wake();
    if (!changed_.wait_for(lock, kCommandWait, [&] { return commandsDone_ >= ticket; })) {
        throw std::runtime_error("test slave thread did not respond");
    }
}

void TestSlave::hangUp() {
    post(Command::HangUp);
}

void TestSlave::reconnect() {
    post(Command::Reconnect);
}

void TestSlave::setInput(int point, bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    mapping_->tab_input_bits[index(point, kInputs)] = on ? 1 : 0;
}

void TestSlave::setCoil(int point, bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    mapping_->tab_bits[index(point, kCoils)] = on ? 1 : 0;
}

bool TestSlave::coil(int point) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mapping_->tab_bits[index(point, kCoils)] != 0;
}

void TestSlave::setInputRegister(int point, uint16_t v) {
    std::lock_guard<std::mutex> lock(mutex_);
    mapping_->tab_input_registers[index(point, kInputRegisters)] = v;
}

uint16_t TestSlave::inputRegister(int point) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mapping_->tab_input_registers[index(point, kInputRegisters)];
}

void TestSlave::setHoldingRegister(int point, uint16_t v) {
    std::lock_guard<std::mutex> lock(mutex_);
    mapping_->tab_registers[index(point, kHoldingRegisters)] = v;
}

uint16_t TestSlave::holdingRegister(int point) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mapping_->tab_registers[index(point, kHoldingRegisters)];
}

std::vector<WriteRecord> TestSlave::writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

int TestSlave::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool TestSlave::waitForRequests(int count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return requests_ >= count; });
}

void TestSlave::misbehave(Misbehaviour m, int exceptionCode, int lateMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    misbehaviour_ = m;
    exceptionCode_ = exceptionCode;
    lateMs_ = lateMs;
}

void TestSlave::answerWith(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    misbehaviour_ = Misbehaviour::Scripted;
    script_ = bytes;
}

void TestSlave::answerInTurn(std::vector<Answer> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    misbehaviour_ = Misbehaviour::Scripted;
    script_.clear();
    turns_ = std::move(answers);
    turn_ = 0;
}

ScopedPortEnv::ScopedPortEnv(int port, const std::string& path)
    : name_("TQ7310_COM" + std::to_string(port)) {
    if (const char* old = std::getenv(name_.c_str())) {
        hadOld_ = true;
        old_ = old;
    }
    ::setenv(name_.c_str(), path.c_str(), 1);
}

ScopedPortEnv::~ScopedPortEnv() {
    if (hadOld_) {
        ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

}  // namespace test_slave
