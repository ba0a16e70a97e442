#include "DriverProber.h"

#include <algorithm>

#include "OutcomeText.h"
#include "SerialLine.h"
#include "Verdict.h"

namespace finder {

std::int32_t probeWaitUs(const LineSetting& setting, std::int32_t allowanceUs) {
    return static_cast<std::int32_t>(module_line::wireTimeUs(kProbeRequestBytes, setting.baud())) +
           allowanceUs;
}

namespace {

Answer::Kind kindOf(Grade grade) {
    switch (grade) {
        case Grade::Module:
            return Answer::Module;
        case Grade::MaybeModule:
            return Answer::MaybeModule;
        default:
            return Answer::OtherDevice;
    }
}

}  // namespace

Answer answerOf(const std::optional<Tq7310Probe>& probe, module_line::TargetKind over) {
    Answer answer;
    if (!probe) {
        answer.kind = Answer::CannotProbe;
        return answer;
    }
    const Tq7310Probe& p = *probe;
    answer.points = p;
    answer.systemError = p.system_error;
    answer.exceptionCode = p.exception_code;
    answer.roundTripUs = p.round_trip_us;
    answer.otherAddress = p.other_address;
    answer.strayBytes = p.stray_bytes;
    if (p.spoilt != 0) {
        answer.kind = Answer::Spoilt;
        answer.why =
            p.outcome == TQ7310_OK
                ? QStringLiteral("保持寄存器读回，其余点表块的应答以所问地址开头，但校验不符")
                : QStringLiteral("应答以所问地址和功能码开头，但校验不符");
        return answer;
    }
    switch (p.outcome) {
        case TQ7310_OK: {
            const Verdict verdict = judge(p);
            answer.kind = kindOf(verdict.grade);
            answer.why = verdict.why;
            break;
        }
        case TQ7310_EXCEPTION:
            if (over != module_line::TargetKind::Serial &&
                (p.exception_code == 0x0A || p.exception_code == 0x0B)) {
                // The gateway answers for the unit id, and nothing is behind it there.
                answer.kind = Answer::NoDevice;
                answer.why = QStringLiteral("应答 异常 %1：网关后该单元没有设备")
                                 .arg(exceptionText(p.exception_code));
                break;
            }
            answer.kind = Answer::OtherDevice;
            answer.why = QStringLiteral("应答 异常 %1").arg(exceptionHex(p.exception_code));
            break;
        case TQ7310_BAD_FRAME:
            answer.kind = Answer::Garbled;
            answer.why = QStringLiteral("收到字节，但没有一帧校验正确");
            break;
        case TQ7310_WRONG_SLAVE:
            answer.kind = Answer::OtherAddress;
            answer.why = p.other_address != 0
                             ? QStringLiteral("校验正确的一帧来自地址 %1").arg(p.other_address)
                             : QStringLiteral("一帧来自另一个地址");
            break;
        case TQ7310_ECHO:
            answer.kind = Answer::Echo;
            answer.why = QStringLiteral("收到的是自己发出的请求：适配器回显");
            break;
        case TQ7310_TIMEOUT:
            answer.kind = Answer::Silent;
            break;
        case TQ7310_BAD_ARGUMENT:
            answer.kind = Answer::CannotProbe;
            break;
        default:
            answer.kind = Answer::PortGone;
    }
    return answer;
}

QString DriverProber::device(int port) {
    const auto status = driver_.linkStatus(port);
    return status ? QString::fromLocal8Bit(status->device) : QString();
}

std::optional<module_line::PortTarget> DriverProber::target(int port) {
    return module_line::parsePortTarget(
        qgetenv(module_line::portVariable(port).c_str()).toStdString());
}

OpenResult DriverProber::open(int port, const LineSetting& setting) {
    const auto over = target(port);
    openedOver_[port] = over ? over->kind : module_line::TargetKind::Serial;
    const DriverResult rc = driver_.OpenPort_Modbus(port, setting.baudCode, setting.parityCode);
    if (rc && *rc == 0) {
        return {true, 0};
    }
    const auto status = driver_.linkStatus(port);
    return {false, status ? status->system_error : 0};
}

Answer DriverProber::probe(int port, int address, const LineSetting& setting, Wait wait) {
    const module_line::TargetKind over = openedOver_[port];
    const std::int32_t allowance =
        (wait == Wait::Patient ? std::max(allowanceUs_, kPatientAllowanceUs) : allowanceUs_) +
        (over != module_line::TargetKind::Serial ? kNetworkAllowanceUs : 0);
    return answerOf(driver_.probeModule(port, address, probeWaitUs(setting, allowance)), over);
}

void DriverProber::close(int port) {
    driver_.ClosePort_Modbus(port);
}

}  // namespace finder
