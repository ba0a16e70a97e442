#include "LibraryDriver.h"

#include <QCoreApplication>
#include <QDir>

QStringList LibraryDriver::defaultCandidates() {
    const QDir beside(QCoreApplication::applicationDirPath());
    return {beside.filePath(QStringLiteral("ModbusRTU")),
            // Where an installed panel keeps it, relative to the executable.
            beside.filePath(QStringLiteral(TQ7310_LIBDIR_FROM_BINDIR "/ModbusRTU")),
            QStringLiteral("ModbusRTU")};
}

LibraryDriver::LibraryDriver(QStringList candidates) : candidates_(std::move(candidates)) {}

QString LibraryDriver::loadedFrom() const {
    return library_.isLoaded() ? library_.fileName() : QString();
}

QFunctionPointer LibraryDriver::symbol(const char* name) {
    if (const auto found = symbols_.constFind(name); found != symbols_.constEnd()) {
        return *found;
    }
    for (const QString& candidate : std::as_const(candidates_)) {
        if (library_.isLoaded()) {
            break;
        }
        library_.setFileName(candidate);
        library_.load();
    }
    if (!library_.isLoaded()) {
        return nullptr;
    }
    const QFunctionPointer fn = library_.resolve(name);
    if (fn) {
        symbols_.insert(name, fn);
    }
    return fn;
}

DriverResult LibraryDriver::OpenPort_Modbus(std::int32_t port, std::int32_t baudCode,
                                            std::int32_t parityCode) {
    return call<decltype(::OpenPort_Modbus)>("OpenPort_Modbus", port, baudCode, parityCode);
}

void LibraryDriver::ClosePort_Modbus(std::int32_t port) {
    if (auto fn = reinterpret_cast<decltype(::ClosePort_Modbus)*>(symbol("ClosePort_Modbus"))) {
        fn(port);
    }
}

DriverResult LibraryDriver::Get_1X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                                       std::int32_t* buffer) {
    return call<decltype(::Get_1X_B16)>("Get_1X_B16", port, address, first, buffer);
}

DriverResult LibraryDriver::Get_0X_B16(std::int32_t port, std::int32_t address, std::int32_t first,
                                       std::int32_t* buffer) {
    return call<decltype(::Get_0X_B16)>("Get_0X_B16", port, address, first, buffer);
}

DriverResult LibraryDriver::Get_3X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                                        std::int32_t count, std::int32_t* buffer) {
    return call<decltype(::Get_3X_UnDX)>("Get_3X_UnDX", port, address, first, count, buffer);
}

DriverResult LibraryDriver::Get_3X_LUNDX(std::int32_t port, std::int32_t address,
                                         std::int32_t first, std::int32_t count,
                                         std::int32_t* buffer) {
    return call<decltype(::Get_3X_LUNDX)>("Get_3X_LUNDX", port, address, first, count, buffer);
}

DriverResult LibraryDriver::Get_4X_UnDX(std::int32_t port, std::int32_t address, std::int32_t first,
                                        std::int32_t count, std::int32_t* buffer) {
    return call<decltype(::Get_4X_UnDX)>("Get_4X_UnDX", port, address, first, count, buffer);
}

DriverResult LibraryDriver::Set_0X_Bit1(std::int32_t port, std::int32_t address,
                                        std::int32_t coil) {
    return call<decltype(::Set_0X_Bit1)>("Set_0X_Bit1", port, address, coil);
}

DriverResult LibraryDriver::Rst_0X_Bit1(std::int32_t port, std::int32_t address,
                                        std::int32_t coil) {
    return call<decltype(::Rst_0X_Bit1)>("Rst_0X_Bit1", port, address, coil);
}

DriverResult LibraryDriver::Set_4X_D1(std::int32_t port, std::int32_t address, std::int32_t reg,
                                      std::int32_t value) {
    return call<decltype(::Set_4X_D1)>("Set_4X_D1", port, address, reg, value);
}

