// The search's order and what it reports, on scripted ports.

#include <QSignalSpy>
#include <QtTest>
#include <cerrno>

#include "ModuleSearch.h"
#include "ScriptedLine.h"

using namespace finder;

using Ports = std::map<int, ScriptedPort>;
Q_DECLARE_METATYPE(finder::LineSetting)
Q_DECLARE_METATYPE(Ports)

namespace {

constexpr int kSearchMs = 10000;

LineSetting at(int baudCode, int parityCode) {
    return {baudCode, parityCode};
}

QString attemptText(const Attempt& a) {
    return QStringLiteral("%1@%2").arg(a.setting.text()).arg(a.address);
}

QString rowText(const Found& f) {
    static const char* kinds[] = {"silent", "module", "other", "garbled", "gone"};
    return QStringLiteral("%1 %2@%3 %4")
        .arg(f.port)
        .arg(f.setting.text())
        .arg(f.address)
        .arg(QLatin1String(kinds[f.kind]));
}

}  // namespace

class tst_FindSearch : public QObject {
    Q_OBJECT
  private slots:
    void order_data();
    void order();
    void rows_data();
    void rows();
    void stopEndsAtOnce();
    void opensOncePerSetting();
};

void tst_FindSearch::order_data() {
    QTest::addColumn<LineSetting>("current");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("allChosen");
    QTest::addColumn<QStringList>("head");  // the first attempts
    QTest::addColumn<int>("total");

    QTest::newRow("window's setting and address lead")
        << at(1, 2) << 3 << true << QStringList{"9600,E@3", "9600,E@1", "9600,E@2", "9600,E@4"}
        << 9 * 247;
    QTest::newRow("then 1..16 at the next setting")
        << at(2, 0) << 1 << true << QStringList{"19200,N@1", "19200,N@2"} << 9 * 247;
    QTest::newRow("window's setting not chosen: it does not lead")
        << at(3, 1) << 5 << false << QStringList{"9600,N@1", "9600,N@2"} << 2 * 247;
    QTest::newRow("address beyond the list still leads")
        << at(1, 0) << 200 << false << QStringList{"9600,N@200", "9600,N@1"} << 2 * 247;
}

void tst_FindSearch::order() {
    QFETCH(LineSetting, current);
    QFETCH(int, address);
    QFETCH(bool, allChosen);
    QFETCH(QStringList, head);
    QFETCH(int, total);
    const std::vector<LineSetting> chosen =
        allChosen ? allSettings() : std::vector<LineSetting>{at(1, 0), at(2, 2)};
    const std::vector<Attempt> order = searchOrder(current, address, chosen);

    QCOMPARE(static_cast<int>(order.size()), total);
    for (int i = 0; i < head.size(); ++i) {
        QCOMPARE(attemptText(order[static_cast<std::size_t>(i)]), head[i]);
    }
    // The search asks in that order.
    ScriptedLine line;
    ModuleSearch search(line);
    QSignalSpy finished(&search, &ModuleSearch::finished);
    search.start({{1}, chosen, current, address, module_line::kLastAddress});
    QVERIFY(finished.wait(kSearchMs));
    QStringList asked;
    for (const Attempt& a : order) {
        asked << QStringLiteral("probe 1 ") + attemptText(a);
    }
    QCOMPARE(line.probes(), asked);
    // Every attempt once, and the usual addresses at every setting before
    // any of the others.
    QSet<QString> seen;
    bool pastUsual = false;
    for (std::size_t i = 1; i < order.size(); ++i) {
        QVERIFY(!seen.contains(attemptText(order[i])));
        seen.insert(attemptText(order[i]));
        pastUsual = pastUsual || order[i].address > module_line::kListedAddresses;
        QVERIFY2(!(pastUsual && order[i].address <= module_line::kListedAddresses),
                 qPrintable(attemptText(order[i])));
    }
}

