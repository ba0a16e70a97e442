#include "ModuleOnModel.h"

#include <algorithm>

namespace {
constexpr std::int32_t kFailed = MODBUSRTU_FAILED;
}

ModuleOnModel::ModuleOnModel() : model([this] { return sim::Nanos(now_); }) {
    status_.outcome = TQ7310_NONE;
    status_.round_trip_us = -1;
    status_.is_open = 1;
}

CheckClock ModuleOnModel::clock() {
    return {[this] { return now_; }, [this](int ms) { now_ += qint64(ms) * 1'000'000; }};
}

bool ModuleOnModel::transact(const QString& what, sim::Table table, int first, int count,
                             const std::function<bool(const sim::Range&, int, int)>& serve) {
    ++transactions;
    ++status_.transactions;
    exchange_ = {};
    exchange_.kind = TQ7310_TRAFFIC_EXCHANGE;
    exchange_.request_length = 2;
    exchange_.request[0] = 1;
    // The function code of the table's reads: enough to tell the requests apart.
    exchange_.request[1] = std::uint8_t(int(table) + 1);
    if (lost && lost(transactions, what)) {
        now_ += kTimeoutNs;
        ++status_.failures;
        status_.outcome = TQ7310_TIMEOUT;
        return false;
    }
    now_ += kTransactionNs;
    model.sync();
    status_.outcome = TQ7310_OK;
    status_.exception_code = 0;
    for (int i = 0; i < count; ++i) {
        const sim::Range* range = sim::findRange(table, first + i);
        if (range == nullptr || !serve(*range, first + i - range->first, i)) {
            ++status_.failures;
            status_.outcome = TQ7310_EXCEPTION;
            status_.exception_code = range == nullptr ? 2 : 3;
            return false;
        }
    }
    status_.round_trip_us = int(kTransactionNs / 1000);
    exchange_.reply_length = 2;
    std::copy(exchange_.request, exchange_.request + 2, exchange_.reply);
    return true;
}

DriverResult ModuleOnModel::readBits(std::int32_t, std::int32_t, std::int32_t function,
                                     std::int32_t first, std::int32_t count, std::uint8_t* bits) {
    const auto table = function == 1 ? sim::Table::Coils : sim::Table::Inputs;
    return transact(QStringLiteral("readBits %1 %2 %3").arg(function).arg(first).arg(count), table,
                    first, count,
                    [&](const sim::Range& r, int at, int i) {
                        bits[i] = r.read(model, at) != 0;
                        return true;
                    })
               ? 0
               : kFailed;
}

DriverResult ModuleOnModel::readRegisters(std::int32_t, std::int32_t, std::int32_t function,
                                          std::int32_t first, std::int32_t count,
                                          std::uint16_t* values) {
    const auto table = function == 3 ? sim::Table::Holding : sim::Table::InputRegisters;
    return transact(QStringLiteral("readRegisters %1 %2 %3").arg(function).arg(first).arg(count),
                    table, first, count,
                    [&](const sim::Range& r, int at, int i) {
                        values[i] = r.read(model, at);
                        return true;
                    })
               ? 0
               : kFailed;
}

DriverResult ModuleOnModel::writeCoils(std::int32_t, std::int32_t, std::int32_t first,
                                       std::int32_t count, const std::uint8_t* bits) {
    return transact(QStringLiteral("writeCoils %1 %2").arg(first).arg(bits[0]), sim::Table::Coils,
                    first, count,
                    [&](const sim::Range& r, int at, int i) {
                        if (r.write != nullptr) {
                            r.write(model, at, bits[i]);
                        }
                        return true;
                    })
               ? 0
               : kFailed;
}

DriverResult ModuleOnModel::writeRegisters(std::int32_t, std::int32_t, std::int32_t first,
                                           std::int32_t count, const std::uint16_t* values) {
    return transact(QStringLiteral("writeRegisters %1 %2").arg(first).arg(values[0]),
                    sim::Table::Holding, first, count,
                    [&](const sim::Range& r, int at, int i) {
                        if (r.accepts != nullptr && !r.accepts(at, values[i])) {
                            return false;
                        }
                        if (r.write != nullptr) {
                            r.write(model, at, values[i]);
                        }
                        return true;
                    })
               ? 0
               : kFailed;
}

DriverResult ModuleOnModel::wide(std::int32_t address, std::int32_t first, std::int32_t count,
                                 std::int32_t* buffer, bool pairs) {
    std::uint16_t words[2 * 125] = {};
    const int n = pairs ? 2 * count : count;
    if (*readRegisters(1, address, 4, first, n, words) != 0) {
        return kFailed;
    }
    for (int i = 0; i < count; ++i) {
        buffer[i] =
            pairs ? std::int32_t(std::uint32_t(words[2 * i]) << 16 | words[2 * i + 1]) : words[i];
    }
    return buffer[0];
}

DriverResult ModuleOnModel::bits16(std::int32_t address, std::int32_t function, std::int32_t first,
                                   std::int32_t* buffer) {
    std::uint8_t bits[16] = {};
    if (*readBits(1, address, function, first, 16, bits) != 0) {
        return kFailed;
    }
    std::copy(bits, bits + 16, buffer);
    return buffer[0];
}

DriverResult ModuleOnModel::Get_1X_B16(std::int32_t, std::int32_t address, std::int32_t first,
                                       std::int32_t* buffer) {
    return bits16(address, 2, first, buffer);
}

DriverResult ModuleOnModel::Get_0X_B16(std::int32_t, std::int32_t address, std::int32_t first,
                                       std::int32_t* buffer) {
    return bits16(address, 1, first, buffer);
}

DriverResult ModuleOnModel::Get_3X_UnDX(std::int32_t, std::int32_t address, std::int32_t first,
                                        std::int32_t count, std::int32_t* buffer) {
    return wide(address, first, count, buffer, false);
}

DriverResult ModuleOnModel::Get_3X_LUNDX(std::int32_t, std::int32_t address, std::int32_t first,
                                         std::int32_t count, std::int32_t* buffer) {
    return wide(address, first, count, buffer, true);
}

DriverResult ModuleOnModel::Get_4X_UnDX(std::int32_t, std::int32_t address, std::int32_t first,
                                        std::int32_t count, std::int32_t* buffer) {
    std::uint16_t words[125] = {};
    if (*readRegisters(1, address, 3, first, count, words) != 0) {
        return kFailed;
    }
    std::copy(words, words + count, buffer);
    return buffer[0];
}

DriverResult ModuleOnModel::Set_0X_Bit1(std::int32_t, std::int32_t address, std::int32_t coil) {
    const std::uint8_t on = 1;
    return writeCoils(1, address, coil, 1, &on);
}

DriverResult ModuleOnModel::Rst_0X_Bit1(std::int32_t, std::int32_t address, std::int32_t coil) {
    const std::uint8_t off = 0;
    return writeCoils(1, address, coil, 1, &off);
}

DriverResult ModuleOnModel::Set_4X_D1(std::int32_t, std::int32_t address, std::int32_t reg,
                                      std::int32_t value) {
    const auto word = std::uint16_t(value);
    return writeRegisters(1, address, reg, 1, &word);
}

std::optional<Tq7310LinkStatus> ModuleOnModel::linkStatus(std::int32_t) {
    return status_;
}

int ModuleOnModel::readTraffic(std::int32_t, std::uint32_t, Tq7310Traffic* records, int capacity,
                               std::int32_t*) {
    if (capacity < 1 || exchange_.kind != TQ7310_TRAFFIC_EXCHANGE) {
        return 0;
    }
    records[0] = exchange_;
    return 1;
}
