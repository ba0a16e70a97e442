// The check against modules behind a fake driver, each the simulator's model
// on a clock of the test's own: a sound module passes in every mode, each
// fault fails its own step, a line that loses replies is no module fault,
// and what the check changed is put back, and only that.

#include <QTest>

#include "ModuleCheck.h"
#include "ModuleOnModel.h"
#include "ReportText.h"

namespace {

namespace mm = module_map;

enum Fault {
    None,
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
    Outage,
    GoneAfterWrite,
    GoneAtStart,
};

constexpr qint64 kNsPerMs = 1'000'000;

}  // namespace

class ModuleCheckTest : public QObject {
    Q_OBJECT

  private slots:
    void steps_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("failed");  // the step the module fails, empty for none
        QTest::addColumn<QString>("line");    // the step the line keeps from its evidence
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");  // what the report must say
        const QString none;
        QTest::newRow("sound") << int(None) << none << none << 0 << QStringLiteral("X4 7 Hz");
        QTest::newRow("sound in frequency mode")
            << int(FrequencyMode) << none << none << 0 << QStringLiteral("X1 (频率): 看到变化");
        QTest::newRow("sound in up/down mode, X1 counting below 0")
            << int(UpDownMode) << none << none << 0 << QStringLiteral("X2 (X1 的计数): 看到变化");
        QTest::newRow("inputs not driven") << int(InputsIdle) << QStringLiteral("输入") << none << 1
                                           << QStringLiteral("无法判断清零");
        QTest::newRow("register") << int(StuckRegister) << QStringLiteral("配置") << none << 1
                                  << QStringLiteral("寄存器 7 写 1 得到确认, 读回 0");
        QTest::newRow("coil") << int(StuckCoil) << QStringLiteral("输出") << none << 1
                              << QStringLiteral("Y2 接通 后线圈");
        QTest::newRow("counter") << int(StuckCounter) << QStringLiteral("计数") << none << 1
                                 << QStringLiteral("线圈 1001 清 X2 16 位计数: ");
        QTest::newRow("clear code ignored")
            << int(IgnoredClearCode) << QStringLiteral("计数") << none << 1
            << QStringLiteral("清零码后 X4 32 位计数: ");
        QTest::newRow("clear coils swapped")
            << int(SwappedClearCoils) << QStringLiteral("计数") << none << 1
            << QStringLiteral("线圈 1000 清 X1 16 位计数: X1 32 位计数 也变了");
        QTest::newRow("frequency dead") << int(DeadFrequency) << QStringLiteral("频率模式") << none
                                        << 1 << QStringLiteral("频率读 0 Hz");
        QTest::newRow("register changed by the module")
            << int(SelfChangedRegister) << none << none << 1
            << QStringLiteral("模块自行改变：寄存器 8 原 200, 现 999");
        QTest::newRow("line losing replies")
            << int(LossyLine) << none << none << 0 << QStringLiteral("线路丢失或损坏");
        QTest::newRow("outage, link back") << int(Outage) << none << QStringLiteral("输出") << 2
                                           << QStringLiteral("Y1 接通: 超时");
        QTest::newRow("link gone after a write")
            << int(GoneAfterWrite) << none << QStringLiteral("配置") << 3
            << QStringLiteral("寄存器 1 可能仍为测试值 1");
        QTest::newRow("link gone before any write")
            << int(GoneAtStart) << none << QStringLiteral("通信") << 2 << QStringLiteral("现 未知");
    }

    void steps() {
        QFETCH(int, fault);
        QFETCH(QString, failed);
        QFETCH(QString, line);
        QFETCH(int, status);
        QFETCH(QString, said);
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
                lose([](int call, const QString&) { return call % 50 == 0; });
                break;
            case Outage:
                // 4 s without replies from Y1's first switching on.
                lose([&](int, const QString& what) {
                    if (outageEnds < 0 && what == QLatin1String("writeCoils 1 1")) {
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
            QVERIFY2((step.verdict == Verdict::LinkProblem) == (step.name == line),
                     qPrintable(why));
        }
        QVERIFY2(text.contains(said), qPrintable(said + u'\n' + text));
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