void tst_FindSearch::rows_data() {
    QTest::addColumn<Ports>("ports");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("note");  // a word every note of the search has; empty: no note

    ScriptedPort module19200;
    module19200.answers = {{"19200,E@7", Answer::Module}};
    QTest::newRow("module at 19200,E address 7")
        << Ports{{1, module19200}} << QStringList{"1 19200,E@7 module"} << QString();

    ScriptedPort shared;
    shared.answers = {{"9600,N@2", Answer::OtherDevice}, {"9600,N@5", Answer::Module}};
    QTest::newRow("search goes on after a find")
        << Ports{{1, shared}} << QStringList{"1 9600,N@2 other", "1 9600,N@5 module"} << QString();

    ScriptedPort noisy;
    for (int a = 1; a <= 20; ++a) {
        noisy.answers[QStringLiteral("38400,O@%1").arg(a)] = Answer::Garbled;
    }
    QTest::newRow("garbled bytes noted once per setting")
        << Ports{{1, noisy}} << QStringList{"1 38400,O@0 garbled"} << QString();

    ScriptedPort locked;
    locked.openError = EACCES;
    ScriptedPort next;
    next.answers = {{"9600,E@1", Answer::Module}};
    QTest::newRow("no permission: said, next port searched")
        << Ports{{1, locked}, {2, next}} << QStringList{"2 9600,E@1 module"}
        << QStringLiteral("没有权限");

    ScriptedPort vanishing;
    vanishing.goneAfter = 5;
    QTest::newRow("device gone: said, next port searched")
        << Ports{{1, vanishing}, {2, next}} << QStringList{"2 9600,E@1 module"}
        << QStringLiteral("设备不见了");
}

void tst_FindSearch::rows() {
    QFETCH(Ports, ports);
    QFETCH(QStringList, rows);
    QFETCH(QString, note);
    ScriptedLine line;
    line.ports = ports;
    ModuleSearch search(line);
    QStringList found;
    QStringList notes;
    connect(&search, &ModuleSearch::found, [&](const Found& f) { found << rowText(f); });
    connect(&search, &ModuleSearch::note, [&](const QString& n) { notes << n; });
    QSignalSpy finished(&search, &ModuleSearch::finished);
    Scope scope;
    for (const auto& port : ports) {
        scope.ports.push_back(port.first);
    }
    scope.settings = allSettings();
    scope.current = at(1, 2);
    scope.lastAddress = 20;
    search.start(scope);

    QVERIFY(finished.wait(kSearchMs));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(found, rows);
    QCOMPARE(notes.size(), note.isEmpty() ? 0 : 1);
    if (!note.isEmpty()) {
        QVERIFY2(notes.first().contains(note) && notes.first().startsWith(QStringLiteral("端口1")),
                 qPrintable(notes.first()));
    }
    // Every port the search opened it closed again.
    QCOMPARE(line.calls.last(), QStringLiteral("close %1").arg(scope.ports.back()));
}

void tst_FindSearch::stopEndsAtOnce() {
    ScriptedLine line;
    ModuleSearch search(line);
    QSignalSpy finished(&search, &ModuleSearch::finished);
    connect(&search, &ModuleSearch::trying, &search, [&](int, const LineSetting&, int) {
        if (line.probes().size() == 2) {
            QTimer::singleShot(0, &search, &ModuleSearch::stop);
        }
    });
    Scope scope{{1}, allSettings(), at(1, 2), 1, module_line::kLastAddress};
    search.start(scope);
    QVERIFY(finished.wait(kSearchMs));
    QCOMPARE(finished.first().first().toBool(), true);
    // The probe under way when "停止" came was the last one.
    QCOMPARE(line.probes().size(), 3);
    QCOMPARE(line.calls.last(), QStringLiteral("close 1"));
    QVERIFY(!search.running());
}

void tst_FindSearch::opensOncePerSetting() {
    ScriptedLine line;
    ModuleSearch search(line);
    QSignalSpy finished(&search, &ModuleSearch::finished);
    search.start({{1}, {at(1, 0), at(2, 2)}, at(2, 2), 2, 2});
    QVERIFY(finished.wait(kSearchMs));
    QCOMPARE(line.calls,
             (QStringList{"open 1 19200,E", "probe 1 19200,E@2", "probe 1 19200,E@1",
                          "open 1 9600,N", "probe 1 9600,N@1", "probe 1 9600,N@2", "close 1"}));
}

QTEST_GUILESS_MAIN(tst_FindSearch)
#include "tst_find_search.moc"
