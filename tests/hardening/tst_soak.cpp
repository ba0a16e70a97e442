// The panel, its real driver library and the simulator, polling through a
// line that drops, garbles, delays, truncates, misaddresses and hangs up by a
// seeded schedule, while the operator keeps clicking. The simulator's values
// are held still and distinctive, so any caption the panel shows can be
// checked against what the module ever held; its frame log shows what every
// write did on the line.
//
// TQ7310_SOAK_SECONDS sets the length of the faulty stretch (60 by default),
// TQ7310_SOAK_SEED the schedule (a fixed one by default, printed either way).

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <map>

#include "FaultyLine.h"
#include "ForwardingDriver.h"
#include "LibraryDriver.h"
#include "SimProcess.h"
#include "StatusTexts.h"
#include "WindowDriver.h"
#include "ssqx.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The driver's response time-out at 9600 baud (driver/README.md), and the
// wait before a request of the same shape as one that timed out, which is
// the longer of that time-out and 500 ms.
constexpr int kResponseTimeoutMs = 503;
constexpr int kSameShapeWaitMs = 503;
// Room for scheduling and for the sanitizer build on a busy machine.
constexpr int kMarginMs = 300;
// The longest one driver call may keep the window: the wait, then a time-out.
constexpr int kCallBoundMs = kSameShapeWaitMs + kResponseTimeoutMs + kMarginMs;
constexpr int kHeartbeatMs = 50;
constexpr double kFaultChance = 0.2;
constexpr int kPort = 1;
constexpr std::uint32_t kDefaultSeed = 7310;

// The counts the simulator holds still for the whole soak.
constexpr std::uint32_t kCounts[4] = {70000, 123456789, 4294967295u, 2147483653u};
constexpr bool kPulseHigh[4] = {false, true, false, true};
constexpr bool kDiClosed[6] = {true, false, true, false, false, true};
constexpr int kToggledOutputs = 2;  // Y1 and Y2 are switched during the soak; Y3, Y4 stay open

int envInt(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

const char* outcomeName(int outcome) {
    static const char* const kNames[] = {"none",         "ok",       "not open",  "open failed",
                                         "bad argument", "time-out", "exception", "bad frame",
                                         "other slave",  "I/O error"};
    return outcome >= 0 && outcome < 10 ? kNames[outcome] : "?";
}

// The real library behind the panel, with every call timed and every
// outcome and write tallied.
class TallyingDriver final : public ForwardingDriver {
  public:
    TallyingDriver() : ForwardingDriver(library_) {}

    std::map<int, int> outcomes;
    QHash<QString, int> writes;  // "register 6 = 1001", "coil 1 on"
    int calls = 0;
    qint64 longestCallMs = 0;

    DriverResult Set_0X_Bit1(std::int32_t port, std::int32_t address, std::int32_t coil) override {
        ++writes[QStringLiteral("coil %1 on").arg(coil)];
        return ForwardingDriver::Set_0X_Bit1(port, address, coil);
    }
    DriverResult Rst_0X_Bit1(std::int32_t port, std::int32_t address, std::int32_t coil) override {
        ++writes[QStringLiteral("coil %1 off").arg(coil)];
        return ForwardingDriver::Rst_0X_Bit1(port, address, coil);
    }
    DriverResult Set_4X_D1(std::int32_t port, std::int32_t address, std::int32_t reg,
                           std::int32_t value) override {
        ++writes[QStringLiteral("register %1 = %2").arg(reg).arg(value)];
        return ForwardingDriver::Set_4X_D1(port, address, reg, value);
    }

  protected:
    DriverResult around(const Call& call, const std::function<DriverResult()>& forward) override {
        if (call.operation == Operation::Close) {
            return forward();
        }
        QElapsedTimer t;
        t.start();
        const DriverResult r = forward();
        longestCallMs = std::max(longestCallMs, t.elapsed());
        ++calls;
        if (const auto status = library_.linkStatus(kPort)) {
            ++outcomes[status->outcome];
        }
        return r;
    }

  private:
    LibraryDriver library_;
};

// Times every handler the window runs for a tick or a click, less the time
// spent in handlers nested in its yields, which are timed on their own.
class HandlerClock {
  public:
    struct Frame {
        QString name;
        QElapsedTimer timer;
        qint64 nestedMs = 0;
        Clock::time_point began;
    };
    struct Done {
        QString name;
        qint64 ownMs;
        Clock::time_point began;
    };

    void begin(const QString& name) {
        Frame f{name, {}, 0, Clock::now()};
        f.timer.start();
        stack_.push_back(f);
    }
    Done end() {
        Frame f = stack_.back();
        stack_.pop_back();
        const qint64 total = f.timer.elapsed();
        if (!stack_.empty()) {
            stack_.back().nestedMs += total;
        }
        const Done d{f.name, total - f.nestedMs, f.began};
        longest_[d.name] = std::max(longest_.value(d.name), d.ownMs);
        return d;
    }
    bool idle() const { return stack_.isEmpty(); }
    const QHash<QString, qint64>& longest() const { return longest_; }

  private:
    QList<Frame> stack_;
    QHash<QString, qint64> longest_;
};

class TickWatch : public QObject {
  public:
    explicit TickWatch(HandlerClock& clock) : clock_(clock) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A QTimer emits timeout() from its timer event; the window's handler
        // and then ours (connected later) run inside it.
        if (event->type() == QEvent::Timer) {
            clock_.begin(watched->objectName());
        }
        return false;
    }

  private:
    HandlerClock& clock_;
};

