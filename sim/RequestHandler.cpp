#include "sim/RequestHandler.h"

#include <cstdio>

namespace sim {

namespace mm = module_map;

namespace {

// Function codes the module answers.
constexpr std::uint8_t kReadCoils = 0x01;
constexpr std::uint8_t kReadInputs = 0x02;
constexpr std::uint8_t kReadHolding = 0x03;
constexpr std::uint8_t kReadInputRegisters = 0x04;
constexpr std::uint8_t kWriteCoil = 0x05;
constexpr std::uint8_t kWriteRegister = 0x06;
constexpr std::uint8_t kWriteCoils = 0x0F;
constexpr std::uint8_t kWriteRegisters = 0x10;

constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr std::uint16_t kCoilOn = 0xFF00;
constexpr std::uint16_t kCoilOff = 0x0000;

// Quantities a single request may carry, as the protocol bounds them.
constexpr int kMaxReadBits = 2000;
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteBits = 1968;
constexpr int kMaxWriteRegisters = 123;

constexpr std::size_t kMinFrame = 4;  // address, function, CRC

int word(std::span<const std::uint8_t> data, std::size_t at) {
    return (data[at] << 8) | data[at + 1];
}

void putWord(std::vector<std::uint8_t>& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
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

}  // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

void appendCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

Handled RequestHandler::handle(std::span<const std::uint8_t> frame) {
    if (frame.size() < kMinFrame) {
        return {{}, "dropped " + std::to_string(frame.size()) + " bytes: too short"};
    }
    const std::size_t body = frame.size() - 2;
    const std::uint16_t received = static_cast<std::uint16_t>(frame[body] | (frame[body + 1] << 8));
    if (crc16(frame.first(body)) != received) {
        return {{}, "dropped " + std::to_string(frame.size()) + " bytes: bad CRC"};
    }
    const int address = frame[0];
    if (address != address_ && address != kBroadcast) {
        return {{}, "ignored request for address " + std::to_string(address)};
    }
    const std::uint8_t function = frame[1];
    model_.sync();
    Result r = process(function, frame.subspan(2, body - 2));

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
    std::vector<std::uint8_t> reply{static_cast<std::uint8_t>(address_)};
    if (r.failed) {
        reply.push_back(static_cast<std::uint8_t>(function | kExceptionFlag));
        reply.push_back(static_cast<std::uint8_t>(r.exception));
    } else {
        reply.insert(reply.end(), r.pdu.begin(), r.pdu.end());
    }
    appendCrc(reply);
    return {std::move(reply), std::move(note)};
}

RequestHandler::Result RequestHandler::process(std::uint8_t function,
                                               std::span<const std::uint8_t> data) {
    switch (function) {
        case kReadCoils:
        case kReadInputs:
            return readBits(function, data);
        case kReadHolding:
        case kReadInputRegisters:
            return readRegisters(function, data);
        case kWriteCoil:
            return writeCoil(data);
        case kWriteRegister:
            return writeRegister(data);
        case kWriteCoils:
            return writeCoils(data);
        case kWriteRegisters:
            return writeRegisters(data);
        default:
            break;
    }
    char what[32];
    std::snprintf(what, sizeof what, "function %02X", function);
    return {{}, Exception::IllegalFunction, true, what};
}

RequestHandler::Result RequestHandler::readBits(std::uint8_t function,
                                                std::span<const std::uint8_t> data) {
    const bool coils = function == kReadCoils;
    Result r;
    r.what = coils ? "read coils" : "read inputs";
    if (data.size() != 4) {
        return {{}, Exception::IllegalDataValue, true, r.what + " (malformed)"};
    }
    const int first = word(data, 0) + 1;
    const int count = word(data, 2);
    r.what += " " + range(first, count);
    if (count < 1 || count > kMaxReadBits) {
        return {{}, Exception::IllegalDataValue, true, r.what};
    }
    for (int p = first; p < first + count; ++p) {
        if (!(coils ? coilServed(p) : inputServed(p))) {
            return {{}, Exception::IllegalDataAddress, true, r.what};
        }
    }
    r.pdu.push_back(function);
    r.pdu.push_back(static_cast<std::uint8_t>((count + 7) / 8));
    for (int i = 0; i < count; ++i) {
        if (i % 8 == 0) {
            r.pdu.push_back(0);
        }
        const bool on = coils ? readCoil(first + i) : readInput(first + i);
        if (on) {
            r.pdu.back() = static_cast<std::uint8_t>(r.pdu.back() | (1 << (i % 8)));
        }
    }
    return r;
}

RequestHandler::Result RequestHandler::readRegisters(std::uint8_t function,
                                                     std::span<const std::uint8_t> data) {
    const bool holding = function == kReadHolding;
    Result r;
    r.what = holding ? "read holding registers" : "read input registers";
    if (data.size() != 4) {
        return {{}, Exception::IllegalDataValue, true, r.what + " (malformed)"};
    }
    const int first = word(data, 0) + 1;
    const int count = word(data, 2);
    r.what += " " + range(first, count);
    if (count < 1 || count > kMaxReadRegisters) {
        return {{}, Exception::IllegalDataValue, true, r.what};
    }
    for (int p = first; p < first + count; ++p) {
        if (!(holding ? holdingServed(p) : inputRegisterServed(p))) {
            return {{}, Exception::IllegalDataAddress, true, r.what};
        }
    }
    r.pdu.push_back(function);
    r.pdu.push_back(static_cast<std::uint8_t>(2 * count));
    for (int p = first; p < first + count; ++p) {
        putWord(r.pdu, holding ? readHolding(p) : readInputRegister(p));
    }
    return r;
}

RequestHandler::Result RequestHandler::writeCoil(std::span<const std::uint8_t> data) {
    Result r;
    r.what = "write coil";
    if (data.size() != 4) {
        return {{}, Exception::IllegalDataValue, true, r.what + " (malformed)"};
    }
    const int point = word(data, 0) + 1;
    const int value = word(data, 2);
    r.what += " " + std::to_string(point);
    if (value != kCoilOn && value != kCoilOff) {
        return {{}, Exception::IllegalDataValue, true, r.what};
    }
    r.what += value == kCoilOn ? " on" : " off";
    if (!coilServed(point)) {
        return {{}, Exception::IllegalDataAddress, true, r.what};
    }
    writeCoilPoint(point, value == kCoilOn);
    r.pdu.push_back(kWriteCoil);
    r.pdu.insert(r.pdu.end(), data.begin(), data.end());
    return r;
}

RequestHandler::Result RequestHandler::writeRegister(std::span<const std::uint8_t> data) {
    Result r;
    r.what = "write register";
    if (data.size() != 4) {
        return {{}, Exception::IllegalDataValue, true, r.what + " (malformed)"};
    }
    const int point = word(data, 0) + 1;
    const auto value = static_cast<std::uint16_t>(word(data, 2));
    r.what += " " + std::to_string(point) + " = " + std::to_string(value);
    if (!holdingServed(point)) {
        return {{}, Exception::IllegalDataAddress, true, r.what};
    }
    if (!holdingAccepts(point, value)) {
        return {{}, Exception::IllegalDataValue, true, r.what};
    }
    writeHoldingPoint(point, value);
    r.pdu.push_back(kWriteRegister);
    r.pdu.insert(r.pdu.end(), data.begin(), data.end());
    return r;
}

RequestHandler::Result RequestHandler::writeCoils(std::span<const std::uint8_t> data) {
    Result r;
    r.what = "write coils";
    if (data.size() < 5) {
        return {{}, Exception::IllegalDataValue, true, r.what + " (malformed)"};
    }
    const int first = word(data, 0) + 1;
    const int count = word(data, 2);
    const std::size_t bytes = data[4];
    r.what += " " + range(first, count);
    if (count < 1 || count > kMaxWriteBits || bytes != static_cast<std::size_t>((count + 7) / 8) ||
        data.size() != 5 + bytes) {
        return {{}, Exception::IllegalDataValue, true, r.what};
    }
    for (int p = first; p < first + count; ++p) {
        if (!coilServed(p)) {
            return {{}, Exception::IllegalDataAddress, true, r.what};
        }
    }
    for (int i = 0; i < count; ++i) {
        writeCoilPoint(first + i, (data[5 + i / 8] >> (i % 8)) & 1);
    }
    r.pdu.push_back(kWriteCoils);
    r.pdu.insert(r.pdu.end(), data.begin(), data.begin() + 4);
    return r;
}

RequestHandler::Result RequestHandler::writeRegisters(std::span<const std::uint8_t> data) {
    Result r;
    r.what = "write registers";
    if (data.size() < 5) {
        return {{}, Exception::IllegalDataValue, true, r.what + " (malformed)"};
    }
    const int first = word(data, 0) + 1;
    const int count = word(data, 2);
    const std::size_t bytes = data[4];
    r.what += " " + range(first, count);
    if (count < 1 || count > kMaxWriteRegisters || bytes != static_cast<std::size_t>(2 * count) ||
        data.size() != 5 + bytes) {
        return {{}, Exception::IllegalDataValue, true, r.what};
    }
    for (int p = first; p < first + count; ++p) {
        if (!holdingServed(p)) {
            return {{}, Exception::IllegalDataAddress, true, r.what};
        }
    }
    // All or nothing: one bad value leaves every register as it was.
    for (int i = 0; i < count; ++i) {
        if (!holdingAccepts(first + i, static_cast<std::uint16_t>(word(data, 5 + 2 * i)))) {
            return {{}, Exception::IllegalDataValue, true, r.what};
        }
    }
    for (int i = 0; i < count; ++i) {
        writeHoldingPoint(first + i, static_cast<std::uint16_t>(word(data, 5 + 2 * i)));
    }
    r.pdu.push_back(kWriteRegisters);
    r.pdu.insert(r.pdu.end(), data.begin(), data.begin() + 4);
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
