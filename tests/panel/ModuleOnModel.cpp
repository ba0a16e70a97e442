#include "ModuleOnModel.h"

#include <algorithm>

namespace {

sim::Table tableOf(int function) {
    constexpr sim::Table tables[] = {sim::Table::Coils, sim::Table::Inputs, sim::Table::Holding,
                                     sim::Table::InputRegisters};
    return tables[function - 1];
}

}  // namespace

ModuleOnModel::ModuleOnModel() : model([this] { return sim::Nanos(now_); }) {
    status_.round_trip_us = -1;
    status_.is_open = 1;
    // The panel's own reads ("Get_1X_B16" … "Get_4X_UnDX") cross the line too;
    // their function code is in their name.
    onCall = [this](const QString& operation) {
        constexpr int kFunctionOfDigit[] = {1, 2, 0, 4, 3};  // 0X coils .. 4X holding registers
        const int digit = operation.size() > 4 ? operation.at(4).digitValue() : -1;
        if (digit < 0) {
            return;  // opening and closing the port send nothing
        }
        const bool answered = exchange(operation, kFunctionOfDigit[digit]);
        readFailure = answered ? std::nullopt : std::optional<std::int32_t>(MODBUSRTU_FAILED);
    };
}

CheckClock ModuleOnModel::clock() {
    return {[this] { return now_; }, [this](int ms) { now_ += qint64(ms) * 1'000'000; }};
}

bool ModuleOnModel::exchange(const QString& what, int function) {
    ++transactions;
    ++status_.transactions;
    exchange_ = {};
    exchange_.kind = TQ7310_TRAFFIC_EXCHANGE;
    exchange_.request_length = 2;
    exchange_.request[0] = 1;
    exchange_.request[1] = std::uint8_t(function);
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
    // Round trips that all differ, so the median names one of them.
    status_.round_trip_us = int(kTransactionNs / 1000) + transactions * 100;
    exchange_.reply_length = 2;
    std::copy(exchange_.request, exchange_.request + 2, exchange_.reply);
    return true;
}

DriverResult ModuleOnModel::transact(
    const QString& what, int function, int first, int count,
    const std::function<bool(const sim::Range&, int, int)>& serve) {
    if (!exchange(what, function)) {
        return MODBUSRTU_FAILED;
    }
    for (int i = 0; i < count; ++i) {
        const sim::Range* range = sim::findRange(tableOf(function), first + i);
        if (range == nullptr || !serve(*range, first + i - range->first, i)) {
            ++status_.failures;
            status_.outcome = TQ7310_EXCEPTION;
            status_.exception_code = range == nullptr ? 2 : 3;
            return MODBUSRTU_FAILED;
        }
    }
    return 0;
}

DriverResult ModuleOnModel::readBits(std::int32_t, std::int32_t, std::int32_t function,
                                     std::int32_t first, std::int32_t count, std::uint8_t* bits,
                                     std::int32_t) {
    return transact(QStringLiteral("readBits %1 %2 %3").arg(function).arg(first).arg(count),
                    function, first, count, [&](const sim::Range& r, int at, int i) {
                        bits[i] = r.read(model, at) != 0;
                        return true;
                    });
}

DriverResult ModuleOnModel::readRegisters(std::int32_t, std::int32_t, std::int32_t function,
                                          std::int32_t first, std::int32_t count,
                                          std::uint16_t* values, std::int32_t) {
    return transact(QStringLiteral("readRegisters %1 %2 %3").arg(function).arg(first).arg(count),
                    function, first, count, [&](const sim::Range& r, int at, int i) {
                        values[i] = r.read(model, at);
                        return true;
                    });
}

DriverResult ModuleOnModel::writeCoils(std::int32_t, std::int32_t, std::int32_t first,
                                       std::int32_t count, const std::uint8_t* bits, std::int32_t) {
    return transact(QStringLiteral("writeCoils %1 %2").arg(first).arg(bits[0]), 1, first, count,
                    [&](const sim::Range& r, int at, int i) {
                        if (r.write != nullptr) {
                            r.write(model, at, bits[i]);
                        }
                        return true;
                    });
}

DriverResult ModuleOnModel::writeRegisters(std::int32_t, std::int32_t, std::int32_t first,
                                           std::int32_t count, const std::uint16_t* values,
                                           std::int32_t) {
    return transact(QStringLiteral("writeRegisters %1 %2").arg(first).arg(values[0]), 3, first,
                    count, [&](const sim::Range& r, int at, int i) {
                        if (r.accepts != nullptr && !r.accepts(at, values[i])) {
                            return false;
                        }
                        if (r.write != nullptr) {
                            r.write(model, at, values[i]);
                        }
                        return true;
                    });
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
