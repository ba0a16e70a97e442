#include "CheckSession.h"

#include <algorithm>
#include <cstdlib>

#include "ModuleCheck.h"
#include "OutcomeText.h"

namespace mm = module_map;

namespace {

constexpr int kTrafficRecords = 512;
// The Modbus functions that read each table.
constexpr int kCoilTable = 1;
constexpr int kInputTable = 2;
constexpr int kHoldingRegisters = 3;
constexpr int kInputRegisters = 4;

}  // namespace

bool is16(int i) {
    return i < mm::kCountingInputs;
}

std::int64_t signedCount(int i, std::uint32_t v) {
    return is16(i) ? std::int64_t(std::int16_t(std::uint16_t(v))) : std::int64_t(std::int32_t(v));
}

std::int64_t moved(int i, std::uint32_t from, std::uint32_t to) {
    return std::llabs(signedCount(i, to - from));
}

QString countName(int i) {
    return QStringLiteral("X%1 %2 位计数").arg(i % mm::kCountingInputs + 1).arg(is16(i) ? 16 : 32);
}

QString msText(qint64 ns) {
    return QString::number(double(ns) / 1e6, 'f', 1) + QStringLiteral(" ms");
}

qint64 longest(const Counts& before, const Counts& after, int i) {
    const int block = is16(i) ? 0 : 1;
    return after.answered[block] - before.sent[block];
}

qint64 shortest(const Counts& before, const Counts& after, int i) {
    const int block = is16(i) ? 0 : 1;
    return std::max<qint64>(after.sent[block] - before.answered[block], kNsPerMs);
}

CheckSession::CheckSession(ModuleDriver& driver, const CheckOptions& options, CheckClock clock,
                           const std::atomic<bool>& stop,
                           const std::function<void(const QString&)>& prompt)
    : driver_(driver), options_(options), clock_(std::move(clock)), stop_(stop), prompt_(prompt) {}

void CheckSession::ask(const QString& what) const {
    if (prompt_) {
        prompt_(what);
    }
}

bool CheckSession::transact(const std::function<DriverResult()>& call) {
    for (int attempt = 1;; ++attempt) {
        const DriverResult r = call();
        if (r && *r != MODBUSRTU_FAILED) {
            return true;
        }
        // An exception is the module's own answer; anything else (no reply, a
        // garbled one, a library without the call) says nothing of the module.
        const auto status = r ? driver_.linkStatus(options_.port) : std::nullopt;
        lastOnLine_ = !status || status->outcome != TQ7310_EXCEPTION;
        if (!lastOnLine_ || !r) {
            return false;
        }
        ++lineFailures_;
        if (attempt >= ModuleCheck::kTries || stop_) {
            return false;
        }
        ++retries_;
        resync();
    }
}

void CheckSession::resync() {
    // Holding-register reads of 2 to 12 registers: the check's own reads of
    // them are of 1, 13 and 16.
    const int count = 2 + resyncs_++ % 11;
    std::uint16_t values[mm::kConfigRegistersRead] = {};
    driver_.readRegisters(options_.port, options_.address, kHoldingRegisters, mm::kConfigRegister,
                          count, values, 0);
}

Verdict CheckSession::missing(const QString& what, QStringList& evidence) {
    evidence << failure(what);
    return lastOnLine_ ? Verdict::LinkProblem : Verdict::Failed;
}

QString CheckSession::failure(const QString& call) {
    QString text = call + QStringLiteral(": ");
    const auto status = driver_.linkStatus(options_.port);
    text += status ? outcomeText(status->outcome, status->exception_code, status->other_address,
                                 status->system_error)
                   : QStringLiteral("失败");
    std::vector<Tq7310Traffic> log(kTrafficRecords);
    const int n = driver_.readTraffic(options_.port, 0, log.data(), kTrafficRecords, nullptr);
    for (int i = n - 1; i >= 0; --i) {
        const Tq7310Traffic& t = log[std::size_t(i)];
        if (t.kind == TQ7310_TRAFFIC_EXCHANGE) {
            text += QStringLiteral("; 发 %1, 收 %2")
                        .arg(hexBytes(QByteArray(reinterpret_cast<const char*>(t.request),
                                                 t.request_length)),
                             t.reply_length > 0
                                 ? hexBytes(QByteArray(reinterpret_cast<const char*>(t.reply),
                                                       t.reply_length))
                                 : QStringLiteral("无"));
            break;
        }
    }
    return text;
}

