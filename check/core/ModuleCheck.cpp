#include "ModuleCheck.h"

#include <QThread>
#include <algorithm>
#include <cmath>
#include <vector>

#include "ConfigValues.h"
#include "OutcomeText.h"

namespace mm = module_map;

namespace {

constexpr int kLinkRounds = 20;
constexpr int kRetryPauseMs = 200;
constexpr int kInputPollMs = 200;
// A real module measures frequencies over a gate time before it reports any.
constexpr int kFrequencyGateMs = 1000;
constexpr int kTrafficRecords = 512;
constexpr int kHoldingRegisters = 3;
constexpr int kInputRegisters = 4;
constexpr int kCoilTable = 1;
constexpr int kInputTable = 2;

// The next value after `present` that the window's lists take for `reg`.
std::uint16_t testValue(int reg, std::uint16_t present) {
    for (std::uint32_t step = 1; step <= 0xFFFF; ++step) {
        const auto value = static_cast<std::uint16_t>(present + step);
        if (mm::configAccepts(reg, value)) {
            return value;
        }
    }
    return present;
}

QString bitsText(const std::uint8_t* bits, int count) {
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && i % 4 == 0) {
            text += u' ';
        }
        text += bits[i] != 0 ? u'1' : u'0';
    }
    return text;
}

QString msText(qint64 ns) {
    return QString::number(double(ns) / 1e6, 'f', 1) + QStringLiteral(" ms");
}

}  // namespace

int exitStatusOf(const CheckReport& report) {
    if (!report.answered) {
        return 2;
    }
    if (!report.notRestored.isEmpty()) {
        return 3;
    }
    const bool allPassed =
        std::none_of(report.steps.begin(), report.steps.end(),
                     [](const StepResult& s) { return s.verdict == Verdict::Failed; });
    return allPassed && !report.stopped ? 0 : 1;
}

ModuleCheck::ModuleCheck(ModuleDriver& driver, const CheckOptions& options)
    : driver_(driver), options_(options) {}

CheckReport ModuleCheck::run() {
    CheckReport report;
    struct Step {
        QString name;
        Verdict (ModuleCheck::*run)(QStringList&);
        QString skip;
    };
    const Step steps[] = {
        {QStringLiteral("通信"), &ModuleCheck::link, {}},
        {QStringLiteral("配置"), &ModuleCheck::configuration, {}},
        {QStringLiteral("输出"), &ModuleCheck::outputs, {}},
        {QStringLiteral("计数"), &ModuleCheck::counters,
         options_.keepCounts ? QStringLiteral("按 --keep-counts 保留计数") : QString()},
        {QStringLiteral("频率模式"), &ModuleCheck::mode, {}},
        {QStringLiteral("输入"), &ModuleCheck::inputs,
         options_.inputs ? QString() : QStringLiteral("未给 --inputs: 需要有人在现场操作输入")},
    };
    static_assert(sizeof(steps) / sizeof(steps[0]) == kSteps);
    report.answered = readConfig(foundConfig_) && readCoils(foundCoils_);
    const QString noAnswer = report.answered ? QString() : failure(QStringLiteral("读配置与线圈"));
    for (const Step& step : steps) {
        StepResult result;
        result.name = step.name;
        if (!report.answered) {
            result.evidence << noAnswer;
        } else if (!step.skip.isEmpty()) {
            result.evidence << step.skip;
        } else if (stop_) {
            result.evidence << QStringLiteral("已停止");
        } else if (linkLost_) {
            result.evidence << QStringLiteral("连接中断, 未做");
        } else {
            if (onStepStarted) {
                onStepStarted(step.name);
            }
            QElapsedTimer timer;
            timer.start();
            result.verdict = (this->*step.run)(result.evidence);
            result.ms = timer.elapsed();
            if (stop_) {
                result.verdict = Verdict::Skipped;
                result.evidence << QStringLiteral("已停止");
            } else if (result.verdict == Verdict::Failed && !answers()) {
                linkLost_ = true;
                result.evidence << QStringLiteral("模块不再应答");
            }
        }
        if (onStepDone) {
            onStepDone(result);
        }
        report.steps << result;
    }
    report.stopped = stop_;
    if (report.answered) {
        restore(report);
    }
    return report;
}

