// How many fresh values the panel's polls get through a bad line: our driver
// library against plain libmodbus, each against a simulator of its own that
// loses or holds back replies by the same seed, at the real line's pace.
//
// The simulator stamps every reply with the number of requests it has
// received, so each read is known for what it is: a fresh good value (its
// own request's stamp), a wrong value (another request's stamp, taken for
// this one's) or a failure.
//
//   availability_bench [--seconds 120] [--drop P] [--late P:MS] [--baud 9600]
//                      [--seed 1] [--over tcp|rtu-tcp]
//
// --over reads the simulator over Modbus TCP or RTU over TCP on loopback
// instead of its pty. Plain libmodbus then reads through its TCP backend, or,
// for RTU over TCP, which it has no backend for, through its RTU backend
// reading and writing the connected socket (Linux's read and write take
// either), so both sides still meet the same frames.
#include <modbus/modbus.h>

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LineSettings.h"
#include "ModbusRTU.h"
#include "PortTarget.h"
#include "SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::int32_t kPort = 42;
constexpr std::int32_t kSlave = 1;
constexpr std::int32_t kNoParity = 0;
// The panel's two timers: the status (inputs, coils) and the counters.
constexpr auto kStatusPeriod = 500ms;
constexpr auto kCounterPeriod = 1000ms;
// Sixteen bits of the stamp come back in every block.
constexpr std::uint32_t kStampMask = 0xFFFF;

struct Settings {
    int seconds = 120;
    std::string drop = "0";
    std::string late;  // P:MS, empty for none
    int baud = 9600;
    std::string seed = "1";
    std::string over;  // "", "tcp" or "rtu-tcp"
};

// The blocks the panel reads, in the order of its ticks.
enum Block { kInputs, kCoils, kCount16, kCount32, kConfig, kBlocks };
constexpr const char* kBlockNames[kBlocks] = {"fc2 1-16", "fc1 1-16", "fc4 1-4", "fc4 11-26",
                                              "fc3 1-16"};
constexpr Block kStatusTick[] = {kInputs, kCoils};
constexpr Block kCounterTick[] = {kCount16, kCount32, kConfig};

// One read: nothing when it failed, else the stamp its values carry, or
// nothing again when its values do not even agree with one another.
struct Read {
    bool ok = false;
    std::optional<std::uint32_t> stamp;
};

