#include "DriverProber.h"

#include "ConfigValues.h"
#include "SerialLine.h"

namespace finder {

std::int32_t probeWaitUs(const LineSetting& setting, std::int32_t allowanceUs) {
    return static_cast<std::int32_t>(module_line::wireTimeUs(kProbeRequestBytes, setting.baud())) +
           allowanceUs;
}

bool fitsModule(const Tq7310Probe& points) {
    if (points.fits == 0) {
        return false;
    }
    using namespace module_map;
    for (int reg = kConfigRegister; reg < kConfigRegister + kConfigRegistersShown; ++reg) {
        const std::int32_t value = points.holding_registers[reg - kConfigRegister];
        if (value < 0 || value > 0xFFFF || !configAccepts(reg, static_cast<std::uint16_t>(value))) {
            return false;
        }
    }
    return true;
}

QString DriverProber::device(int port) {
    const auto status = driver_.linkStatus(port);
    return status ? QString::fromLocal8Bit(status->device) : QString();
}

OpenResult DriverProber::open(int port, const LineSetting& setting) {
    const DriverResult rc = driver_.OpenPort_Modbus(port, setting.baudCode, setting.parityCode);
    if (rc && *rc == 0) {
        return {true, 0};
    }
    const auto status = driver_.linkStatus(port);
    return {false, status ? status->system_error : 0};
}

Answer DriverProber::probe(int port, int address, const LineSetting& setting) {
    Answer answer;
    const auto points = driver_.probeModule(port, address, probeWaitUs(setting, allowanceUs_));
    if (!points) {
        answer.kind = Answer::PortGone;
        return answer;
    }
    answer.points = *points;
    answer.systemError = points->system_error;
    answer.exceptionCode = points->exception_code;
    answer.roundTripUs = points->round_trip_us;
    switch (points->outcome) {
        case TQ7310_OK:
            answer.kind = fitsModule(*points) ? Answer::Module : Answer::OtherDevice;
            break;
        case TQ7310_EXCEPTION:
            answer.kind = Answer::OtherDevice;
            break;
        case TQ7310_BAD_FRAME:
        case TQ7310_WRONG_SLAVE:
            answer.kind = Answer::Garbled;
            break;
        case TQ7310_TIMEOUT:
            answer.kind = Answer::Silent;
            break;
        default:
            answer.kind = Answer::PortGone;
    }
    return answer;
}

void DriverProber::close(int port) {
    driver_.ClosePort_Modbus(port);
}

}  // namespace finder
