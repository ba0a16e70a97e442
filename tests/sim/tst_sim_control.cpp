// The control lines on standard input and the command line.

#include <QRandomGenerator>
#include <QtTest>

#include "Control.h"
#include "ManualClock.h"
#include "Options.h"

using Kind = sim::Command::Kind;
Q_DECLARE_METATYPE(Kind)

class TestSimControl : public QObject {
    Q_OBJECT

  private slots:
    void parses_data();
    void parses();
    void garbageNeverCrashes();
    void commandsAct();
    void helpListsEveryCommand();
    void options_data();
    void options();
};

void TestSimControl::parses_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<quint64>("value");
    QTest::newRow("blank") << QByteArray("  \t ") << Kind::Empty << 0 << 0ull;
    QTest::newRow("help") << QByteArray("help") << Kind::Help << 0 << 0ull;
    QTest::newRow("show, CR LF") << QByteArray("show\r") << Kind::Show << 0 << 0ull;
    QTest::newRow("quit") << QByteArray(" quit ") << Kind::Quit << 0 << 0ull;
    QTest::newRow("di 6 1") << QByteArray("di 6 1") << Kind::Di << 5 << 1ull;
    QTest::newRow("di 7 1") << QByteArray("di 7 1") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("di 0 1") << QByteArray("di 0 1") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("di 1 2") << QByteArray("di 1 2") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("x 4 0") << QByteArray("x 4 0") << Kind::X << 3 << 0ull;
    QTest::newRow("x 5 0") << QByteArray("x 5 0") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("freq 2 1000000")
        << QByteArray("freq 2 1000000") << Kind::Freq << 1 << 1000000ull;
    QTest::newRow("freq 2 1000001") << QByteArray("freq 2 1000001") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("freq -1") << QByteArray("freq 2 -1") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("count 2^32-1") << QByteArray("count 1 4294967295") << Kind::Count << 0
                                  << 4294967295ull;
    QTest::newRow("count 2^32") << QByteArray("count 1 4294967296") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("count, huge") << QByteArray("count 1 99999999999999999999999") << Kind::Invalid
                                 << 0 << 0ull;
    QTest::newRow("count 12abc") << QByteArray("count 1 12abc") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("count, too many") << QByteArray("count 1 2 3") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("verbose on") << QByteArray("verbose on") << Kind::Verbose << 0 << 1ull;
    QTest::newRow("verbose maybe") << QByteArray("verbose maybe") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("help me") << QByteArray("help me") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("unknown") << QByteArray("reboot") << Kind::Invalid << 0 << 0ull;
    QTest::newRow("NUL and high bytes")
        << QByteArray("di\0\xff 1", 6) << Kind::Invalid << 0 << 0ull;
}

void TestSimControl::parses() {
    QFETCH(QByteArray, line);
    QFETCH(Kind, kind);
    QFETCH(int, index);
    QFETCH(quint64, value);
    const sim::Command c = sim::parseCommand(std::string_view(line.constData(), line.size()));
    QCOMPARE(c.kind, kind);
    if (kind == Kind::Invalid) {
        QVERIFY(!c.error.empty());
        return;
    }
    QCOMPARE(c.index, index);
    QCOMPARE(c.value, value);
}

void TestSimControl::garbageNeverCrashes() {
    ManualClock clock;
    sim::ModuleModel model(clock.clock());
    sim::ControlState state;
    QRandomGenerator random(7310);
    const QByteArray alphabet("dixfreqcountshowverbose quit0123456789-\t\xff");
    for (int i = 0; i < 20000; ++i) {
        QByteArray line(random.bounded(0, 40), Qt::Uninitialized);
        for (char& ch : line) {
            ch = random.bounded(3) == 0 ? char(random.bounded(256))
                                        : alphabet[random.bounded(alphabet.size())];
        }
        const sim::Command c = sim::parseCommand(std::string_view(line.constData(), line.size()));
        if (c.kind != Kind::Quit) {
            sim::applyCommand(c, model, state);
        }
    }
    QVERIFY(!state.quit);
}

void TestSimControl::commandsAct() {
    ManualClock clock;
    sim::ModuleModel model(clock.clock());
    sim::ControlState state;
    const auto run = [&](const char* line) {
        return QString::fromStdString(sim::applyCommand(sim::parseCommand(line), model, state));
    };
    QVERIFY(run("count 1 70000").startsWith("ok"));
    QCOMPARE(model.count32(0), 70000u);
    QCOMPARE(model.count16(0), quint16(70000 - 65536));
    QVERIFY(run("freq 3 0").startsWith("ok"));
    QCOMPARE(model.generatorHz(2), 0u);
    QVERIFY(run("x 2 1").startsWith("ok"));
    QVERIFY(model.manual(1));
    QVERIFY(model.pulseInput(1));
    QVERIFY(run("di 5 1").startsWith("ok"));
    QVERIFY(model.digitalInput(4));
    QVERIFY(run("verbose on").startsWith("ok"));
    QVERIFY(state.verbose);
    QVERIFY(run("bogus").startsWith("error:"));
    const QString shown = run("show");
    QVERIFY(shown.contains("mode 0"));
    QVERIFY(shown.contains("count32 70000"));
    QVERIFY(run("quit").isEmpty());
    QVERIFY(state.quit);
}

