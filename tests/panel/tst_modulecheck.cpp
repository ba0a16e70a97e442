// The check's steps on the recording fake: each passes on a sound module,
// each fails on its own fault, and what a failure left is put back.

#include <QTest>

#include "ModuleCheck.h"
#include "RecordingDriver.h"
#include "ReportText.h"

namespace {

// A module whose holding register or coil keeps its value when written.
class FaultyModule : public RecordingDriver {
  public:
    int stuckRegister = 0;
    int stuckCoil = 0;

    DriverResult writeRegisters(std::int32_t port, std::int32_t address, std::int32_t first,
                                std::int32_t count, const std::uint16_t* values) override {
        const std::uint16_t kept = points[{address, 3, first}];
        const DriverResult r = RecordingDriver::writeRegisters(port, address, first, count, values);
        if (first == stuckRegister) {
            points[{address, 3, first}] = kept;
        }
        return r;
    }
    DriverResult writeCoils(std::int32_t port, std::int32_t address, std::int32_t first,
                            std::int32_t count, const std::uint8_t* bits) override {
        return first == stuckCoil ? DriverResult(0)
                                  : RecordingDriver::writeCoils(port, address, first, count, bits);
    }
};

enum Fault { None, DeadLink, StuckRegister, StuckCoil, StuckCounter, LostLink, GoneLink };

}  // namespace

class ModuleCheckTest : public QObject {
    Q_OBJECT

  private slots:
    void steps_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("failed");  // the step that fails, empty for none
        QTest::addColumn<int>("status");
        QTest::newRow("sound") << int(None) << QString() << 0;
        QTest::newRow("link") << int(DeadLink) << QStringLiteral("通信") << 1;
        QTest::newRow("register") << int(StuckRegister) << QStringLiteral("配置") << 1;
        QTest::newRow("coil") << int(StuckCoil) << QStringLiteral("输出") << 1;
        QTest::newRow("counter") << int(StuckCounter) << QStringLiteral("计数") << 1;
        QTest::newRow("lost link, put back") << int(LostLink) << QStringLiteral("配置") << 1;
        QTest::newRow("link gone, not put back") << int(GoneLink) << QStringLiteral("配置") << 3;
    }

    void steps() {
        QFETCH(int, fault);
        QFETCH(QString, failed);
        QFETCH(int, status);
        FaultyModule module;
        module.points[{1, 3, 5}] = 1;  // DO1 in alarm function: the outputs step changes it
        module.points[{1, 1, 3}] = 1;  // Y3 on
        int failing = -1;              // calls failed since the link went
        switch (Fault(fault)) {
            case None:
                break;
            case DeadLink:
                module.readFailure = MODBUSRTU_FAILED;
                break;
            case StuckRegister:
                module.stuckRegister = 7;
                break;
            case StuckCoil:
                module.stuckCoil = 2;
                break;
            case StuckCounter:
                module.points[{1, 4, 2}] = 500;  // X2's 16-bit count
                break;
            case LostLink:
            case GoneLink:
                // The link goes for three calls (or for good) once the first
                // test value is written.
                module.onCall = [&](const QString& operation) {
                    if (failing >= 0 && (failing < 3 || fault == GoneLink)) {
                        ++failing;
                        module.pointFailure = MODBUSRTU_FAILED;
                        return;
                    }
                    module.pointFailure.reset();
                    if (failing < 0 && operation == QLatin1String("writeRegisters")) {
                        failing = 0;
                    }
                };
                break;
        }
        const auto before = module.points;
        ModuleCheck check(module, CheckOptions{});
        const CheckReport report = check.run();
        for (const StepResult& step : report.steps) {
            QVERIFY2((step.verdict == Verdict::Failed) == (step.name == failed),
                     qPrintable(step.name + u' ' + step.evidence.join(u';')));
        }
        QCOMPARE(exitStatusOf(report), status);
        const bool restored = fault != GoneLink;
        QCOMPARE(report.notRestored.isEmpty(), restored);
        const QString text = reportText(ReportHeader{}, report);
        QVERIFY(text.contains(QStringLiteral("原状与留下的状态")));
        QCOMPARE(text.contains(QStringLiteral("未能恢复原状")), !restored);
        // Each clear and each output named by the module's own numbers.
        namespace mm = module_map;
        for (int x = 0; x < mm::kCountingInputs && fault == None; ++x) {
            const QString clear = QStringLiteral("线圈 %1 清 X%2 32 位计数");
            QVERIFY2(text.contains(clear.arg(mm::kClear32Coil + x).arg(x + 1)), qPrintable(text));
        }
        const int lastOutput = mm::kFirstCoil + mm::kOutputs - 1;
        QVERIFY(text.contains(QStringLiteral("线圈 %1 (Y%2)").arg(lastOutput).arg(mm::kOutputs)));
        for (const auto& [point, value] : before) {
            QVERIFY(!restored || module.points[point] == value);
        }
    }
};

QTEST_GUILESS_MAIN(ModuleCheckTest)
#include "tst_modulecheck.moc"