// Each register holds the stamp; the same for all, or no stamp.
template <typename T>
std::optional<std::uint32_t> stampOf(const T* values, int count, std::uint32_t mask) {
    for (int i = 1; i < count; ++i) {
        if (values[i] != values[0]) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(values[0]) & mask;
}

struct Side {
    const char* name;
    int reads = 0;
    int fresh = 0;
    int wrong = 0;
    int failed = 0;
    // How long before a wrong value the request it answered had ended
    // (timed out): beyond the driver's horizon, no guard can tell.
    Clock::duration wrongLateMin = Clock::duration::max();
    Clock::duration wrongLateMax = Clock::duration::zero();
    std::array<Clock::duration, kBlocks> longestBlank{};
    std::map<std::string, int> failures{};  // by kind
    std::string note{};
};

// Polls like the panel for `length`: the status tick every 500 ms, the
// counter tick every 1000 ms, each tick's reads back to back in one thread;
// a tick that overran its period is not made up for, as with a Qt timer.
void poll(Side& side, Clock::duration length, const std::function<Read(Block)>& read) {
    const auto start = Clock::now();
    const auto end = start + length;
    std::array<Clock::time_point, kBlocks> lastFresh;
    lastFresh.fill(start);
    std::uint32_t request = 0;
    std::vector<Clock::time_point> endedAt{Clock::time_point{}};  // by request number
    auto nextStatus = start + kStatusPeriod;
    auto nextCounter = start + kCounterPeriod;
    const auto runTick = [&](const auto& blocks) {
        for (const Block b : blocks) {
            const Read r = read(b);
            const auto now = Clock::now();
            ++request;
            ++side.reads;
            endedAt.push_back(now);
            if (!r.ok) {
                ++side.failed;
            } else if (r.stamp != (request & kStampMask)) {
                ++side.wrong;
                // The latest earlier request the stamp can name.
                std::uint32_t answered = request - 1;
                while (answered > 0 && (answered & kStampMask) != *r.stamp) {
                    --answered;
                }
                const auto late = now - endedAt[answered];
                side.wrongLateMin = std::min(side.wrongLateMin, late);
                side.wrongLateMax = std::max(side.wrongLateMax, late);
            } else {
                ++side.fresh;
                side.longestBlank[b] = std::max(side.longestBlank[b], now - lastFresh[b]);
                lastFresh[b] = now;
            }
        }
    };
    const auto following = [](Clock::time_point due, Clock::duration period) {
        const auto now = Clock::now();
        due += period;
        while (due <= now) {
            due += period;
        }
        return due;
    };
    for (;;) {
        const bool status = nextStatus <= nextCounter;
        const auto due = status ? nextStatus : nextCounter;
        if (due >= end) {
            break;
        }
        std::this_thread::sleep_until(due);
        if (status) {
            runTick(kStatusTick);
            nextStatus = following(nextStatus, kStatusPeriod);
        } else {
            runTick(kCounterTick);
            nextCounter = following(nextCounter, kCounterPeriod);
        }
    }
    const auto stop = std::max(Clock::now(), end);
    for (int b = 0; b < kBlocks; ++b) {
        side.longestBlank[b] = std::max(side.longestBlank[b], stop - lastFresh[b]);
    }
}

bool startSimulator(SimProcess& sim, const Settings& s) {
    QStringList args{"--stamp", "--any-baud", "--parity", "none", "--pace"};
    args << "--baud" << QString::number(s.baud) << "--seed" << QString::fromStdString(s.seed)
         << "--drop" << QString::fromStdString(s.drop);
    if (!s.late.empty()) {
        args << "--late" << QString::fromStdString(s.late);
    }
    if (!s.over.empty()) {
        args << QString::fromStdString("--" + s.over) << "0";
    }
    sim.process().setProcessChannelMode(QProcess::MergedChannels);
    if (!sim.start(args)) {
        std::fprintf(stderr, "tq7310-sim did not start: %s\n", qPrintable(sim.transcript()));
        return false;
    }
    return true;
}

bool runDriver(Side& side, const Settings& s) {
    SimProcess sim;
    if (!startSimulator(sim, s)) {
        return false;
    }
    const QString target =
        s.over.empty() ? sim.device() : sim.target(QString::fromStdString(s.over + ":"));
    ::setenv("TQ7310_COM42", target.toLocal8Bit().constData(), 1);
    const std::int32_t baudCode = s.baud == 9600 ? 1 : s.baud == 19200 ? 2 : 3;
    if (OpenPort_Modbus(kPort, baudCode, kNoParity) != 0) {
        std::fprintf(stderr, "our driver could not open %s\n", qPrintable(sim.device()));
        return false;
    }
    poll(side, std::chrono::seconds(s.seconds), [](Block b) {
        std::int32_t v[16] = {};
        std::int32_t r = MODBUSRTU_FAILED;
        Read read;
        switch (b) {
            case kInputs:
            case kCoils:
                r = (b == kInputs ? Get_1X_B16 : Get_0X_B16)(kPort, kSlave, 1, v);
                v[0] |= v[1] << 8;
                read.stamp = static_cast<std::uint32_t>(v[0]);
                break;
            case kCount16:
                r = Get_3X_UnDX(kPort, kSlave, 1, 4, v);
                read.stamp = stampOf(v, 4, kStampMask);
                break;
            case kCount32:
                // High and low word both hold the stamp.
                r = Get_3X_LUNDX(kPort, kSlave, 11, 8, v);
                if (const auto both = stampOf(v, 8, ~0u);
                    both && *both >> 16 == (*both & kStampMask)) {
                    read.stamp = *both & kStampMask;
                }
                break;
            default:
                r = Get_4X_UnDX(kPort, kSlave, 1, 16, v);
                read.stamp = stampOf(v, 16, kStampMask);
                break;
        }
        read.ok = r != MODBUSRTU_FAILED;
        return read;
    });
    Tq7310LinkCounters c{};
    c.size = sizeof c;
    if (TQ7310_GetLinkCounters(kPort, &c) == 0) {
        const std::pair<const char*, int> kinds[] = {
            {"timeout", c.timeouts},         {"ambiguous", c.ambiguous},
            {"bad frame", c.bad_frames},     {"exception", c.exceptions},
            {"wrong slave", c.wrong_slaves}, {"echo", c.echoes},
            {"I/O error", c.io_errors},      {"reopen failed", c.open_failures},
            {"refused", c.refused}};
        for (const auto& [kind, n] : kinds) {
            if (n > 0) {
                side.failures[kind] = n;
            }
        }
        if (c.transactions != side.reads || c.failures != side.failed) {
            side.note = "the driver counted " + std::to_string(c.transactions) +
                        " transactions and " + std::to_string(c.failures) + " failures";
        }
    }
    ClosePort_Modbus(kPort);
    return true;
}

std::string errnoName(int e) {
    switch (e) {
        case ETIMEDOUT:
            return "ETIMEDOUT";
        case EMBBADCRC:
            return "EMBBADCRC";
        case EMBBADDATA:
            return "EMBBADDATA";
        case EMBBADEXC:
            return "EMBBADEXC";
        case EMBMDATA:
            return "EMBMDATA";
        case EMBBADSLAVE:
            return "EMBBADSLAVE";
        default:
            return e > MODBUS_ENOBASE && e < EMBXGTAR + 1
                       ? "exception " + std::to_string(e - MODBUS_ENOBASE)
                       : std::strerror(e);
    }
}

bool runPlain(Side& side, const Settings& s) {
    SimProcess sim;
    if (!startSimulator(sim, s)) {
        return false;
    }
    modbus_t* ctx = nullptr;
    modbus_t* socket = nullptr;  // RTU over TCP: the connection the RTU context reads
    if (s.over.empty()) {
        ctx = modbus_new_rtu(sim.device().toLocal8Bit().constData(), s.baud, 'N', 8, 1);
    } else {
        const auto where = module_line::parsePortTarget(
            sim.target(QString::fromStdString(s.over + ":")).toStdString());
        socket = modbus_new_tcp_pi(where->device.c_str(), std::to_string(where->tcpPort).c_str());
        if (s.over == "tcp") {
            std::swap(ctx, socket);
        } else if (socket != nullptr && modbus_connect(socket) == 0) {
            ctx = modbus_new_rtu("/dev/null", s.baud, 'N', 8, 1);
            if (ctx != nullptr) {
                modbus_set_socket(ctx, modbus_get_socket(socket));
            }
        }
    }
    if (ctx == nullptr || (socket == nullptr && modbus_connect(ctx) != 0)) {
        std::fprintf(stderr, "libmodbus could not open the simulator\n");
        return false;
    }
    modbus_set_slave(ctx, kSlave);
    // The driver's own time-outs at this baud rate, over this line.
    const modbusrtu::Timeouts t =
        s.over.empty()
            ? modbusrtu::timeoutsFor(s.baud)
            : modbusrtu::networkTimeouts(s.over == "tcp" ? module_line::TargetKind::ModbusTcp
                                                         : module_line::TargetKind::RtuOverTcp,
                                         s.baud);
    modbus_set_response_timeout(ctx, std::uint32_t(t.responseUs / 1'000'000),
                                std::uint32_t(t.responseUs % 1'000'000));
    modbus_set_byte_timeout(ctx, std::uint32_t(t.byteUs / 1'000'000),
                            std::uint32_t(t.byteUs % 1'000'000));
    poll(side, std::chrono::seconds(s.seconds), [&side, ctx, socket](Block b) {
        std::uint8_t bits[16] = {};
        std::uint16_t words[16] = {};
        // The RTU backend flushes with tcflush, which a socket refuses; the
        // TCP backend's flush of the same socket discards alike.
        modbus_flush(socket != nullptr ? socket : ctx);
        int wanted = 16;
        int got = 0;
        Read read;
        switch (b) {
            case kInputs:
            case kCoils:
                got = (b == kInputs ? modbus_read_input_bits : modbus_read_bits)(ctx, 0, 16, bits);
                read.stamp = 0;
                for (int i = 0; i < 16; ++i) {
                    *read.stamp |= std::uint32_t(bits[i] != 0) << i;
                }
                break;
            case kCount16:
                wanted = 4;
                got = modbus_read_input_registers(ctx, 0, 4, words);
                read.stamp = stampOf(words, 4, kStampMask);
                break;
            case kCount32:
                got = modbus_read_input_registers(ctx, 10, 16, words);
                read.stamp = stampOf(words, 16, kStampMask);
                break;
            default:
                got = modbus_read_registers(ctx, 0, 16, words);
                read.stamp = stampOf(words, 16, kStampMask);
                break;
        }
        read.ok = got == wanted;
        if (!read.ok) {
            ++side.failures[got < 0 ? errnoName(errno) : "short read"];
        }
        return read;
    });
    if (socket != nullptr) {
        // The RTU context does not own the socket it was lent.
        modbus_free(ctx);
        ctx = socket;
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return true;
}

double percent(int part, int whole) {
    return whole == 0 ? 0 : 100.0 * part / whole;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void print(const Side& side) {
    std::printf("%-16s %6d %6d %6.1f%% %6d %6d   ", side.name, side.reads, side.fresh,
                percent(side.fresh, side.reads), side.wrong, side.failed);
    for (int b = 0; b < kBlocks; ++b) {
        std::printf(" %9.2f", seconds(side.longestBlank[b]));
    }
    std::printf("\n");
}

void printFailures(const Side& side) {
    std::string list;
    for (const auto& [kind, n] : side.failures) {
        list += (list.empty() ? " " : ", ") + kind + " " + std::to_string(n);
    }
    std::printf("  %s failures:%s\n", side.name, list.empty() ? " none" : list.c_str());
    if (side.wrong > 0) {
        std::printf("  %s: its wrong values answered requests that had ended %.1f-%.1f s before\n",
                    side.name, seconds(side.wrongLateMin), seconds(side.wrongLateMax));
    }
    if (!side.note.empty()) {
        std::printf("  %s: %s\n", side.name, side.note.c_str());
    }
}

bool parse(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--seconds") {
            s.seconds = std::atoi(value.c_str());
        } else if (arg == "--drop") {
            s.drop = value;
        } else if (arg == "--late") {
            s.late = value;
        } else if (arg == "--baud") {
            s.baud = std::atoi(value.c_str());
        } else if (arg == "--seed") {
            s.seed = value;
        } else if (arg == "--over" && (value == "tcp" || value == "rtu-tcp")) {
            s.over = value;
        } else {
            return false;
        }
    }
    return s.seconds > 0 && (s.baud == 9600 || s.baud == 19200 || s.baud == 38400);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Settings s;
    if (!parse(argc, argv, s)) {
        std::fprintf(stderr,
                     "usage: availability_bench [--seconds N] [--drop P] [--late P:MS] "
                     "[--baud 9600|19200|38400] [--seed N] [--over tcp|rtu-tcp]\n");
        return 2;
    }
    std::printf("availability_bench: %d s a side at %d baud, drop %s, late %s, seed %s, over %s\n",
                s.seconds, s.baud, s.drop.c_str(), s.late.empty() ? "none" : s.late.c_str(),
                s.seed.c_str(), s.over.empty() ? "the pty" : s.over.c_str());
    std::fflush(stdout);
    Side ours{"our driver"};
    Side plain{"plain libmodbus"};
    if (!runDriver(ours, s) || !runPlain(plain, s)) {
        return 1;
    }
    std::printf("%-16s %6s %6s %7s %6s %6s    longest blank (s):", "", "reads", "fresh", "%",
                "wrong", "failed");
    for (const char* name : kBlockNames) {
        std::printf(" %9s", name);
    }
    std::printf("\n");
    print(ours);
    print(plain);
    printFailures(ours);
    printFailures(plain);
    char ratio[16] = "n/a";
    if (plain.fresh > 0) {
        std::snprintf(ratio, sizeof ratio, "%.3f", double(ours.fresh) / plain.fresh);
    }
    std::printf("fresh, ours / plain: %s (%.1f%% against %.1f%% of reads)\n", ratio,
                percent(ours.fresh, ours.reads), percent(plain.fresh, plain.reads));
    std::printf("longest blank, ours - plain (s):");
    for (int b = 0; b < kBlocks; ++b) {
        std::printf(" %s %+.2f%s", kBlockNames[b],
                    seconds(ours.longestBlank[b] - plain.longestBlank[b]),
                    b + 1 < kBlocks ? "," : "\n");
    }
    return 0;
}