void TestSimControl::helpListsEveryCommand() {
    const QString help = QString::fromStdString(sim::helpText());
    for (const char* name : {"di", "x", "freq", "count", "show", "verbose", "help", "quit"}) {
        QVERIFY2(help.contains(QStringLiteral("  %1 ").arg(QLatin1String(name))), name);
    }
}

void TestSimControl::options_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QChar>("parity");
    // Drop, late P:MS, seed, stamp; empty for the defaults.
    QTest::addColumn<QString>("faults");
    QTest::newRow("defaults") << QStringList{} << true << 1 << 9600 << QChar('E') << QString();
    QTest::newRow("all") << QStringList{"--address", "17",     "--baud", "38400", "--parity",
                                        "none",      "--pace", "--link", "/tmp/x"}
                         << true << 17 << 38400 << QChar('N') << QString();
    QTest::newRow("odd") << QStringList{"--parity", "odd"} << true << 1 << 9600 << QChar('O')
                         << QString();
    QTest::newRow("address 0") << QStringList{"--address", "0"} << false << 0 << 0 << QChar()
                               << QString();
    QTest::newRow("address 248") << QStringList{"--address", "248"} << false << 0 << 0 << QChar()
                                 << QString();
    QTest::newRow("baud 4800") << QStringList{"--baud", "4800"} << false << 0 << 0 << QChar()
                               << QString();
    QTest::newRow("parity mark") << QStringList{"--parity", "mark"} << false << 0 << 0 << QChar()
                                 << QString();
    QTest::newRow("missing value")
        << QStringList{"--device"} << false << 0 << 0 << QChar() << QString();
    QTest::newRow("link with device") << QStringList{"--device", "/dev/ttyS0", "--link", "/tmp/x"}
                                      << false << 0 << 0 << QChar() << QString();
    QTest::newRow("unknown") << QStringList{"--fast"} << false << 0 << 0 << QChar() << QString();
    QTest::newRow("turnaround 150")
        << QStringList{"--turnaround", "150"} << true << 1 << 9600 << QChar('E') << QString();
    QTest::newRow("turnaround past 1 s")
        << QStringList{"--turnaround", "1001"} << false << 0 << 0 << QChar() << QString();
    QTest::newRow("faults") << QStringList{"--drop",    "0.05",   "--late",
                                           "0.25:3000", "--seed", "18446744073709551615",
                                           "--stamp"}
                            << true << 1 << 9600 << QChar('E')
                            << QString("0.05 0.25:3000 18446744073709551615 stamp");
    QTest::newRow("drop 1") << QStringList{"--drop", "1"} << true << 1 << 9600 << QChar('E')
                            << QString("1 0:0 1");
    QTest::newRow("seed 0") << QStringList{"--seed", "0"} << true << 1 << 9600 << QChar('E')
                            << QString("0 0:0 0");
    for (const char* bad : {"1.01", "-0.1", "nan", "5%", "1e-2", ""}) {
        QTest::newRow(qPrintable(QString("drop '%1'").arg(bad)))
            << QStringList{"--drop", bad} << false << 0 << 0 << QChar() << QString();
    }
    for (const char* bad : {"0.05", "0.05:0", "0.05:10001", "2:100", "0.05:3s", ":100"}) {
        QTest::newRow(qPrintable(QString("late '%1'").arg(bad)))
            << QStringList{"--late", bad} << false << 0 << 0 << QChar() << QString();
    }
    for (const char* option : {"--tcp", "--rtu-tcp"}) {
        QTest::newRow(option) << QStringList{option, "65536"} << false << 0 << 0 << QChar()
                              << QString();
    }
    for (const char* bad : {"-1", "18446744073709551616", "7x"}) {
        QTest::newRow(qPrintable(QString("seed '%1'").arg(bad)))
            << QStringList{"--seed", bad} << false << 0 << 0 << QChar() << QString();
    }
}

void TestSimControl::options() {
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(int, address);
    QFETCH(int, baud);
    QFETCH(QChar, parity);
    QFETCH(QString, faults);
    std::vector<std::string> storage;
    for (const QString& a : args) {
        storage.push_back(a.toStdString());
    }
    const std::vector<std::string_view> views(storage.begin(), storage.end());
    std::string error;
    const auto o = sim::parseOptions(views, error);
    QCOMPARE(o.has_value(), ok);
    if (!ok) {
        QVERIFY(!error.empty());
        return;
    }
    QCOMPARE(o->address, address);
    QCOMPARE(o->baud, baud);
    QCOMPARE(QChar(o->parity), parity);
    const sim::FaultSettings& f = o->faults;
    const QString parsed = QString("%1 %2:%3 %4%5")
                               .arg(f.dropProbability)
                               .arg(f.lateProbability)
                               .arg(f.lateMs)
                               .arg(f.seed)
                               .arg(o->stamp ? " stamp" : "");
    QCOMPARE(parsed, faults.isEmpty() ? QString("0 0:0 1") : faults);
}

QTEST_GUILESS_MAIN(TestSimControl)
#include "tst_sim_control.moc"