Verdict ModuleCheck::link(QStringList& evidence) {
    using Read = std::function<DriverResult(std::int32_t*)>;
    const int p = options_.port;
    const int a = options_.address;
    // The status poll's two reads, then the counter poll's three, as the panel makes them.
    const std::pair<const char*, Read> reads[] = {
        {"Get_1X_B16",
         [&](std::int32_t* b) { return driver_.Get_1X_B16(p, a, mm::kFirstInput, b); }},
        {"Get_0X_B16",
         [&](std::int32_t* b) { return driver_.Get_0X_B16(p, a, mm::kFirstCoil, b); }},
        {"Get_3X_UnDX",
         [&](std::int32_t* b) {
             return driver_.Get_3X_UnDX(p, a, mm::kCount16Register, mm::kCount16Values, b);
         }},
        {"Get_3X_LUNDX",
         [&](std::int32_t* b) {
             return driver_.Get_3X_LUNDX(p, a, mm::kCount32Register, mm::kCount32Values, b);
         }},
        {"Get_4X_UnDX",
         [&](std::int32_t* b) {
             return driver_.Get_4X_UnDX(p, a, mm::kConfigRegister, mm::kConfigRegistersRead, b);
         }},
    };
    std::vector<qint64> trips;
    std::array<std::int32_t, 501> buffer{};
    for (int round = 1; round <= kLinkRounds && !stop_; ++round) {
        for (const auto& [name, read] : reads) {
            QElapsedTimer timer;
            timer.start();
            const DriverResult r = read(buffer.data());
            const qint64 ns = timer.nsecsElapsed();
            if (!r) {
                evidence << QStringLiteral("驱动库缺少 %1").arg(QLatin1String(name));
                return Verdict::Skipped;
            }
            if (*r == MODBUSRTU_FAILED) {
                evidence
                    << QStringLiteral("第 %1 轮 %2").arg(round).arg(failure(QLatin1String(name)));
                return Verdict::Failed;
            }
            const auto status = driver_.linkStatus(p);
            trips.push_back(status && status->round_trip_us >= 0 ? status->round_trip_us * 1000LL
                                                                 : ns);
        }
    }
    if (trips.empty()) {
        return Verdict::Skipped;
    }
    std::sort(trips.begin(), trips.end());
    evidence << QStringLiteral("%1 次读取全部应答; 往返 最短 %2, 中位 %3, 最长 %4")
                    .arg(trips.size())
                    .arg(msText(trips.front()), msText(trips[(trips.size() - 1) / 2]),
                         msText(trips.back()));
    return Verdict::Passed;
}

Verdict ModuleCheck::configuration(QStringList& evidence) {
    Config present{};
    if (!readConfig(present)) {
        evidence << failure(QStringLiteral("读寄存器 1..13"));
        return Verdict::Failed;
    }
    bool ok = true;
    QStringList tried;
    for (int i = 0; i < mm::kConfigRegistersShown && !stop_ && !linkLost_; ++i) {
        const int reg = mm::kConfigRegister + i;
        const std::uint16_t test = testValue(reg, present[i]);
        const bool wrote = writeAndReadBack(reg, test, evidence);
        const bool back = writeAndReadBack(reg, present[i], evidence);
        ok = ok && wrote && back;
        tried << QStringLiteral("%1:%2→%3→%2").arg(reg).arg(present[i]).arg(test);
    }
    evidence.prepend(QStringLiteral("写入测试值, 读回, 写回原值: ") + tried.join(u' '));
    return ok ? Verdict::Passed : Verdict::Failed;
}

