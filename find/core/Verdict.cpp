#include "Verdict.h"

#include <QStringList>
#include <algorithm>

#include "ConfigValues.h"
#include "ModuleMap.h"

namespace finder {

namespace {

using namespace module_map;

// Inputs past X1..X4 and DI1..DI6, coils past Y1..Y5: the module has none.
constexpr int kOwnInputs = kCountingInputs + kDigitalInputs;

std::int32_t beyond(std::int32_t bits, int own, int read) {
    return bits & (((1 << read) - 1) & ~((1 << own) - 1));
}

QString range(const char* what, int first, int last) {
    return QStringLiteral("%1%2–%3").arg(QString::fromUtf8(what)).arg(first).arg(last);
}

}  // namespace

QString exceptionHex(int code) {
    return QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

Verdict judge(const Tq7310Probe& p) {
    if (p.fits == 0 && p.exception_code != 0) {
        return {Grade::Other, QStringLiteral("保持寄存器读回，其余点表块应答 异常 %1")
                                  .arg(exceptionHex(p.exception_code))};
    }
    for (int reg = kConfigRegister; reg < kConfigRegister + kConfigRegistersShown; ++reg) {
        const std::int32_t value = p.holding_registers[reg - kConfigRegister];
        if (value < 0 || value > 0xFFFF || !configAccepts(reg, static_cast<std::uint16_t>(value))) {
            return {Grade::Other,
                    QStringLiteral("保持寄存器%1 = %2，模块不会有此值").arg(reg).arg(value)};
        }
    }
    if (p.fits == 0) {
        // No reply is no refusal: a slow module may not have made it in time.
        return {Grade::MaybeModule, QStringLiteral("配置值相符，但其余点表块没有应答")};
    }
    QStringList extra;
    if (beyond(p.inputs, kOwnInputs, kInputsRead) != 0) {
        extra << range("DI", kFirstInput + kOwnInputs, kFirstInput + kInputsRead - 1);
    }
    if (beyond(p.coils, kOutputs, kCoilsRead) != 0) {
        extra << range("线圈", kFirstCoil + kOutputs, kFirstCoil + kCoilsRead - 1);
    }
    if (!extra.isEmpty()) {
        return {Grade::MaybeModule,
                QStringLiteral("配置值相符，但 %1 有置位，模块没有这些点").arg(extra.join("、"))};
    }
    const auto zero = [](const auto& values) {
        return std::all_of(std::begin(values), std::end(values),
                           [](std::int32_t x) { return x == 0; });
    };
    if (p.inputs == 0 && p.coils == 0 && zero(p.input_registers) && zero(p.holding_registers)) {
        return {Grade::MaybeModule, QStringLiteral("四块都读回，但全为 0：空设备也会如此")};
    }
    return {Grade::Module, QStringLiteral("四块都读回，配置值相符，模块没有的点为 0，且有非零值")};
}

}  // namespace finder