bool CheckSession::readConfig(Config& config) {
    return readRegisters(kHoldingRegisters, mm::kConfigRegister, mm::kConfigRegistersShown,
                         config.data());
}

bool CheckSession::readCoils(Coils& coils) {
    return readBits(kCoilTable, mm::kFirstCoil, mm::kCoilsRead, coils.data());
}

bool CheckSession::readHolding(int reg, std::uint16_t& value) {
    return readRegisters(kHoldingRegisters, reg, 1, &value);
}

bool CheckSession::readInputRegisters(int first, int count, std::uint16_t* values) {
    return readRegisters(kInputRegisters, first, count, values);
}

bool CheckSession::readDigitalInput(int di, std::uint8_t& bit) {
    return readBits(kInputTable, mm::kFirstDigitalInput + di, 1, &bit);
}

Verdict CheckSession::readConfig(Config& config, QStringList& evidence) {
    return readConfig(config) ? Verdict::Passed
                              : missing(QStringLiteral("读寄存器 1..13"), evidence);
}

Verdict CheckSession::readHolding(int reg, std::uint16_t& value, QStringList& evidence) {
    return readHolding(reg, value) ? Verdict::Passed
                                   : missing(QStringLiteral("读寄存器 %1").arg(reg), evidence);
}

bool CheckSession::readRegisters(int function, int first, int count, std::uint16_t* values) {
    return transact([&] {
        return driver_.readRegisters(options_.port, options_.address, function, first, count,
                                     values, 0);
    });
}

bool CheckSession::readBits(int function, int first, int count, std::uint8_t* bits) {
    return transact([&] {
        return driver_.readBits(options_.port, options_.address, function, first, count, bits, 0);
    });
}

bool CheckSession::readCounts(Counts& counts) {
    std::uint16_t c16[mm::kCount16Values] = {};
    std::uint16_t c32[2 * mm::kCountingInputs] = {};
    counts.sent[0] = clock_.nowNs();
    if (!readInputRegisters(mm::kCount16Register, mm::kCount16Values, c16)) {
        return false;
    }
    counts.answered[0] = clock_.nowNs();
    counts.sent[1] = counts.answered[0];
    if (!readInputRegisters(mm::kCount32Register, 2 * mm::kCountingInputs, c32)) {
        return false;
    }
    counts.answered[1] = clock_.nowNs();
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        counts.value[x] = c16[x];
        counts.value[mm::kCountingInputs + x] = std::uint32_t(c32[2 * x]) << 16 | c32[2 * x + 1];
    }
    return true;
}

bool CheckSession::writeRegister(int reg, std::uint16_t value) {
    const int i = reg - mm::kConfigRegister;
    if (i >= 0 && i < mm::kConfigRegistersShown && value != foundConfig[i]) {
        // Recorded before it is sent: a write whose reply was lost may have happened.
        written_[reg].push_back(value);
    }
    return transact(
        [&] { return driver_.writeRegisters(options_.port, options_.address, reg, 1, &value, 0); });
}

bool CheckSession::writeCoil(int coil, bool on) {
    const int y = coil - mm::kFirstCoil;
    if (y >= 0 && y < mm::kOutputs) {
        switched_.insert(y);
    }
    const std::uint8_t bit = on ? 1 : 0;
    return transact(
        [&] { return driver_.writeCoils(options_.port, options_.address, coil, 1, &bit, 0); });
}

Verdict CheckSession::writeAndReadBack(int reg, std::uint16_t value, QStringList& evidence) {
    std::uint16_t back = 0;
    if (!writeRegister(reg, value)) {
        return missing(QStringLiteral("寄存器 %1 写 %2").arg(reg).arg(value), evidence);
    }
    if (const Verdict read = readHolding(reg, back, evidence); read != Verdict::Passed) {
        return read;
    }
    if (back != value) {
        evidence
            << QStringLiteral("寄存器 %1 写 %2 得到确认, 读回 %3").arg(reg).arg(value).arg(back);
        return Verdict::Failed;
    }
    return Verdict::Passed;
}

void CheckSession::pause(int ms) {
    const qint64 started = clock_.nowNs();
    for (qint64 left = ms; !stop_ && left > 0; left = ms - (clock_.nowNs() - started) / kNsPerMs) {
        clock_.sleep(int(std::min<qint64>(50, left)));
    }
}