Verdict ModuleCheck::outputs(QStringList& evidence) {
    Config present{};
    if (!readConfig(present)) {
        evidence << failure(QStringLiteral("读寄存器 1..13"));
        return Verdict::Failed;
    }
    bool ok = true;
    QList<int> switched;
    for (int i = 0; i < mm::kDoFunctions; ++i) {
        const int reg = mm::kDoFunctionRegister + 2 * i;
        if (present[reg - mm::kConfigRegister] != mm::kDoCoilDriven) {
            ok = writeAndReadBack(reg, mm::kDoCoilDriven, evidence) && ok;
            switched << reg;
        }
    }
    Coils base{};
    if (!readCoils(base)) {
        evidence << failure(QStringLiteral("读线圈 1..16"));
        return Verdict::Failed;
    }
    Coils expected = base;
    for (int y = 0; y < mm::kOutputs && ok && !stop_; ++y) {
        for (const bool on : {true, false}) {
            const QString act = QStringLiteral("Y%1 %2").arg(y + 1).arg(on ? "接通" : "断开");
            Coils now{};
            if (!writeCoil(mm::kFirstCoil + y, on) || !readCoils(now)) {
                evidence << failure(act);
                ok = false;
                break;
            }
            expected[y] = on;
            if (now != expected) {
                evidence << QStringLiteral("%1 后线圈 1..16 读回 %2, 应为 %3")
                                .arg(act, bitsText(now.data(), mm::kCoilsRead),
                                     bitsText(expected.data(), mm::kCoilsRead));
                ok = false;
                expected = now;
            }
        }
    }
    for (int y = 0; y < mm::kOutputs; ++y) {
        if (base[y] != 0) {
            writeCoil(mm::kFirstCoil + y, true);
        }
    }
    for (const int reg : switched) {
        ok = writeAndReadBack(reg, present[reg - mm::kConfigRegister], evidence) && ok;
    }
    if (ok) {
        evidence.prepend(QStringLiteral("Y1..Y%1 逐个接通再断开, 读回相符, 其他线圈不变; 线圈 "
                                        "1..16 原为 %2")
                             .arg(mm::kOutputs)
                             .arg(bitsText(base.data(), mm::kCoilsRead)));
    }
    return ok ? Verdict::Passed : Verdict::Failed;
}