std::optional<Tq7310LinkStatus> LibraryDriver::linkStatus(std::int32_t port) {
    auto fn = reinterpret_cast<decltype(::TQ7310_GetLinkStatus)*>(symbol("TQ7310_GetLinkStatus"));
    if (!fn) {
        return std::nullopt;
    }
    Tq7310LinkStatus status{};
    if (fn(port, &status) != 0) {
        // A port number the library does not know: nothing was ever done on it.
        status = Tq7310LinkStatus{};
        status.outcome = TQ7310_BAD_ARGUMENT;
        status.round_trip_us = -1;
    }
    return status;
}

DriverResult LibraryDriver::readBits(std::int32_t port, std::int32_t address, std::int32_t function,
                                     std::int32_t first, std::int32_t count, std::uint8_t* bits,
                                     std::int32_t responseUs) {
    return callWithin<decltype(::TQ7310_ReadBitsWithin), decltype(::TQ7310_ReadBits)>(
        "TQ7310_ReadBitsWithin", "TQ7310_ReadBits", responseUs, port, address, function, first,
        count, bits);
}

DriverResult LibraryDriver::readRegisters(std::int32_t port, std::int32_t address,
                                          std::int32_t function, std::int32_t first,
                                          std::int32_t count, std::uint16_t* values,
                                          std::int32_t responseUs) {
    return callWithin<decltype(::TQ7310_ReadRegistersWithin), decltype(::TQ7310_ReadRegisters)>(
        "TQ7310_ReadRegistersWithin", "TQ7310_ReadRegisters", responseUs, port, address, function,
        first, count, values);
}

DriverResult LibraryDriver::writeCoils(std::int32_t port, std::int32_t address, std::int32_t first,
                                       std::int32_t count, const std::uint8_t* bits,
                                       std::int32_t responseUs) {
    return callWithin<decltype(::TQ7310_WriteCoilsWithin), decltype(::TQ7310_WriteCoils)>(
        "TQ7310_WriteCoilsWithin", "TQ7310_WriteCoils", responseUs, port, address, first, count,
        bits);
}

DriverResult LibraryDriver::writeRegisters(std::int32_t port, std::int32_t address,
                                           std::int32_t first, std::int32_t count,
                                           const std::uint16_t* values, std::int32_t responseUs) {
    return callWithin<decltype(::TQ7310_WriteRegistersWithin), decltype(::TQ7310_WriteRegisters)>(
        "TQ7310_WriteRegistersWithin", "TQ7310_WriteRegisters", responseUs, port, address, first,
        count, values);
}

std::optional<Tq7310LinkCounters> LibraryDriver::linkCounters(std::int32_t port) {
    auto fn =
        reinterpret_cast<decltype(::TQ7310_GetLinkCounters)*>(symbol("TQ7310_GetLinkCounters"));
    Tq7310LinkCounters counters{};
    counters.size = sizeof counters;
    if (!fn || fn(port, &counters) != 0) {
        return std::nullopt;
    }
    return counters;
}

std::optional<Tq7310Echo> LibraryDriver::echo(std::int32_t port) {
    auto fn = reinterpret_cast<decltype(::TQ7310_GetEcho)*>(symbol("TQ7310_GetEcho"));
    const std::int32_t echo = fn ? fn(port) : -1;
    if (echo < TQ7310_ECHO_UNKNOWN || echo > TQ7310_ECHO_ABSENT) {
        return std::nullopt;
    }
    return static_cast<Tq7310Echo>(echo);
}

std::optional<Tq7310Probe> LibraryDriver::probeModule(std::int32_t port, std::int32_t address,
                                                      std::int32_t responseUs) {
    auto fn = reinterpret_cast<decltype(::TQ7310_ProbeModule)*>(symbol("TQ7310_ProbeModule"));
    Tq7310Probe probe{};
    if (!fn || fn(port, address, responseUs, &probe) != 0) {
        return std::nullopt;
    }
    return probe;
}

int LibraryDriver::readTraffic(std::int32_t port, std::uint32_t after, Tq7310Traffic* records,
                               int capacity, std::int32_t* lost) {
    auto fn = reinterpret_cast<decltype(::TQ7310_ReadTraffic)*>(symbol("TQ7310_ReadTraffic"));
    return fn ? fn(port, after, records, capacity, lost) : -1;
}
