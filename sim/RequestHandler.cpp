#include "sim/RequestHandler.h"

#include <modbus.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace sim {

namespace mm = module_map;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Function codes the module answers.
constexpr std::uint8_t kReadCoils = MODBUS_FC_READ_COILS;
constexpr std::uint8_t kReadInputs = MODBUS_FC_READ_DISCRETE_INPUTS;
constexpr std::uint8_t kReadHolding = MODBUS_FC_READ_HOLDING_REGISTERS;
constexpr std::uint8_t kReadInputRegisters = MODBUS_FC_READ_INPUT_REGISTERS;
constexpr std::uint8_t kWriteCoil = MODBUS_FC_WRITE_SINGLE_COIL;
constexpr std::uint8_t kWriteRegister = MODBUS_FC_WRITE_SINGLE_REGISTER;
constexpr std::uint8_t kWriteCoils = MODBUS_FC_WRITE_MULTIPLE_COILS;
constexpr std::uint8_t kWriteRegisters = MODBUS_FC_WRITE_MULTIPLE_REGISTERS;

constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr std::uint16_t kCoilOn = 0xFF00;
constexpr std::uint16_t kCoilOff = 0x0000;

// Quantities a single request may carry, as the protocol bounds them.
constexpr int kMaxReadBits = MODBUS_MAX_READ_BITS;
constexpr int kMaxReadRegisters = MODBUS_MAX_READ_REGISTERS;
constexpr int kMaxWriteBits = MODBUS_MAX_WRITE_BITS;
constexpr int kMaxWriteRegisters = MODBUS_MAX_WRITE_REGISTERS;

constexpr std::size_t kMinFrame = 4;  // address, function, CRC
constexpr std::size_t kCrcSize = 2;

// The mapping holds point n at index n - 1 (protocol address n - 1), up to
// the highest point served; the module's checks keep requests off the gaps.
constexpr int kMappedCoils = mm::kClear32Coil + mm::kCountingInputs - 1;
constexpr int kMappedInputs = mm::kFirstInput + mm::kInputsRead - 1;
constexpr int kMappedInputRegisters = mm::kCount32Register + 2 * mm::kCount32Values - 1;
constexpr int kMappedHolding = mm::kClearCodeRegister;

int word(std::span<const std::uint8_t> data, std::size_t at) {
    return (data[at] << 8) | data[at + 1];
}

// What follows the function code, up to the CRC.
std::span<const std::uint8_t> payload(std::span<const std::uint8_t> frame) {
    return frame.subspan(2, frame.size() - 2 - kCrcSize);
}

bool within(int point, int first, int count) {
    return point >= first && point < first + count;
}

const char* exceptionText(Exception e) {
    switch (e) {
        case Exception::IllegalFunction:
            return "illegal function";
        case Exception::IllegalDataAddress:
            return "illegal data address";
        case Exception::IllegalDataValue:
            return "illegal data value";
    }
    return "exception";
}

std::string range(int first, int count) {
    return count == 1 ? std::to_string(first)
                      : std::to_string(first) + ".." + std::to_string(first + count - 1);
}

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