Verdict ModuleCheck::counters(QStringList& evidence) {
    QElapsedTimer clock;
    clock.start();
    std::array<std::uint32_t, 8> before{};
    if (!readCounts(before)) {
        evidence << failure(QStringLiteral("读计数"));
        return Verdict::Failed;
    }
    const qint64 t0 = clock.nsecsElapsed();
    bool ok = true;
    // The pulses per ns on each input, once the 16-bit clears let us see them arrive.
    std::array<double, mm::kCountingInputs> rate{};
    const auto judge = [&](const QString& what, std::uint32_t value, int x, qint64 ns) {
        const double pulses = rate[x] * double(ns);
        // Twice the pulses expected, and one for a pulse that arrived as we cleared.
        const auto bound = static_cast<std::uint32_t>(std::ceil(2 * pulses)) + 1;
        if (value == 0) {
            evidence << QStringLiteral("%1 读回 0").arg(what);
        } else if (value <= bound) {
            evidence << QStringLiteral("%1 读回 %2, 不超过清零到读回 %3 内的脉冲 (约 %4 个)")
                            .arg(what)
                            .arg(value)
                            .arg(msText(ns))
                            .arg(pulses, 0, 'f', 1);
        } else {
            evidence << QStringLiteral("%1 读回 %2, 清零到读回 %3 内的脉冲约 %4 个: 未清零")
                            .arg(what)
                            .arg(value)
                            .arg(msText(ns))
                            .arg(pulses, 0, 'f', 1);
            ok = false;
        }
    };
    struct Cleared {
        int x;
        std::uint32_t value;
        qint64 ns;
    };
    std::vector<Cleared> cleared16;
    for (int x = 0; x < mm::kCountingInputs && !stop_; ++x) {
        const qint64 t1 = clock.nsecsElapsed();
        std::uint16_t value = 0;
        if (!writeCoil(mm::kClear16Coil + x, true) ||
            !readInputRegisters(mm::kCount16Register + x, 1, &value)) {
            evidence << failure(QStringLiteral("清零 X%1 16 位计数").arg(x + 1));
            return Verdict::Failed;
        }
        cleared16.push_back({x, value, clock.nsecsElapsed() - t1});
    }
    std::array<std::uint32_t, 8> after{};
    if (!readCounts(after)) {
        evidence << failure(QStringLiteral("读计数"));
        return Verdict::Failed;
    }
    const qint64 span = clock.nsecsElapsed() - t0;
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        const std::int64_t pulses = std::int64_t(after[4 + x]) - std::int64_t(before[4 + x]);
        rate[x] = double(std::llabs(pulses)) / double(std::max<qint64>(span, 1));
    }
    for (const Cleared& c : cleared16) {
        judge(QStringLiteral("线圈 %1 清 X%2 16 位计数:").arg(mm::kClear16Coil + c.x).arg(c.x + 1),
              c.value, c.x, c.ns);
    }
    for (int x = 0; x < mm::kCountingInputs && !stop_; ++x) {
        const qint64 t1 = clock.nsecsElapsed();
        std::uint16_t words[2] = {};
        if (!writeCoil(mm::kClear32Coil + x, true) ||
            !readInputRegisters(mm::kCount32Register + 2 * x, 2, words)) {
            evidence << failure(QStringLiteral("清零 X%1 32 位计数").arg(x + 1));
            return Verdict::Failed;
        }
        judge(QStringLiteral("线圈 %1 清 X%2 32 位计数:").arg(mm::kClear32Coil + x).arg(x + 1),
              std::uint32_t(words[0]) << 16 | words[1], x, clock.nsecsElapsed() - t1);
    }
    const qint64 t1 = clock.nsecsElapsed();
    std::array<std::uint32_t, 8> all{};
    if (!writeRegister(mm::kClearCodeRegister, mm::kClearCode) || !readCounts(all)) {
        evidence << failure(QStringLiteral("寄存器 %1 写清零码").arg(mm::kClearCodeRegister));
        return Verdict::Failed;
    }
    const qint64 ns = clock.nsecsElapsed() - t1;
    for (int i = 0; i < 8; ++i) {
        const int x = i % mm::kCountingInputs;
        judge(QStringLiteral("清零码后 X%1 %2 位计数:").arg(x + 1).arg(i < 4 ? 16 : 32), all[i], x,
              ns);
    }
    return ok ? Verdict::Passed : Verdict::Failed;
}

Verdict ModuleCheck::mode(QStringList& evidence) {
    std::uint16_t found = 0;
    if (!readHolding(mm::kModeRegister, found)) {
        evidence << failure(QStringLiteral("读寄存器 %1").arg(mm::kModeRegister));
        return Verdict::Failed;
    }
    bool ok = writeAndReadBack(mm::kModeRegister, mm::kFrequencyMode, evidence);
    if (ok) {
        pause(kFrequencyGateMs);
        std::uint16_t words[2 * mm::kCountingInputs] = {};
        if (readInputRegisters(mm::kCount32Register + 2 * mm::kFrequencyValueOffset,
                               2 * mm::kCountingInputs, words)) {
            QStringList hz;
            for (int x = 0; x < mm::kCountingInputs; ++x) {
                hz << QStringLiteral("X%1 %2 Hz")
                          .arg(x + 1)
                          .arg(std::uint32_t(words[2 * x]) << 16 | words[2 * x + 1]);
            }
            evidence << QStringLiteral("寄存器 %1 = %2 时频率: ")
                                .arg(mm::kModeRegister)
                                .arg(mm::kFrequencyMode) +
                            hz.join(QStringLiteral(", "));
        } else {
            evidence << failure(QStringLiteral("读频率"));
            ok = false;
        }
    }
    ok = writeAndReadBack(mm::kModeRegister, found, evidence) && ok;
    evidence << QStringLiteral("寄存器 %1 写回 %2").arg(mm::kModeRegister).arg(found);
    return ok ? Verdict::Passed : Verdict::Failed;
}

