// The check against modules behind a fake driver, each the simulator's model
// on a clock of the test's own: a sound module passes in every mode, each
// fault fails its own step, a line that loses replies is no module fault,
// and what the check changed is put back, and only that.

#include <QRegularExpression>
#include <QTest>

#include "ModuleCheck.h"
#include "ModuleOnModel.h"
#include "ReportText.h"

namespace {

namespace mm = module_map;

enum Fault {
    None,
    FastInput,
    FrequencyMode,
    UpDownMode,
    InputsIdle,
    StuckRegister,
    StuckCoil,
    StuckCounter,
    IgnoredClearCode,
    SwappedClearCoils,
    DeadFrequency,
    SelfChangedRegister,
    LossyLine,
    CountReadsLost,
    OutageAfterTestValue,
    OutageWithY2On,
    GoneAfterWrite,
    GoneWithY2On,
    GoneAtStart,
};

constexpr qint64 kNsPerMs = 1'000'000;

}  // namespace

class ModuleCheckTest : public QObject {
    Q_OBJECT

  private slots:
    void steps_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("failed");    // the step the module fails, empty for none
        QTest::addColumn<QStringList>("line");  // the steps the line keeps from their evidence
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("said");  // what the report must say
        const QString none;
        const QStringList clear;
        QTest::newRow("sound") << int(None) << none << clear << 0
                               << QStringList{"X4 7 Hz (计数 7.",
                                              "13:0→1→0",
                                              "Y1..Y5 逐个接通再断开",
                                              "各计数在 1540.0 ms 内",
                                              "线圈 5 (Y5): 原 0, 现 0",
                                              "恢复原状用时",
                                              "往返 最短 20.3 ms, 中位 25.2 ms, 最长 30.2 ms",
                                              "!每次最多试",
                                              "[通过] 计数 (5280 ms)"};
        // Its 16-bit count wraps several times in a second.
        QTest::newRow("sound, X4 at 100 kHz")
            << int(FastInput) << none << clear << 0 << QStringList{"X4 100000 Hz"};
        QTest::newRow("sound in frequency mode")
            << int(FrequencyMode) << none << clear << 0 << QStringList{"X1 (频率): 看到变化"};
        QTest::newRow("sound in up/down mode, X1 counting below 0")
            << int(UpDownMode) << none << clear << 0 << QStringList{"X2 (X1 的计数): 看到变化"};
        QTest::newRow("inputs not driven")
            << int(InputsIdle) << QStringLiteral("输入") << clear << 1
            << QStringList{"无法判断清零", "与 0 Hz 分不开", "DI6: 5 s 内未看到变化"};
        QTest::newRow("register") << int(StuckRegister) << QStringLiteral("配置") << clear << 1
                                  << QStringList{"寄存器 7 写 1 得到确认, 读回 0"};
        QTest::newRow("coil") << int(StuckCoil) << QStringLiteral("输出") << clear << 1
                              << QStringList{"Y2 接通 后线圈 1..16 读回 0010 0000"};
        QTest::newRow("counter") << int(StuckCounter) << QStringLiteral("计数") << clear << 1
                                 << QStringList{"线圈 1001 清 X2 16 位计数: ", "未清零"};
        QTest::newRow("clear code ignored") << int(IgnoredClearCode) << QStringLiteral("计数")
                                            << clear << 1 << QStringList{"清零码后 X4 32 位计数: "};
        QTest::newRow("clear coils swapped")
            << int(SwappedClearCoils) << QStringLiteral("计数") << clear << 1
            << QStringList{"线圈 1000 清 X1 16 位计数: X1 32 位计数 也变了"};
        QTest::newRow("frequency dead") << int(DeadFrequency) << QStringLiteral("频率模式") << clear
                                        << 1 << QStringList{"X2 计数 ", "X4 计数 ", "频率读 0 Hz"};
        QTest::newRow("register changed by the module")
            << int(SelfChangedRegister) << none << clear << 1
            << QStringList{"模块自行改变：寄存器 8 原 200, 现 999"};
        QTest::newRow("line losing replies, three in a row")
            << int(LossyLine) << none << clear << 0 << QStringList{"(每次最多试 3 次)"};
        QTest::newRow("count reads lost")
            << int(CountReadsLost) << none << QStringList{"计数", "频率模式", "输入"} << 2
            << QStringList{"读计数: 超时"};
        QTest::newRow("outage after a test value, link back")
            << int(OutageAfterTestValue) << none << QStringList{"配置"} << 2
            << QStringList{"寄存器 3 写 1: 超时"};
        QTest::newRow("outage with Y2 on, link back")
            << int(OutageWithY2On) << none << QStringList{"输出"} << 2
            << QStringList{"Y2 接通: 超时"};
        QTest::newRow("link gone after a write")
            << int(GoneAfterWrite) << none << QStringList{"配置"} << 3
            << QStringList{"寄存器 1 可能仍为测试值 1"};
        QTest::newRow("link gone with Y2 on")
            << int(GoneWithY2On) << none << QStringList{"输出"} << 3
            << QStringList{"Y2 可能仍接通", "寄存器 5 可能仍为测试值 0"};
        QTest::newRow("link gone before any write")
            << int(GoneAtStart) << none << QStringList{"通信"} << 2
            << QStringList{"现 未知", "发 01 02, 收 无"};
    }

    void steps() {
        QFETCH(int, fault);
        QFETCH(QString, failed);
        QFETCH(QStringList, line);
        QFETCH(int, status);
        QFETCH(QStringList, said);
        ModuleOnModel module;
        sim::ModuleModel& model = module.model;
        CheckClock clock = module.clock();
        clock.sleep(100'000);  // counts well away from 0
        model.sync();
        model.setConfig(mm::kDoFunctionRegister, 1);  // DO1 in alarm function
        model.setConfig(mm::kDoPresetRegister + 2, 200);
        model.setCoil(2, true);  // Y3 on
        sim::ModuleFaults faults;
        CheckOptions options;
        options.inputs = true;
        options.inputWaitMs = 5000;
        qint64 outageEnds = -1;
        int linesLost = 0;
        // The person at the bench closes the DI asked for 3 s after being asked.
        int askedDi = -1;
        qint64 askedAt = 0;
        std::function<bool(int, const QString&)> rule;
        module.lost = [&](int call, const QString& what) {
            if (askedDi >= 0 && module.nowNs() > askedAt + 3000 * kNsPerMs) {
                model.setDigitalInput(askedDi, true);
                askedDi = -1;
            }
            return rule && rule(call, what);
        };
        const auto lose = [&](const auto& lost) { rule = lost; };
        switch (Fault(fault)) {
            case None:
                break;
            case FastInput:
                model.setFrequency(3, 100'000);
                break;
            case FrequencyMode:
                model.setConfig(mm::kModeRegister, mm::kFrequencyMode);
                break;
            case UpDownMode:
                model.setConfig(mm::kModeRegister, mm::kUpDownMode);
                break;
            case InputsIdle:
                for (int x = 0; x < mm::kCountingInputs; ++x) {
                    model.setFrequency(x, 0);
                    model.setCount(x, 0);
                }
                break;
            case StuckRegister:
                faults.stuckRegister = 7;
                break;
            case StuckCoil:
                faults.stuckCoil = 2;
                break;
            case StuckCounter:
                faults.stuckCounter = 2;
                break;
            case IgnoredClearCode:
                faults.ignoreClearCode = true;
                break;
            case SwappedClearCoils:
                faults.swapClearCoils = true;
                break;
            case DeadFrequency:
                faults.deadFrequency = true;
                break;
            case SelfChangedRegister:
                lose([&](int, const QString& what) {
                    if (what == QLatin1String("writeCoils 1 1")) {
                        model.setConfig(mm::kDoPresetRegister + 2, 999);
                    }
                    return false;
                });
                break;
            case LossyLine:
                lose([&](int call, const QString&) {
                    const bool lost = call % 50 < 3;
                    linesLost += lost;
                    return lost;
                });
                break;
            case CountReadsLost:
                // The counts no longer answer once the link step is done.
                lose([](int call, const QString& what) {
                    return call > 150 && what.startsWith(QLatin1String("readRegisters 4 11 "));
                });
                break;
            case OutageAfterTestValue:
            case OutageWithY2On:
                // A write goes through, its reply and all else is lost for 4 s.
                lose([&](int, const QString& what) {
                    const bool y2 = fault == OutageWithY2On;
                    if (outageEnds < 0 && what == (y2 ? "writeCoils 2 1" : "writeRegisters 3 1")) {
                        y2 ? model.setCoil(1, true) : model.setConfig(3, 1);
                        outageEnds = module.nowNs() + 4000 * kNsPerMs;
                    }
                    return module.nowNs() < outageEnds;
                });
                break;
            case GoneAfterWrite:
                lose([&](int, const QString& what) {
                    outageEnds = outageEnds >= 0 || what.startsWith(QLatin1String("writeRegisters"))
                                     ? 1
                                     : -1;
                    return outageEnds >= 0;
                });
                break;
            case GoneWithY2On:
                lose([&](int, const QString& what) {
                    outageEnds =
                        outageEnds >= 0 || what == QLatin1String("writeCoils 2 1") ? 1 : -1;
                    return outageEnds >= 0 && what != QLatin1String("writeCoils 2 1");
                });
                break;
            case GoneAtStart:
                lose([](int call, const QString&) { return call > 2; });
                break;
        }
        model.setFaults(faults);
        const auto config = [&] {
            std::vector<int> held;
            for (int r = mm::kConfigRegister; r <= mm::kConfigRegistersShown; ++r) {
                held.push_back(model.config(r));
            }
            for (int y = 0; y < mm::kOutputs; ++y) {
                held.push_back(model.output(y));
            }
            return held;
        };
        const auto before = config();
        ModuleCheck check(module, options, clock);
        // The outputs step leaves the outputs as it found them: Y3 on.
        check.onStepStarted = [&](const QString& step) {
            QVERIFY(step != QStringLiteral("计数") || model.output(2));
        };
        // The X are pulsed by their generators.
        check.onPrompt = [&](const QString& ask) {
            if (ask.contains(QStringLiteral("DI")) && fault != InputsIdle) {
                askedDi = ask.right(1).toInt() - 1;
                askedAt = module.nowNs();
            }
        };
        const CheckReport report = check.run();
        const QString text = reportText(ReportHeader{}, report);
        for (const StepResult& step : report.steps) {
            const QString why = step.name + u' ' + step.evidence.join(u';');
            QVERIFY2((step.verdict == Verdict::Failed) == (step.name == failed), qPrintable(why));
            QVERIFY2((step.verdict == Verdict::LinkProblem) == line.contains(step.name),
                     qPrintable(why));
            QVERIFY2(status != 0 || step.verdict == Verdict::Passed, qPrintable(why));
        }
        // "!" before words the report must not say.
        for (const QString& words : said) {
            const bool absent = words.startsWith(u'!');
            QVERIFY2(text.contains(words.mid(absent)) != absent, qPrintable(words + u'\n' + text));
        }
        // Every reply the line lost was tried again, and counted in its step
        // (or before, between or after the steps).
        static const QRegularExpression counted(
            QStringLiteral("线路丢失或损坏 (\\d+) 次, 重试 (\\d+) 次"));
        int failures = 0;
        int retries = 0;
        for (const StepResult& step : report.steps) {
            for (const QString& words : step.evidence) {
                const auto m = counted.match(words);
                failures += m.captured(1).toInt();
                retries += m.captured(2).toInt();
            }
        }
        QVERIFY(failures <= report.lineFailures && retries <= report.retries);
        QVERIFY((failures > 0) == (report.lineFailures > 0) || !line.isEmpty());
        QVERIFY(fault != LossyLine || (linesLost > 0 && report.retries == report.lineFailures));
        // Putting back was tried for as long as the report says.
        QVERIFY(status != 3 || report.restoreMs >= ModuleCheck::kRestoreTryMs);
        QCOMPARE(exitStatusOf(report), status);
        QCOMPARE(text.contains(QStringLiteral("未能恢复原状")), status == 3);
        if (fault == SelfChangedRegister) {
            QCOMPARE(report.selfChanged.size(), 1);
            QCOMPARE(model.config(mm::kDoPresetRegister + 2), 999);  // left as the module set it
        } else if (status != 3) {
            QCOMPARE(config(), before);
        }
        // Only what the check wrote is owed back.
        QVERIFY(fault != GoneAtStart || report.notRestored.isEmpty());
        // The sound module's report names each clear by the module's own coils.
        for (int x = 1; x <= mm::kCountingInputs && fault == None; ++x) {
            for (const QString& name :
                 {QStringLiteral("线圈 %1 清 X%2 16 位计数: ").arg(mm::kClear16Coil + x - 1).arg(x),
                  QStringLiteral("线圈 %1 清 X%2 32 位计数: ").arg(mm::kClear32Coil + x - 1).arg(x),
                  QStringLiteral("DI%1: 看到变化").arg(x)}) {
                QVERIFY2(text.contains(name), qPrintable(name + u'\n' + text));
            }
        }
    }
};

QTEST_GUILESS_MAIN(ModuleCheckTest)
#include "tst_modulecheck.moc"