using Captions = QHash<QString, QString>;

QStringList watchedLabels() {
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names << memberName("D_4R", i);
    }
    for (int i = 0; i < 8; ++i) {
        names << memberName("D_4R32", i);
    }
    for (int i = 0; i < 13; ++i) {
        names << memberName("D_4R4", i);
    }
    for (int i = 0; i < 10; ++i) {
        names << memberName("B_2R", i);
    }
    for (int i = 0; i < 4; ++i) {
        names << memberName("B_1RW", i);
    }
    return names;
}

}  // namespace

class tst_Soak : public QObject {
    Q_OBJECT
  private slots:
    void pollsSurviveAFaultyLine();
};

void tst_Soak::pollsSurviveAFaultyLine() {
    const int soakSeconds = envInt("TQ7310_SOAK_SECONDS", 60);
    const auto seed = static_cast<std::uint32_t>(envInt("TQ7310_SOAK_SEED", kDefaultSeed));
    qInfo("soak: %d s, seed %u", soakSeconds, seed);

    // The module, held still.
    SimProcess sim;
    QVERIFY2(sim.start({"--verbose", "--parity", "none"}), qPrintable(sim.transcript()));
    for (int x = 1; x <= 4; ++x) {
        QVERIFY(sim.command(QByteArray("freq ") + QByteArray::number(x) + " 0"));
        if (kPulseHigh[x - 1]) {
            QVERIFY(sim.command(QByteArray("x ") + QByteArray::number(x) + " 1"));
        }
        QVERIFY(sim.command(QByteArray("count ") + QByteArray::number(x) + " " +
                            QByteArray::number(kCounts[x - 1])));
    }
    for (int di = 1; di <= 6; ++di) {
        QVERIFY(sim.command(QByteArray("di ") + QByteArray::number(di) + " " +
                            (kDiClosed[di - 1] ? "1" : "0")));
    }
    sim.send("show");
    QString configLine;
    QVERIFY(sim.waitForLine(QRegularExpression("^config "), SimProcess::kStartMs, &configLine));
    const QStringList initialConfig = configLine.split(' ').mid(1);
    QCOMPARE(initialConfig.size(), 16);

    // What the simulator says from here on: its frame log and its state.
    QHash<QString, int> arrivedWrites;
    QStringList shownConfig;
    QStringList shownOutputs;
    int shows = 0;
    static const QRegularExpression frameLine("^((?:[0-9A-F]{2} )*[0-9A-F]{2}): (.*)$");
    QObject::connect(&sim.process(), &QProcess::readyReadStandardOutput, this, [&] {
        while (sim.process().canReadLine()) {
            const QString line = QString::fromUtf8(sim.process().readLine()).trimmed();
            if (line.startsWith("config ")) {
                shownConfig = line.split(' ').mid(1);
                ++shows;
            } else if (line.startsWith("Y ")) {
                shownOutputs = line.split(' ').mid(1);
            }
            const auto m = frameLine.match(line);
            if (!m.hasMatch()) {
                continue;
            }
            const QByteArray f = QByteArray::fromHex(m.captured(1).toLatin1().replace(' ', ""));
            if (f.size() != 8 || f[0] != 1) {
                continue;
            }
            const auto word = [&](int at) { return (quint8(f[at]) << 8) | quint8(f[at + 1]); };
            if (f[1] == 0x06) {
                ++arrivedWrites[QStringLiteral("register %1 = %2").arg(word(2) + 1).arg(word(4))];
            } else if (f[1] == 0x05) {
                ++arrivedWrites[QStringLiteral("coil %1 %2")
                                    .arg(word(2) + 1)
                                    .arg(word(4) == 0xFF00 ? "on" : "off")];
            }
        }
    });

    // The line between them.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    hardening::FaultyLine line(sim.device().toStdString(), folder.filePath("com1").toStdString(),
                               seed, std::chrono::milliseconds(kResponseTimeoutMs + 250));
    const std::string lineError = line.start();
    QVERIFY2(lineError.empty(), lineError.c_str());
    qputenv("TQ7310_COM1", QByteArray::fromStdString(line.linkPath()));

    TallyingDriver driver;
    ssqx window(driver, [] {});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const test_support::WindowDriver ui(&window);

    // Every caption a label may show once its group has been read: what the
    // simulator holds or held, and the failure code in a group's first label.
    const QStringList labels = watchedLabels();
    QHash<QString, QSet<QString>> allowed;
    for (int i = 0; i < 4; ++i) {
        allowed[memberName("D_4R", i)] << QString::number(kCounts[i] % 65536);
        allowed[memberName("D_4R32", i)] << QString::number(std::int32_t(kCounts[i]));
        allowed[memberName("D_4R32", i + 4)] << "0";
        allowed[memberName("B_2R", i)] << inputIndication(i, kPulseHigh[i]).caption;
        allowed[memberName("B_1RW", i)] << outputIndication(i, false).caption;
        if (i < kToggledOutputs) {
            allowed[memberName("B_1RW", i)] << outputIndication(i, true).caption;
        }
    }
    for (int di = 0; di < 6; ++di) {
        allowed[memberName("B_2R", 4 + di)] << inputIndication(4 + di, kDiClosed[di]).caption;
    }
    for (int r = 0; r < 13; ++r) {
        allowed[memberName("D_4R4", r)] << initialConfig[r];
    }
    const QString failed = QString::number(MODBUSRTU_FAILED);
    for (const char* first : {"D_4R(0)", "D_4R32(0)", "D_4R4(0)"}) {
        allowed[QLatin1String(first)] << failed;
    }
    // Until a group's first good read, a label shows what it showed before
    // opening, or what the poll makes of a buffer no read has filled yet:
    // zero, an input or output open. A failed read leaves the buffer alone,
    // so that is what the first failures show; after a good read it would be
    // a real fault.
    QHash<QString, QSet<QString>> beforeFirstRead;
    for (const QString& name : labels) {
        beforeFirstRead[name] << ui.text(name);
    }
    for (int i = 0; i < 13; ++i) {
        beforeFirstRead[memberName("D_4R4", i)] << "0";
        if (i < 4) {
            beforeFirstRead[memberName("D_4R", i)] << "0";
            beforeFirstRead[memberName("B_1RW", i)] << outputIndication(i, false).caption;
        }
        if (i < 8) {
            beforeFirstRead[memberName("D_4R32", i)] << "0";
        }
        if (i < 10) {
            beforeFirstRead[memberName("B_2R", i)] << inputIndication(i, false).caption;
        }
    }
    const auto groupOf = [](const QString& name) { return name.section('(', 0, 0); };
    // A group has been read once a label shows what only a good read gives.
    // The poll writes a group's labels together without yielding, and this
    // runs between events, so it never sees a group half shown.
    QSet<QString> groupsRead;

    QStringList strayCaptions;
    QSet<QString> shownBeforeRead;  // "D_4R(1) \"0\"", for the figures
    const auto captions = [&] {
        Captions c;
        for (const QString& name : labels) {
            c[name] = ui.text(name);
        }
        return c;
    };
    const auto checkCaptions = [&] {
        const Captions now = captions();
        for (const QString& name : labels) {
            const QString& shown = now[name];
            if (allowed[name].contains(shown) && !beforeFirstRead[name].contains(shown) &&
                shown != failed) {
                groupsRead << groupOf(name);
            }
        }
        for (const QString& name : labels) {
            const QString& shown = now[name];
            const bool early =
                !groupsRead.contains(groupOf(name)) && beforeFirstRead[name].contains(shown);
            if (early && !allowed[name].contains(shown) && !shown.isEmpty()) {
                shownBeforeRead << name + " \"" + shown + "\"";
            }
            if (!allowed[name].contains(shown) && !early && strayCaptions.size() < 20) {
                strayCaptions << name + " showed \"" + shown + "\"";
            }
        }
    };

    // Ticks and clicks, timed; after the faults, what each tick left shown.
    HandlerClock handlers;
    QStringList slowHandlers;
    struct Snapshot {
        Clock::time_point at;
        Captions shown;
        int timer1Ticks, timer2Ticks;  // begun after the faults stopped
    };
    std::vector<Snapshot> afterFaults;
    std::optional<Clock::time_point> faultsStopped;
    int ticksAfter[2] = {0, 0};
    const auto handlerDone = [&](int calls) {
        const HandlerClock::Done d = handlers.end();
        if (d.ownMs > calls * kCallBoundMs) {
            slowHandlers << QStringLiteral("%1 took %2 ms").arg(d.name).arg(d.ownMs);
        }
        return d;
    };
    TickWatch tickWatch(handlers);
    const std::pair<const char*, int> timers[] = {{"Timer1", 2}, {"Timer2", 3}};
    for (int t = 0; t < 2; ++t) {
        auto* timer = window.findChild<QTimer*>(QLatin1String(timers[t].first));
        QVERIFY(timer);
        timer->installEventFilter(&tickWatch);
        const int calls = timers[t].second;
        connect(timer, &QTimer::timeout, this, [&, t, calls] {
            const HandlerClock::Done d = handlerDone(calls);
            checkCaptions();
            if (faultsStopped && d.began >= *faultsStopped) {
                ++ticksAfter[t];
                afterFaults.push_back({Clock::now(), captions(), ticksAfter[0], ticksAfter[1]});
            }
        });
    }

    // The window must keep handling events between transactions.
    test_support::Heartbeat heartbeat(kHeartbeatMs, false);

    // The operator: a configuration write or an output switch now and then,
    // each write with a value of its own so its arrivals can be counted.
    int clicks = 0;
    QTimer operatorClicks;
    operatorClicks.setInterval(700);
    connect(&operatorClicks, &QTimer::timeout, this, [&] {
        const int n = clicks++;
        QString button;
        int calls = 1;
        const auto edit = [&](const char* box, int row, int reg, int value) {
            const QString text = QString::number(value);
            ui.paste(box, text);
            allowed[memberName("D_4R4", reg - 1)] << text;
            button = memberName("Command2AC", row);
            calls = 2;  // a failed write is sent once more
        };
        switch (n % 7) {
            case 0:
                edit("Text1(5)", 5, 6, 1000 + n);
                break;
            case 1:
                button = "Command2(0)";
                break;
            case 2:
                edit("Combo4", 1, 2, n % 3);
                break;
            case 3:
                button = "Command3(0)";
                break;
            case 4:
                edit("Text1(7)", 7, 8, 2000 + n);
                break;
            case 5:
                button = "Command2(1)";
                break;
            default:
                button = "Command3(1)";
                break;
        }
        handlers.begin("click " + button);
        ui.press(button);
        handlerDone(calls);
    });

    line.setFaultRate(kFaultChance);
    ui.press("Command9");
    heartbeat.start();
    operatorClicks.start();
    {
        QEventLoop soak;
        QTimer::singleShot(soakSeconds * 1000, &soak, &QEventLoop::quit);
        soak.exec();
    }

    // Faults off; the operator stops; the line settles.
    operatorClicks.stop();
    line.setFaultRate(0);
    QTRY_VERIFY_WITH_TIMEOUT(line.clean(), 5000);
    const auto injected = line.injected();
    int totalInjected = 0;
    for (int n : injected) {
        totalInjected += n;
    }
    faultsStopped = totalInjected > 0 ? line.lastFaultOver() : Clock::now();
    const int showsBefore = shows;
    sim.send("show");
    QTRY_VERIFY_WITH_TIMEOUT(shows > showsBefore, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(ticksAfter[0] >= 2 && ticksAfter[1] >= 2, 10000);
    heartbeat.stop();
    ui.press("Command10");

    // What the labels must show now: the simulator's state.
    Captions expected;
    for (int i = 0; i < 4; ++i) {
        expected[memberName("D_4R", i)] = QString::number(kCounts[i] % 65536);
        expected[memberName("D_4R32", i)] = QString::number(std::int32_t(kCounts[i]));
        expected[memberName("D_4R32", i + 4)] = "0";
        expected[memberName("B_2R", i)] = inputIndication(i, kPulseHigh[i]).caption;
        expected[memberName("B_1RW", i)] =
            outputIndication(i, shownOutputs.value(i) == "1").caption;
    }
    for (int di = 0; di < 6; ++di) {
        expected[memberName("B_2R", 4 + di)] = inputIndication(4 + di, kDiClosed[di]).caption;
    }
    for (int r = 0; r < 13; ++r) {
        expected[memberName("D_4R4", r)] = shownConfig.value(r);
    }
    std::optional<qint64> recoveryMs;
    for (const Snapshot& s : afterFaults) {
        if (s.shown == expected) {
            recoveryMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(s.at - *faultsStopped)
                    .count();
            break;
        }
    }

    // The figures.
    qInfo("soak: %d transactions by the driver, %d requests on the line, %d clicks", driver.calls,
          line.requests(), clicks);
    QStringList faults;
    for (int k = 0; k < hardening::kFaultKinds; ++k) {
        faults << QStringLiteral("%1 %2")
                      .arg(injected[k])
                      .arg(hardening::faultName(static_cast<hardening::Fault>(k)));
    }
    qInfo("soak: faults injected: %d (%s)", totalInjected, qPrintable(faults.join(", ")));
    QStringList outcomes;
    for (const auto& [outcome, n] : driver.outcomes) {
        outcomes << QStringLiteral("%1 %2").arg(n).arg(outcomeName(outcome));
    }
    qInfo("soak: driver outcomes: %s", qPrintable(outcomes.join(", ")));
    QStringList handlerTimes;
    for (auto it = handlers.longest().cbegin(); it != handlers.longest().cend(); ++it) {
        handlerTimes << QStringLiteral("%1 %2 ms").arg(it.key()).arg(it.value());
    }
    handlerTimes.sort();
    qInfo("soak: longest handler: %s", qPrintable(handlerTimes.join(", ")));
    qInfo("soak: longest driver call %lld ms, longest gap between events %lld ms (%d heartbeats)",
          driver.longestCallMs, heartbeat.longestGapMs(), heartbeat.beats());
    QStringList early = shownBeforeRead.values();
    early.sort();
    qInfo("soak: shown before their group's first good read: %s",
          early.isEmpty() ? "nothing" : qPrintable(early.join(", ")));
    qInfo("soak: labels matched the simulator %s ms after the last fault",
          recoveryMs ? qPrintable(QString::number(*recoveryMs)) : "never");

    QVERIFY2(strayCaptions.isEmpty(), qPrintable(strayCaptions.join('\n')));
    QVERIFY2(slowHandlers.isEmpty(), qPrintable(slowHandlers.join('\n')));
    QVERIFY2(driver.longestCallMs <= kCallBoundMs,
             qPrintable(QString::number(driver.longestCallMs)));
    // Between two events the window runs at most one click's writes: a write
    // and, when it failed, its repeat, each up to one call.
    QVERIFY2(heartbeat.longestGapMs() <= 2 * kCallBoundMs,
             qPrintable(QString::number(heartbeat.longestGapMs())));
    QVERIFY(handlers.idle());

    // Every write arrived at most as often as the panel sent it, and none
    // arrived that the panel did not send.
    for (auto it = arrivedWrites.cbegin(); it != arrivedWrites.cend(); ++it) {
        QVERIFY2(it.value() <= driver.writes.value(it.key()),
                 qPrintable(QStringLiteral("%1 arrived %2 times, sent %3 times")
                                .arg(it.key())
                                .arg(it.value())
                                .arg(driver.writes.value(it.key()))));
    }

    // Back in step within two ticks of each poll once the line is good.
    QVERIFY(!afterFaults.empty());
    const Snapshot& last = afterFaults.back();
    for (const QString& name : labels) {
        QVERIFY2(last.shown.value(name) == expected.value(name),
                 qPrintable(QStringLiteral("%1 shows \"%2\", the simulator holds \"%3\"")
                                .arg(name, last.shown.value(name), expected.value(name))));
    }
    QVERIFY(totalInjected > 0);
    QVERIFY(sim.stop());
}

int main(int argc, char** argv) {
    // A long soak by hand must not be cut off by Qt Test's watchdog.
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT")) {
        const int seconds = envInt("TQ7310_SOAK_SECONDS", 60);
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((seconds + 120) * 1000));
    }
    QApplication app(argc, argv);
    tst_Soak test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soak.moc"