Verdict ModuleCheck::inputs(QStringList& evidence) {
    bool ok = true;
    // X1..X4 show pulses in their 32-bit counts, DI1..DI6 in their discrete inputs.
    const auto watch = [&](const QString& ask, const QString& what,
                           const std::function<std::optional<int>()>& read) {
        if (onPrompt) {
            onPrompt(ask);
        }
        const std::optional<int> first = read();
        QElapsedTimer waited;
        waited.start();
        while (first && !stop_ && waited.elapsed() < options_.inputWaitMs) {
            const std::optional<int> now = read();
            if (now && *now != *first) {
                evidence
                    << QStringLiteral("%1: 看到变化 (%2 → %3)").arg(what).arg(*first).arg(*now);
                return;
            }
            pause(kInputPollMs);
        }
        evidence << (first ? QStringLiteral("%1: %2 s 内未看到变化")
                                 .arg(what)
                                 .arg(options_.inputWaitMs / 1000)
                           : failure(what));
        ok = false;
    };
    for (int x = 0; x < mm::kCountingInputs && !stop_; ++x) {
        watch(QStringLiteral("给 X%1 加脉冲").arg(x + 1), QStringLiteral("X%1").arg(x + 1),
              [&]() -> std::optional<int> {
                  std::uint16_t words[2] = {};
                  if (!readInputRegisters(mm::kCount32Register + 2 * x, 2, words)) {
                      return std::nullopt;
                  }
                  return int(std::uint32_t(words[0]) << 16 | words[1]);
              });
    }
    for (int di = 0; di < mm::kDigitalInputs && !stop_; ++di) {
        watch(QStringLiteral("闭合 DI%1").arg(di + 1), QStringLiteral("DI%1").arg(di + 1),
              [&]() -> std::optional<int> {
                  std::uint8_t bit = 0;
                  if (driver_.readBits(options_.port, options_.address, kInputTable,
                                       mm::kFirstDigitalInput + di, 1, &bit) != 0) {
                      return std::nullopt;
                  }
                  return bit;
              });
    }
    return ok ? Verdict::Passed : Verdict::Failed;
}

bool ModuleCheck::readConfig(Config& config) {
    return driver_.readRegisters(options_.port, options_.address, kHoldingRegisters,
                                 mm::kConfigRegister, mm::kConfigRegistersShown,
                                 config.data()) == 0;
}

bool ModuleCheck::readCoils(Coils& coils) {
    return driver_.readBits(options_.port, options_.address, kCoilTable, mm::kFirstCoil,
                            mm::kCoilsRead, coils.data()) == 0;
}

bool ModuleCheck::readHolding(int reg, std::uint16_t& value) {
    return driver_.readRegisters(options_.port, options_.address, kHoldingRegisters, reg, 1,
                                 &value) == 0;
}

bool ModuleCheck::readInputRegisters(int first, int count, std::uint16_t* values) {
    return driver_.readRegisters(options_.port, options_.address, kInputRegisters, first, count,
                                 values) == 0;
}

bool ModuleCheck::writeRegister(int reg, std::uint16_t value) {
    return driver_.writeRegisters(options_.port, options_.address, reg, 1, &value) == 0;
}

bool ModuleCheck::writeCoil(int coil, bool on) {
    const std::uint8_t bit = on ? 1 : 0;
    return driver_.writeCoils(options_.port, options_.address, coil, 1, &bit) == 0;
}

bool ModuleCheck::writeAndReadBack(int reg, std::uint16_t value, QStringList& evidence) {
    std::uint16_t back = 0;
    if (!writeRegister(reg, value)) {
        evidence << failure(QStringLiteral("寄存器 %1 写 %2").arg(reg).arg(value));
        return false;
    }
    if (!readHolding(reg, back)) {
        evidence << failure(QStringLiteral("读寄存器 %1").arg(reg));
        return false;
    }
    if (back != value) {
        evidence
            << QStringLiteral("寄存器 %1 写 %2 得到确认, 读回 %3").arg(reg).arg(value).arg(back);
        return false;
    }
    return true;
}