// libmodbus as the module's line driver, except that its line is one end of
// a socket pair: what it sends comes out at the other end, and that is the
// reply frame.
class RequestHandler::Encoder {
  public:
    explicit Encoder(int address);
    ~Encoder() { release(); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    modbus_mapping_t& mapping() { return *mapping_; }

    // libmodbus checks a CRC only while receiving a frame it can size, yet
    // the frames it cannot size (unknown functions, malformed requests) are
    // answered too; so libmodbus frames the same bytes again and the two
    // CRCs must agree.
    bool intact(std::span<const std::uint8_t> frame);

    struct Sent {
        Bytes bytes;  // empty for a broadcast
        bool accepted = false;
    };
    // libmodbus stores a write's values in the mapping and frames the reply
    // from it.
    Sent reply(std::span<const std::uint8_t> frame);
    Bytes exception(std::span<const std::uint8_t> frame, Exception e);

  private:
    Bytes take();
    void release();

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    int line_ = -1;  // libmodbus's end
    int tap_ = -1;   // ours
};

RequestHandler::Encoder::Encoder(int address) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        fail("socketpair");
    }
    line_ = pair[0];
    tap_ = pair[1];
    // Never connected: the descriptor comes from modbus_set_socket.
    ctx_ = modbus_new_rtu("tq7310-sim", 9600, 'N', 8, 1);
    mapping_ =
        modbus_mapping_new(kMappedCoils, kMappedInputs, kMappedHolding, kMappedInputRegisters);
    if (ctx_ == nullptr || mapping_ == nullptr) {
        const int error = errno;
        release();
        errno = error;
        fail("libmodbus");
    }
    modbus_set_slave(ctx_, address);
    modbus_set_socket(ctx_, line_);
    // libmodbus sleeps this long before an exception it raises itself. The
    // module's checks come first, so it should never; if it ever did, half a
    // second of silence would cost the master its request.
    modbus_set_response_timeout(ctx_, 0, 1);
}

