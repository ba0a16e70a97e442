#include "RequestHandler.h"

#include <modbus.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "PointTable.h"
#include "ReplyFramer.h"

namespace sim {

namespace {

using enum Table;

using Bytes = std::vector<std::uint8_t>;
using Frame = std::span<const std::uint8_t>;

constexpr int kCoilOn = 0xFF00;
constexpr int kCoilOff = 0x0000;
constexpr std::size_t kMinFrame = 4;  // address, function, CRC
constexpr std::size_t kCrcSize = 2;

// One request, taken apart once. `refused` is set when the request fails
// before its points are looked at.
struct Request {
    Table table = Coils;
    bool write = false;
    int first = 0;
    int count = 0;
    std::vector<std::uint16_t> values;  // a write's, one a point; a coil's as 0 or 1
    std::string what;                   // for the log
    std::optional<Exception> refused;
};

// The functions the module answers; any other gets an illegal function.
struct Function {
    std::uint8_t code;
    Table table;
    bool write;
    int maxCount;  // as the protocol bounds a single request; 1 for a single write
    const char* name;
};
constexpr Function kFunctions[] = {
    {MODBUS_FC_READ_COILS, Coils, false, MODBUS_MAX_READ_BITS, "read coils"},
    {MODBUS_FC_READ_DISCRETE_INPUTS, Inputs, false, MODBUS_MAX_READ_BITS, "read inputs"},
    {MODBUS_FC_READ_HOLDING_REGISTERS, Holding, false, MODBUS_MAX_READ_REGISTERS,
     "read holding registers"},
    {MODBUS_FC_READ_INPUT_REGISTERS, InputRegisters, false, MODBUS_MAX_READ_REGISTERS,
     "read input registers"},
    {MODBUS_FC_WRITE_SINGLE_COIL, Coils, true, 1, "write coil"},
    {MODBUS_FC_WRITE_SINGLE_REGISTER, Holding, true, 1, "write register"},
    {MODBUS_FC_WRITE_MULTIPLE_COILS, Coils, true, MODBUS_MAX_WRITE_BITS, "write coils"},
    {MODBUS_FC_WRITE_MULTIPLE_REGISTERS, Holding, true, MODBUS_MAX_WRITE_REGISTERS,
     "write registers"},
};

int word(Frame data, std::size_t at) {
    return (data[at] << 8) | data[at + 1];
}

std::string range(int first, int count) {
    return count == 1 ? std::to_string(first)
                      : std::to_string(first) + ".." + std::to_string(first + count - 1);
}

Request decode(Frame frame) {
    Request r;
    const auto refuse = [&r](Exception e) {
        r.refused = e;
        return r;
    };
    const auto* f = std::find_if(std::begin(kFunctions), std::end(kFunctions),
                                 [&](const Function& f) { return f.code == frame[1]; });
    if (f == std::end(kFunctions)) {
        char what[32];
        std::snprintf(what, sizeof what, "function %02X", frame[1]);
        r.what = what;
        return refuse(Exception::IllegalFunction);
    }
    r.table = f->table;
    r.write = f->write;
    r.what = f->name;
    // What follows the function code, up to the CRC.
    const Frame data = frame.subspan(2, frame.size() - 2 - kCrcSize);
    if (f->maxCount > 1 && f->write ? data.size() < 5 : data.size() != 4) {
        r.what += " (malformed)";
        return refuse(Exception::IllegalDataValue);
    }
    r.first = word(data, 0) + 1;
    const int second = word(data, 2);
    if (f->maxCount == 1) {
        r.count = 1;
        r.values = {static_cast<std::uint16_t>(second)};
        if (r.table == Holding) {
            r.what.append(" ").append(std::to_string(r.first)).append(" = ");
            r.what += std::to_string(second);
            return r;
        }
        r.what += " " + std::to_string(r.first);
        if (second != kCoilOn && second != kCoilOff) {
            return refuse(Exception::IllegalDataValue);
        }
        r.what += second == kCoilOn ? " on" : " off";
        r.values = {second == kCoilOn};
        return r;
    }
    r.count = second;
    // Appended piece by piece: GCC 12 at -O3 takes `" " + std::string` for an
    // overlapping copy (-Wrestrict) that it is not.
    r.what += ' ';
    r.what += range(r.first, r.count);
    const bool bits = r.table == Coils;
    const std::size_t bytes = r.write ? data[4] : 0;
    if (r.count < 1 || r.count > f->maxCount ||
        (r.write && (bytes != static_cast<std::size_t>(bits ? (r.count + 7) / 8 : 2 * r.count) ||
                     data.size() != 5 + bytes))) {
        return refuse(Exception::IllegalDataValue);
    }
    for (int i = 0; r.write && i < r.count; ++i) {
        r.values.push_back(static_cast<std::uint16_t>(bits ? (data[5 + i / 8] >> (i % 8)) & 1
                                                           : word(data, 5 + 2 * i)));
    }
    return r;
}

// Every point must be served, then every value accepted: a write is all or
// nothing.
std::optional<Exception> validate(const Request& r) {
    if (r.refused) {
        return r.refused;
    }
    for (int p = r.first; p < r.first + r.count; ++p) {
        if (findRange(r.table, p) == nullptr) {
            return Exception::IllegalDataAddress;
        }
    }
    for (std::size_t i = 0; i < r.values.size(); ++i) {
        const int p = r.first + static_cast<int>(i);
        const Range* range = findRange(r.table, p);
        if (range->accepts != nullptr && !range->accepts(p - range->first, r.values[i])) {
            return Exception::IllegalDataValue;
        }
    }
    return std::nullopt;
}

// Where libmodbus keeps a table's points: bits one a byte, or registers.
struct Cells {
    std::uint8_t* bits;
    std::uint16_t* words;
    std::uint16_t get(int p) const { return bits != nullptr ? bits[p - 1] : words[p - 1]; }
    void set(int p, std::uint16_t v) {
        bits != nullptr ? void(bits[p - 1] = v != 0) : void(words[p - 1] = v);
    }
};
Cells cells(modbus_mapping_t& m, Table t) {
    return {t == Coils    ? m.tab_bits
            : t == Inputs ? m.tab_input_bits
                          : nullptr,
            t == Holding ? m.tab_registers : m.tab_input_registers};
}

// libmodbus answers a read from the mapping, so it gets the model's values
// first.
void load(const Request& r, const ModuleModel& model, Cells cells) {
    for (int p = r.first; p < r.first + r.count; ++p) {
        const Range* range = findRange(r.table, p);
        cells.set(p, range->read(model, p - range->first));
    }
}

// Or the request's number, in place of every value.
void loadStamp(const Request& r, std::uint64_t stamp, Cells cells) {
    constexpr int kStampBits = 64;
    for (int i = 0; i < r.count; ++i) {
        cells.set(r.first + i, cells.bits != nullptr
                                   ? static_cast<std::uint16_t>(i < kStampBits && (stamp >> i) & 1)
                                   : static_cast<std::uint16_t>(stamp));
    }
}

// libmodbus stored a write's values in the mapping; the module takes them
// from there.
void apply(const Request& r, ModuleModel& model, Cells cells) {
    for (int p = r.first; p < r.first + r.count; ++p) {
        const Range* range = findRange(r.table, p);
        if (range->write != nullptr) {
            range->write(model, p - range->first, cells.get(p));
        }
    }
}

constexpr const char* kExceptionText[] = {"", "illegal function", "illegal data address",
                                          "illegal data value"};

}  // namespace

RequestHandler::RequestHandler(ModuleModel& model, int address)
    : model_(model),
      address_(address),
      framer_(std::make_unique<ReplyFramer>(address, highestPoint(Coils), highestPoint(Inputs),
                                            highestPoint(Holding), highestPoint(InputRegisters))) {}

RequestHandler::~RequestHandler() = default;

std::vector<std::uint8_t> RequestHandler::frame(Frame addressAndPdu) {
    return framer_->frame(addressAndPdu);
}

Handled RequestHandler::handle(Frame frame) {
    const std::string size = std::to_string(frame.size()) + " bytes";
    if (frame.size() < kMinFrame) {
        return {{}, "dropped " + size + ": too short"};
    }
    if (frame.size() > MODBUS_RTU_MAX_ADU_LENGTH) {
        return {{}, "dropped " + size + ": too long"};
    }
    if (!framer_->intact(frame)) {
        return {{}, "dropped " + size + ": bad CRC"};
    }
    const int address = frame[0];
    if (address != address_ && address != kBroadcast) {
        return {{}, "ignored request for address " + std::to_string(address)};
    }
    const std::uint64_t number = ++requests_;
    model_.sync();
    Request request = decode(frame);
    const std::optional<Exception> refusal = validate(request);
    Bytes reply;
    if (!refusal) {
        if (!request.write) {
            const Cells into = cells(framer_->mapping(), request.table);
            stamp_ ? loadStamp(request, number, into) : load(request, model_, into);
        }
        ReplyFramer::Sent sent = framer_->reply(frame);
        if (!sent.accepted) {
            request.what += " (but libmodbus refused it)";
        } else if (request.write) {
            apply(request, model_, cells(framer_->mapping(), request.table));
        }
        reply = std::move(sent.bytes);
    }

    std::string note = std::move(request.what);
    char outcome[48] = " -> ok";
    if (refusal) {
        const auto code = static_cast<unsigned>(*refusal);
        std::snprintf(outcome, sizeof outcome, " -> exception %02X (%s)", code,
                      kExceptionText[code]);
    }
    note += outcome;
    // Nobody answers a broadcast; its writes still take effect.
    if (address == kBroadcast) {
        return {{}, "broadcast " + note, number};
    }
    if (refusal) {
        reply = framer_->exception(frame, static_cast<std::uint8_t>(*refusal));
    }
    if (reply.empty()) {
        note += ", but libmodbus sent nothing";
    }
    return {std::move(reply), std::move(note), number};
}

}  // namespace sim