bool ModuleCheck::readCounts(std::array<std::uint32_t, 8>& counts) {
    std::uint16_t c16[mm::kCount16Values] = {};
    std::uint16_t c32[2 * mm::kCountingInputs] = {};
    if (!readInputRegisters(mm::kCount16Register, mm::kCount16Values, c16) ||
        !readInputRegisters(mm::kCount32Register, 2 * mm::kCountingInputs, c32)) {
        return false;
    }
    for (int x = 0; x < mm::kCountingInputs; ++x) {
        counts[x] = c16[x];
        counts[4 + x] = std::uint32_t(c32[2 * x]) << 16 | c32[2 * x + 1];
    }
    return true;
}

QString ModuleCheck::failure(const QString& call) {
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

bool ModuleCheck::answers() {
    std::uint16_t value = 0;
    return readHolding(mm::kConfigRegister, value);
}

bool ModuleCheck::restoreOnce(Config& config, Coils& coils, bool& readBack) {
    readBack = false;
    Coils nowCoils{};
    Config nowConfig{};
    if (!readCoils(nowCoils) || !readConfig(nowConfig)) {
        return false;
    }
    // The outputs first, while their functions still let the master switch them.
    for (int y = 0; y < mm::kOutputs; ++y) {
        if (coilDriven(y) && nowCoils[y] != foundCoils_[y]) {
            writeCoil(mm::kFirstCoil + y, foundCoils_[y] != 0);
        }
    }
    for (int i = 0; i < mm::kConfigRegistersShown; ++i) {
        if (nowConfig[i] != foundConfig_[i]) {
            writeRegister(mm::kConfigRegister + i, foundConfig_[i]);
        }
    }
    if (!readConfig(config) || !readCoils(coils)) {
        return false;
    }
    readBack = true;
    bool same = config == foundConfig_;
    for (int y = 0; y < mm::kOutputs; ++y) {
        same = same && (!coilDriven(y) || coils[y] == foundCoils_[y]);
    }
    return same;
}

void ModuleCheck::restore(CheckReport& report) {
    Config config{};
    Coils coils{};
    bool readBack = false;
    QElapsedTimer tried;
    tried.start();
    while (!restoreOnce(config, coils, readBack) && tried.elapsed() < kRestoreTryMs) {
        // Not cut short by a stop: putting back is what a stop asks for.
        QThread::msleep(kRetryPauseMs);
    }
    const auto add = [&](const QString& name, int found, int left, bool mustMatch) {
        PointState point{name, found, readBack ? std::optional<int>(left) : std::nullopt};
        if (mustMatch && point.left != point.found) {
            report.notRestored << name;
        }
        report.points << point;
    };
    for (int i = 0; i < mm::kConfigRegistersShown; ++i) {
        add(QStringLiteral("寄存器 %1").arg(mm::kConfigRegister + i), foundConfig_[i], config[i],
            true);
    }
    for (int y = 0; y < mm::kOutputs; ++y) {
        add(QStringLiteral("线圈 %1 (Y%2)").arg(mm::kFirstCoil + y).arg(y + 1), foundCoils_[y],
            coils[y], coilDriven(y));
    }
}

bool ModuleCheck::coilDriven(int y) const {
    // An output in alarm function follows its count, not what was written.
    return y >= mm::kDoFunctions ||
           foundConfig_[mm::kDoFunctionRegister + 2 * y - mm::kConfigRegister] == mm::kDoCoilDriven;
}

void ModuleCheck::pause(int ms) {
    QElapsedTimer waited;
    waited.start();
    while (!stop_ && waited.elapsed() < ms) {
        QThread::msleep(std::min<qint64>(50, ms - waited.elapsed()));
    }
}