void RequestHandler::Encoder::release() {
    if (ctx_ != nullptr) {
        modbus_free(ctx_);
        ctx_ = nullptr;
    }
    if (mapping_ != nullptr) {
        modbus_mapping_free(mapping_);
        mapping_ = nullptr;
    }
    for (int* fd : {&line_, &tap_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

Bytes RequestHandler::Encoder::take() {
    Bytes out;
    std::uint8_t chunk[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const ssize_t n = ::recv(tap_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            out.insert(out.end(), chunk, chunk + n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return out;
        }
    }
}

bool RequestHandler::Encoder::intact(std::span<const std::uint8_t> frame) {
    const std::span<const std::uint8_t> body = frame.first(frame.size() - kCrcSize);
    const bool sent =
        modbus_send_raw_request(ctx_, body.data(), static_cast<int>(body.size())) >= 0;
    const Bytes again = take();
    return sent && again.size() == frame.size() &&
           std::equal(again.end() - kCrcSize, again.end(), frame.end() - kCrcSize);
}

RequestHandler::Encoder::Sent RequestHandler::Encoder::reply(std::span<const std::uint8_t> frame) {
    const int rc = modbus_reply(ctx_, frame.data(), static_cast<int>(frame.size()), mapping_);
    Sent sent{take(), false};
    // A normal reply repeats the function code. libmodbus refusing a request
    // the module took would mean the mapping and the module's checks
    // disagree, and then the mapping holds nothing to apply.
    sent.accepted =
        rc >= 0 && (sent.bytes.empty() ? frame[0] == RequestHandler::kBroadcast
                                       : sent.bytes.size() > 1 && sent.bytes[1] == frame[1]);
    return sent;
}

Bytes RequestHandler::Encoder::exception(std::span<const std::uint8_t> frame, Exception e) {
    // libmodbus adds the flag to the function code arithmetically, which
    // turns a code that has it set already into a normal reply's code; the
    // master must see the flag, so libmodbus gets the code without it.
    const std::uint8_t header[] = {frame[0], static_cast<std::uint8_t>(frame[1] & ~kExceptionFlag)};
    const bool sent = modbus_reply_exception(ctx_, header, static_cast<unsigned int>(e)) >= 0;
    Bytes bytes = take();
    return sent ? bytes : Bytes{};
}

RequestHandler::RequestHandler(ModuleModel& model, int address)
    : model_(model), address_(address), encoder_(std::make_unique<Encoder>(address)) {}

RequestHandler::~RequestHandler() = default;

Handled RequestHandler::handle(std::span<const std::uint8_t> frame) {
    const std::string size = std::to_string(frame.size()) + " bytes";
    if (frame.size() < kMinFrame) {
        return {{}, "dropped " + size + ": too short"};
    }
    if (frame.size() > MODBUS_RTU_MAX_ADU_LENGTH) {
        return {{}, "dropped " + size + ": too long"};
    }
    if (!encoder_->intact(frame)) {
        return {{}, "dropped " + size + ": bad CRC"};
    }
    const int address = frame[0];
    if (address != address_ && address != kBroadcast) {
        return {{}, "ignored request for address " + std::to_string(address)};
    }
    model_.sync();
    Result r = process(frame);

    std::string note = r.what;
    if (r.failed) {
        char code[8];
        std::snprintf(code, sizeof code, "%02X", static_cast<unsigned>(r.exception));
        note += std::string(" -> exception ") + code + " (" + exceptionText(r.exception) + ")";
    } else {
        note += " -> ok";
    }
    // Nobody answers a broadcast; its writes still take effect.
    if (address == kBroadcast) {
        return {{}, "broadcast " + note};
    }
    Bytes reply = r.failed ? encoder_->exception(frame, r.exception) : std::move(r.reply);
    if (reply.empty()) {
        note += ", but libmodbus sent nothing";
    }
    return {std::move(reply), std::move(note)};
}

RequestHandler::Result RequestHandler::process(std::span<const std::uint8_t> frame) {
    const std::uint8_t function = frame[1];
    switch (function) {
        case kReadCoils:
        case kReadInputs:
            return readBits(frame);
        case kReadHolding:
        case kReadInputRegisters:
            return readRegisters(frame);
        case kWriteCoil:
            return writeCoil(frame);
        case kWriteRegister:
            return writeRegister(frame);
        case kWriteCoils:
            return writeCoils(frame);
        case kWriteRegisters:
            return writeRegisters(frame);
        default:
            break;
    }
    char what[32];
    std::snprintf(what, sizeof what, "function %02X", function);
    return {Exception::IllegalFunction, true, what, {}, false};
}

RequestHandler::Result RequestHandler::reply(std::span<const std::uint8_t> frame,
                                             std::string what) {
    Encoder::Sent sent = encoder_->reply(frame);
    if (!sent.accepted) {
        what += " (but libmodbus refused it)";
    }
    return {Exception{}, false, std::move(what), std::move(sent.bytes), sent.accepted};
}

RequestHandler::Result RequestHandler::refuse(Exception e, std::string what) {
    return {e, true, std::move(what), {}, false};
}

RequestHandler::Result RequestHandler::read(std::span<const std::uint8_t> frame, std::string what,
                                            int maxCount, const std::function<bool(int)>& served,
                                            const std::function<void(int)>& load) {
    const auto data = payload(frame);
    if (data.size() != 4) {
        return refuse(Exception::IllegalDataValue, what + " (malformed)");
    }
    const int first = word(data, 0) + 1;
    const int count = word(data, 2);
    what += " " + range(first, count);
    if (count < 1 || count > maxCount) {
        return refuse(Exception::IllegalDataValue, what);
    }
    for (int p = first; p < first + count; ++p) {
        if (!served(p)) {
            return refuse(Exception::IllegalDataAddress, what);
        }
    }
    // libmodbus answers from the mapping, so it gets the model's values first.
    for (int p = first; p < first + count; ++p) {
        load(p);
    }
    return reply(frame, std::move(what));
}

RequestHandler::Result RequestHandler::readBits(std::span<const std::uint8_t> frame) {
    const bool coils = frame[1] == kReadCoils;
    modbus_mapping_t& m = encoder_->mapping();
    std::uint8_t* bits = coils ? m.tab_bits : m.tab_input_bits;
    return read(
        frame, coils ? "read coils" : "read inputs", kMaxReadBits,
        [&](int p) { return coils ? coilServed(p) : inputServed(p); },
        [&](int p) {
            bits[p - 1] = static_cast<std::uint8_t>(coils ? readCoil(p) : readInput(p));
        });
}

RequestHandler::Result RequestHandler::readRegisters(std::span<const std::uint8_t> frame) {
    const bool holding = frame[1] == kReadHolding;
    modbus_mapping_t& m = encoder_->mapping();
    std::uint16_t* registers = holding ? m.tab_registers : m.tab_input_registers;
    return read(
        frame, holding ? "read holding registers" : "read input registers", kMaxReadRegisters,
        [&](int p) { return holding ? holdingServed(p) : inputRegisterServed(p); },
        [&](int p) { registers[p - 1] = holding ? readHolding(p) : readInputRegister(p); });
}

RequestHandler::Result RequestHandler::writeCoil(std::span<const std::uint8_t> frame) {
    const auto data = payload(frame);
    std::string what = "write coil";
    if (data.size() != 4) {
        return refuse(Exception::IllegalDataValue, what + " (malformed)");
    }
    const int point = word(data, 0) + 1;
    const int value = word(data, 2);
    what += " " + std::to_string(point);
    if (value != kCoilOn && value != kCoilOff) {
        return refuse(Exception::IllegalDataValue, what);
    }
    what += value == kCoilOn ? " on" : " off";
    if (!coilServed(point)) {
        return refuse(Exception::IllegalDataAddress, what);
    }
    Result r = reply(frame, std::move(what));
    if (r.stored) {
        writeCoilPoint(point, encoder_->mapping().tab_bits[point - 1] != 0);
    }
    return r;
}

RequestHandler::Result RequestHandler::writeRegister(std::span<const std::uint8_t> frame) {
    const auto data = payload(frame);
    std::string what = "write register";
    if (data.size() != 4) {
        return refuse(Exception::IllegalDataValue, what + " (malformed)");
    }
    const int point = word(data, 0) + 1;
    const auto value = static_cast<std::uint16_t>(word(data, 2));
    what += " " + std::to_string(point) + " = " + std::to_string(value);
    if (!holdingServed(point)) {
        return refuse(Exception::IllegalDataAddress, what);
    }
    if (!holdingAccepts(point, value)) {
        return refuse(Exception::IllegalDataValue, what);
    }
    Result r = reply(frame, std::move(what));
    if (r.stored) {
        writeHoldingPoint(point, encoder_->mapping().tab_registers[point - 1]);
    }
    return r;
}

RequestHandler::Result RequestHandler::writeCoils(std::span<const std::uint8_t> frame) {
    const auto data = payload(frame);
    std::string what = "write coils";
    if (data.size() < 5) {
        return refuse(Exception::IllegalDataValue, what + " (malformed)");
    }
    const int first = word(data, 0) + 1;
    const int count = word(data, 2);
    const std::size_t bytes = data[4];
    what += " " + range(first, count);
    if (count < 1 || count > kMaxWriteBits || bytes != static_cast<std::size_t>((count + 7) / 8) ||
        data.size() != 5 + bytes) {
        return refuse(Exception::IllegalDataValue, what);
    }
    for (int p = first; p < first + count; ++p) {
        if (!coilServed(p)) {
            return refuse(Exception::IllegalDataAddress, what);
        }
    }
    Result r = reply(frame, std::move(what));
    if (r.stored) {
        for (int p = first; p < first + count; ++p) {
            writeCoilPoint(p, encoder_->mapping().tab_bits[p - 1] != 0);
        }
    }
    return r;
}

RequestHandler::Result RequestHandler::writeRegisters(std::span<const std::uint8_t> frame) {
    const auto data = payload(frame);
    std::string what = "write registers";
    if (data.size() < 5) {
        return refuse(Exception::IllegalDataValue, what + " (malformed)");
    }
    const int first = word(data, 0) + 1;
    const int count = word(data, 2);
    const std::size_t bytes = data[4];
    what += " " + range(first, count);
    if (count < 1 || count > kMaxWriteRegisters || bytes != static_cast<std::size_t>(2 * count) ||
        data.size() != 5 + bytes) {
        return refuse(Exception::IllegalDataValue, what);
    }
    for (int p = first; p < first + count; ++p) {
        if (!holdingServed(p)) {
            return refuse(Exception::IllegalDataAddress, what);
        }
    }
    // All or nothing: one bad value leaves every register as it was.
    for (int i = 0; i < count; ++i) {
        if (!holdingAccepts(first + i, static_cast<std::uint16_t>(word(data, 5 + 2 * i)))) {
            return refuse(Exception::IllegalDataValue, what);
        }
    }
    Result r = reply(frame, std::move(what));
    if (r.stored) {
        for (int p = first; p < first + count; ++p) {
            writeHoldingPoint(p, encoder_->mapping().tab_registers[p - 1]);
        }
    }
    return r;
}

bool RequestHandler::inputServed(int point) const {
    return within(point, mm::kFirstInput, mm::kInputsRead);
}

bool RequestHandler::coilServed(int point) const {
    return within(point, mm::kFirstCoil, mm::kCoilsRead) ||
           within(point, mm::kClear16Coil, mm::kCountingInputs) ||
           within(point, mm::kClear32Coil, mm::kCountingInputs);
}

bool RequestHandler::inputRegisterServed(int point) const {
    return within(point, mm::kCount16Register, mm::kCount16Values) ||
           within(point, mm::kCount32Register, 2 * mm::kCount32Values);
}

bool RequestHandler::holdingServed(int point) const {
    return within(point, mm::kConfigRegister, mm::kConfigRegistersRead) ||
           point == mm::kClearCodeRegister;
}

bool RequestHandler::readInput(int point) const {
    if (within(point, mm::kFirstInput, mm::kCountingInputs)) {
        return model_.pulseInput(point - mm::kFirstInput);
    }
    if (within(point, mm::kFirstDigitalInput, mm::kDigitalInputs)) {
        return model_.digitalInput(point - mm::kFirstDigitalInput);
    }
    return false;  // spare inputs
}

bool RequestHandler::readCoil(int point) const {
    if (within(point, mm::kFirstCoil, mm::kOutputs)) {
        return model_.output(point - mm::kFirstCoil);
    }
    return false;  // spare coils, and clear coils, which act and fall back off
}

std::uint16_t RequestHandler::readInputRegister(int point) const {
    if (within(point, mm::kCount16Register, mm::kCount16Values)) {
        return model_.count16(point - mm::kCount16Register);
    }
    const int offset = point - mm::kCount32Register;
    const int value = offset / 2;
    const std::uint32_t v = value < mm::kFrequencyValueOffset
                                ? model_.count32(value)
                                : model_.frequencyValue(value - mm::kFrequencyValueOffset);
    return static_cast<std::uint16_t>(offset % 2 == 0 ? v >> 16 : v);
}

std::uint16_t RequestHandler::readHolding(int point) const {
    if (point == mm::kClearCodeRegister) {
        return 0;
    }
    return model_.config(point);
}

bool RequestHandler::holdingAccepts(int point, std::uint16_t value) {
    if (point == mm::kClearCodeRegister) {
        return value == mm::kClearCode;
    }
    return ModuleModel::configAccepts(point, value);
}

void RequestHandler::writeCoilPoint(int point, bool on) {
    if (within(point, mm::kFirstCoil, mm::kOutputs)) {
        model_.setCoil(point - mm::kFirstCoil, on);
    } else if (on && within(point, mm::kClear16Coil, mm::kCountingInputs)) {
        model_.clear16(point - mm::kClear16Coil);
    } else if (on && within(point, mm::kClear32Coil, mm::kCountingInputs)) {
        model_.clear32(point - mm::kClear32Coil);
    }
}

void RequestHandler::writeHoldingPoint(int point, std::uint16_t value) {
    if (point == mm::kClearCodeRegister) {
        model_.clearAll();
        return;
    }
    model_.setConfig(point, value);
}

}  // namespace sim
