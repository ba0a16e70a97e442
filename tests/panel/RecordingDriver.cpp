#include "RecordingDriver.h"

#include <algorithm>

bool RecordingDriver::record(const char* operation, std::initializer_list<std::int32_t> args) {
    QStringList text;
    for (std::int32_t a : args) {
        text << QString::number(a);
    }
    calls << QStringLiteral("%1(%2)").arg(QLatin1String(operation), text.join(u','));
    if (onCall) {
        onCall(QLatin1String(operation));
    }
    return available;
}

DriverResult RecordingDriver::read(const char* operation, std::initializer_list<std::int32_t> args,
                                   const std::int32_t* values, std::size_t count,
                                   std::int32_t* buffer) {
    if (!record(operation, args)) {
        return std::nullopt;
    }
    if (readFailure) {
        return readFailure;
    }
    std::copy(values, values + count, buffer);
    return buffer[0];
}

DriverResult RecordingDriver::OpenPort_Modbus(std::int32_t port, std::int32_t baud,
                                              std::int32_t parity) {
    if (!record("OpenPort_Modbus", {port, baud, parity})) {
        return std::nullopt;
    }
    return openResult;
}

void RecordingDriver::ClosePort_Modbus(std::int32_t port) {
    record("ClosePort_Modbus", {port});
}

DriverResult RecordingDriver::Get_1X_B16(std::int32_t port, std::int32_t address,
                                         std::int32_t first, std::int32_t* buffer) {
    return read("Get_1X_B16", {port, address, first}, inputBytes, 2, buffer);
}

DriverResult RecordingDriver::Get_0X_B16(std::int32_t port, std::int32_t address,
                                         std::int32_t first, std::int32_t* buffer) {
    return read("Get_0X_B16", {port, address, first}, coilBytes, 2, buffer);
}

DriverResult RecordingDriver::Get_3X_UnDX(std::int32_t port, std::int32_t address,
                                          std::int32_t first, std::int32_t count,
                                          std::int32_t* buffer) {
    return read("Get_3X_UnDX", {port, address, first, count}, count16.data(),
                std::min<std::size_t>(count, count16.size()), buffer);
}

DriverResult RecordingDriver::Get_3X_LUNDX(std::int32_t port, std::int32_t address,
                                           std::int32_t first, std::int32_t count,
                                           std::int32_t* buffer) {
    return read("Get_3X_LUNDX", {port, address, first, count}, count32.data(),
                std::min<std::size_t>(count, count32.size()), buffer);
}

DriverResult RecordingDriver::Get_4X_UnDX(std::int32_t port, std::int32_t address,
                                          std::int32_t first, std::int32_t count,
                                          std::int32_t* buffer) {
    return read("Get_4X_UnDX", {port, address, first, count}, config.data(),
                std::min<std::size_t>(count, config.size()), buffer);
}

DriverResult RecordingDriver::Set_0X_Bit1(std::int32_t port, std::int32_t address,
                                          std::int32_t coil) {
    return record("Set_0X_Bit1", {port, address, coil}) ? DriverResult(0) : std::nullopt;
}

DriverResult RecordingDriver::Rst_0X_Bit1(std::int32_t port, std::int32_t address,
                                          std::int32_t coil) {
    return record("Rst_0X_Bit1", {port, address, coil}) ? DriverResult(0) : std::nullopt;
}

DriverResult RecordingDriver::Set_4X_D1(std::int32_t port, std::int32_t address, std::int32_t reg,
                                        std::int32_t value) {
    if (!record("Set_4X_D1", {port, address, reg, value})) {
        return std::nullopt;
    }
    if (writeResults.empty()) {
        return 0;
    }
    const std::int32_t result = writeResults.front();
    writeResults.pop_front();
    return result;
}

std::optional<Tq7310Probe> RecordingDriver::probeModule(std::int32_t port, std::int32_t address,
                                                        std::int32_t) {
    if (!probeReply || !record("TQ7310_ProbeModule", {port, address})) {
        return std::nullopt;
    }
    return probeReply;
}

DriverResult RecordingDriver::anyPoints(const char* operation,
                                        std::initializer_list<std::int32_t> args,
                                        std::int32_t responseUs) {
    if (!record(operation, args)) {
        return std::nullopt;
    }
    if (responseUs != 0) {  // a row's own wait
        calls.last() += QStringLiteral(" %1 us").arg(responseUs);
    }
    return pointFailure ? pointFailure : DriverResult(0);
}

DriverResult RecordingDriver::readBits(std::int32_t port, std::int32_t address,
                                       std::int32_t function, std::int32_t first,
                                       std::int32_t count, std::uint8_t* bits, std::int32_t wait) {
    const DriverResult result =
        anyPoints("readBits", {port, address, function, first, count}, wait);
    for (int i = 0; result == 0 && i < count; ++i) {
        bits[i] = static_cast<std::uint8_t>(points[{address, function, first + i}]);
    }
    return result;
}

DriverResult RecordingDriver::readRegisters(std::int32_t port, std::int32_t address,
                                            std::int32_t function, std::int32_t first,
                                            std::int32_t count, std::uint16_t* values,
                                            std::int32_t wait) {
    const DriverResult result =
        anyPoints("readRegisters", {port, address, function, first, count}, wait);
    for (int i = 0; result == 0 && i < count; ++i) {
        values[i] = points[{address, function, first + i}];
    }
    return result;
}

DriverResult RecordingDriver::writeCoils(std::int32_t port, std::int32_t address,
                                         std::int32_t first, std::int32_t count,
                                         const std::uint8_t* bits, std::int32_t wait) {
    const DriverResult result = anyPoints("writeCoils", {port, address, first, count}, wait);
    for (int i = 0; result == 0 && i < count; ++i) {
        points[{address, 1, first + i}] = bits[i];
    }
    return result;
}

DriverResult RecordingDriver::writeRegisters(std::int32_t port, std::int32_t address,
                                             std::int32_t first, std::int32_t count,
                                             const std::uint16_t* values, std::int32_t wait) {
    const DriverResult result = anyPoints("writeRegisters", {port, address, first, count}, wait);
    for (int i = 0; result == 0 && i < count; ++i) {
        points[{address, 3, first + i}] = values[i];
    }
    return result;
}

std::optional<Tq7310LinkStatus> RecordingDriver::linkStatus(std::int32_t) {
    return statusReply;
}
