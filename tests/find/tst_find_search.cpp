// The search's order and what it reports, on scripted ports.

#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>
#include <cerrno>

#include "LastLink.h"
#include "ModuleSearch.h"
#include "ScriptedLine.h"
#include "SearchThread.h"

using namespace finder;

using Ports = std::map<int, ScriptedPort>;
using Replies = std::map<QString, Answer>;
using Kinds = std::map<QString, Answer::Kind>;
Q_DECLARE_METATYPE(finder::LineSetting)
Q_DECLARE_METATYPE(Ports)
Q_DECLARE_METATYPE(Replies)
Q_DECLARE_METATYPE(Kinds)

namespace {

constexpr int kSearchMs = 10000;

LineSetting at(int baudCode, int parityCode) {
    return {baudCode, parityCode};
}

QString attemptText(const Attempt& a) {
    return QStringLiteral("%1@%2").arg(a.setting.text()).arg(a.address);
}

QString rowText(const Found& f) {
    static const char* kinds[] = {"silent", "module", "maybe",  "other",  "garbled",  "echo",
                                  "from",   "gone",   "cannot", "spoilt", "anywhere", "none"};
    const QString last = f.lastAddress != 0 ? QStringLiteral("-%1").arg(f.lastAddress) : QString();
    return QStringLiteral("%1 %2@%3%4 %5")
        .arg(f.port)
        .arg(f.setting.text())
        .arg(f.address)
        .arg(last, QLatin1String(kinds[f.kind]));
}

Answer reply(Answer::Kind kind, int otherAddress = 0, int strayBytes = 0, int exception = 0) {
    Answer a;
    a.kind = kind;
    a.otherAddress = otherAddress;
    a.strayBytes = strayBytes;
    a.exceptionCode = exception;
    a.points.outcome = exception != 0 ? TQ7310_EXCEPTION : TQ7310_OK;
    a.points.fits = exception != 0 || kind == Answer::MaybeModule ? 0 : 1;
    return a;
}

// Runs a search on one port at 19200,E over addresses 1..8; the rows as
// they stand at its end.
QStringList searchOne(ScriptedLine& line) {
    ModuleSearch search(line);
    QStringList rows;
    QObject::connect(&search, &ModuleSearch::found, [&](const Found& f) { rows << rowText(f); });
    QObject::connect(&search, &ModuleSearch::grown, [&](const Found& f) {
        rows.last() = rowText(f);  // only the latest row grows
    });
    QSignalSpy finished(&search, &ModuleSearch::finished);
    search.start({{1}, {at(2, 2)}, at(2, 2), 1, 8});
    if (!finished.wait(kSearchMs)) {
        rows << QStringLiteral("not finished");
    }
    return rows;
}

// Holds the third probe until the test lets it go; notes where probes ran.
class HeldLine : public ScriptedLine {
  public:
    QSemaphore held;
    QSemaphore letGo;
    QThread* probedOn = nullptr;

    Answer probe(int port, int address, const LineSetting& setting, Wait wait) override {
        probedOn = QThread::currentThread();
        if (probes().size() == 2) {
            held.release();
            letGo.tryAcquire(1, kSearchMs);
        }
        return ScriptedLine::probe(port, address, setting, wait);
    }
};

enum class Ending { ToTheEnd, Stop, StopAndWait };

}  // namespace

Q_DECLARE_METATYPE(Ending)

class tst_FindSearch : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void lastLinkKept_data();
    void lastLinkKept();
    void order_data();
    void order();
    void rows_data();
    void rows();
    void signsOfLife_data();
    void signsOfLife();
    void networkTargets_data();
    void networkTargets();
    void stopEndsAtOnce();
    void opensOncePerSetting();
    void onItsOwnThread_data();
    void onItsOwnThread();
};

void tst_FindSearch::lastLinkKept_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<LineSetting>("setting");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("kept");
    QTest::newRow("a link that answered") << 3 << at(3, 1) << 247 << true;
    QTest::newRow("lowest of each") << 1 << at(1, 0) << 1 << true;
    QTest::newRow("port 0") << 0 << at(1, 0) << 1 << false;
    QTest::newRow("port 256") << 256 << at(1, 0) << 1 << false;
    QTest::newRow("baud code 4") << 1 << at(4, 0) << 1 << false;
    QTest::newRow("parity code 3") << 1 << at(1, 3) << 1 << false;
    QTest::newRow("address 0") << 1 << at(1, 0) << 0 << false;
    QTest::newRow("address 248") << 1 << at(1, 0) << 248 << false;
}

void tst_FindSearch::lastLinkKept() {
    QFETCH(int, port);
    QFETCH(LineSetting, setting);
    QFETCH(int, address);
    QFETCH(bool, kept);
    const LastLink link{port, setting, address};
    saveLastLink(link);
    QCOMPARE(loadLastLink(), kept ? std::optional(link) : std::nullopt);
}

void tst_FindSearch::order_data() {
    QTest::addColumn<LineSetting>("current");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("allChosen");
    QTest::addColumn<QStringList>("head");  // the first attempts
    QTest::addColumn<int>("total");
    QTest::addColumn<LineSetting>("lastSetting");  // where a link answered last
    QTest::addColumn<int>("lastAddress");          // 0: none; below 0: on port 2

    QTest::newRow("window's setting and address lead")
        << at(1, 2) << 3 << true << QStringList{"9600,E@3", "9600,E@1", "9600,E@2", "9600,E@4"}
        << 9 * 247 << at(1, 2) << 0;
    QTest::newRow("then 1..16 at the next setting")
        << at(2, 0) << 1 << true << QStringList{"19200,N@1", "19200,N@2"} << 9 * 247 << at(1, 2)
        << 0;
    QTest::newRow("window's setting not chosen: it does not lead")
        << at(3, 1) << 5 << false << QStringList{"9600,N@1", "9600,N@2"} << 2 * 247 << at(1, 2)
        << 0;
    QTest::newRow("address beyond the list still leads")
        << at(1, 0) << 200 << false << QStringList{"9600,N@200", "9600,N@1"} << 2 * 247 << at(1, 2)
        << 0;
    QTest::newRow("the last link that answered follows the window's")
        << at(1, 2) << 3 << true << QStringList{"9600,E@3", "19200,N@9", "9600,E@1"} << 9 * 247
        << at(2, 0) << 9;
    QTest::newRow("the last link the window's own: asked once")
        << at(1, 2) << 3 << true << QStringList{"9600,E@3", "9600,E@1"} << 9 * 247 << at(1, 2) << 3;
    QTest::newRow("the last link at a setting not chosen: not asked")
        << at(1, 0) << 1 << false << QStringList{"9600,N@1", "9600,N@2"} << 2 * 247 << at(3, 2)
        << 9;
    QTest::newRow("the last link leads when the window's setting is not chosen")
        << at(3, 1) << 5 << false << QStringList{"19200,E@9", "9600,N@1"} << 2 * 247 << at(2, 2)
        << 9;
    QTest::newRow("the last link on another port: not asked on this one")
        << at(1, 2) << 3 << true << QStringList{"9600,E@3", "9600,E@1"} << 9 * 247 << at(2, 0)
        << -9;
}

void tst_FindSearch::order() {
    QFETCH(LineSetting, current);
    QFETCH(int, address);
    QFETCH(bool, allChosen);
    QFETCH(QStringList, head);
    QFETCH(int, total);
    QFETCH(LineSetting, lastSetting);
    QFETCH(int, lastAddress);
    const std::vector<LineSetting> chosen =
        allChosen ? allSettings() : std::vector<LineSetting>{at(1, 0), at(2, 2)};
    const std::optional<Attempt> remembered =
        lastAddress > 0 ? std::optional(Attempt{lastSetting, lastAddress}) : std::nullopt;
    const std::vector<Attempt> order =
        searchOrder(current, address, chosen, module_line::kLastAddress, remembered);

    QCOMPARE(static_cast<int>(order.size()), total);
    for (int i = 0; i < head.size(); ++i) {
        QCOMPARE(attemptText(order[static_cast<std::size_t>(i)]), head[i]);
    }
    // The search asks in that order.
    ScriptedLine line;
    ModuleSearch search(line);
    QSignalSpy finished(&search, &ModuleSearch::finished);
    Scope scope{{1}, chosen, current, address, module_line::kLastAddress};
    scope.rememberedPort = lastAddress > 0 ? 1 : 2;
    scope.remembered = lastSetting;
    scope.rememberedAddress = std::abs(lastAddress);
    search.start(scope);
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

    ScriptedPort cannot;
    cannot.answers = {{"9600,E@1", Answer::CannotProbe}};
    QTest::newRow("library cannot probe: said, search ends")
        << Ports{{1, cannot}, {2, next}} << QStringList{} << QStringLiteral("不能查找");
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
    // The bar moves by probes: never back, never past its end, full at the end.
    int done = 0;
    int total = 0;
    connect(&search, &ModuleSearch::progress, [&](int d, int t) {
        QVERIFY(d >= done && d <= t);
        done = d;
        total = t;
    });
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
    if (note != QStringLiteral("不能查找")) {
        QCOMPARE(done, line.calls.filter(QRegularExpression("^(probe|patient) ")).size());
        QCOMPARE(done, total);
    }
    QCOMPARE(notes.size(), note.isEmpty() ? 0 : 1);
    if (!note.isEmpty()) {
        QVERIFY2(notes.first().contains(note) && notes.first().startsWith(QStringLiteral("端口1")),
                 qPrintable(notes.first()));
    }
    // Every port the search opened it closed again.
    QSet<QString> opened;
    for (const QString& call : line.calls.filter(QStringLiteral("open "))) {
        opened.insert(call.section(QLatin1Char(' '), 1, 1));
    }
    QCOMPARE(line.calls.filter(QStringLiteral("close ")).size(), opened.size());
    QVERIFY(line.calls.last().startsWith(QStringLiteral("close ")));
}

void tst_FindSearch::signsOfLife_data() {
    QTest::addColumn<Replies>("replies");  // the first fast probe of an attempt
    QTest::addColumn<Kinds>("answers");    // every fast probe
    QTest::addColumn<Kinds>("patient");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("second");  // asked patiently, then asked fast again

    QTest::newRow("bytes waiting after silent probes: latest first, until one answers")
        << Replies{{"19200,E@4", reply(Answer::Silent, 0, 12)}} << Kinds{}
        << Kinds{{"19200,E@2", Answer::Module}} << QStringList{"1 19200,E@2 module"}
        << QStringList{"patient 1 19200,E@3", "patient 1 19200,E@2"};
    QTest::newRow("a frame from an address asked before: that one, then ask again")
        << Replies{{"19200,E@6", reply(Answer::OtherAddress, 3)}} << Kinds{}
        << Kinds{{"19200,E@3", Answer::Module}} << QStringList{"1 19200,E@3 module"}
        << QStringList{"patient 1 19200,E@3", "probe 1 19200,E@6"};
    QTest::newRow("the last address asked again, silent: looked back at before leaving")
        << Replies{{"19200,E@8", reply(Answer::OtherAddress, 3)}} << Kinds{}
        << Kinds{{"19200,E@3", Answer::Module}} << QStringList{"1 19200,E@3 module"}
        << QStringList{"patient 1 19200,E@3", "probe 1 19200,E@8", "patient 1 19200,E@8"};
    QTest::newRow("a frame from an unknown address: latest first")
        << Replies{{"19200,E@4", reply(Answer::OtherAddress)}} << Kinds{}
        << Kinds{{"19200,E@3", Answer::MaybeModule}} << QStringList{"1 19200,E@3 maybe"}
        << QStringList{"patient 1 19200,E@3", "probe 1 19200,E@4"};
    QTest::newRow("bytes without a frame after a silent probe: the previous address")
        << Replies{{"19200,E@4", reply(Answer::Garbled)}} << Kinds{}
        << Kinds{{"19200,E@3", Answer::Module}} << QStringList{"1 19200,E@3 module"}
        << QStringList{"patient 1 19200,E@3", "probe 1 19200,E@4"};
    QTest::newRow("bytes without a frame, and nobody late: wrong baud or parity")
        << Replies{} << Kinds{{"19200,E@4", Answer::Garbled}} << Kinds{}
        << QStringList{"1 19200,E@0 garbled"}
        << QStringList{"patient 1 19200,E@3", "probe 1 19200,E@4"};
    QTest::newRow("bytes without a frame at the first address: nobody to ask again")
        << Replies{} << Kinds{{"19200,E@1", Answer::Garbled}} << Kinds{}
        << QStringList{"1 19200,E@0 garbled"} << QStringList{};
    QTest::newRow("a frame from an address never asked: another device")
        << Replies{{"19200,E@1", reply(Answer::OtherAddress, 9)}} << Kinds{} << Kinds{}
        << QStringList{"1 19200,E@9 from"} << QStringList{};
    QTest::newRow("a later block without a reply: the same address, patiently")
        << Replies{{"19200,E@4", reply(Answer::MaybeModule)}} << Kinds{}
        << Kinds{{"19200,E@4", Answer::Module}} << QStringList{"1 19200,E@4 module"}
        << QStringList{"patient 1 19200,E@4", "probe 1 19200,E@5"};
    Replies gateway;
    for (int a = 1; a <= 8; ++a) {
        gateway[QStringLiteral("19200,E@%1").arg(a)] =
            reply(Answer::OtherDevice, 0, 0, a == 5 ? 0x02 : 0x0B);
    }
    Answer laterRefused = reply(Answer::OtherDevice);
    laterRefused.exceptionCode = 0x02;  // its first block read back
    QTest::newRow("two devices whose later blocks are refused alike stay two rows")
        << Replies{{"19200,E@1", laterRefused}, {"19200,E@2", laterRefused}} << Kinds{} << Kinds{}
        << QStringList{"1 19200,E@1 other", "1 19200,E@2 other"} << QStringList{};
    QTest::newRow("alike exception replies make one row")
        << gateway << Kinds{} << Kinds{}
        << QStringList{"1 19200,E@1-4 other", "1 19200,E@5 other", "1 19200,E@6-8 other"}
        << QStringList{};
}

void tst_FindSearch::signsOfLife() {
    QFETCH(Replies, replies);
    QFETCH(Kinds, answers);
    QFETCH(Kinds, patient);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, second);
    ScriptedLine line;
    line.ports[1].replies = replies;
    line.ports[1].answers = answers;
    line.ports[1].patient = patient;
    QCOMPARE(searchOne(line), rows);
    QStringList asked = line.calls.filter(QRegularExpression("^(probe|patient) "));
    // What follows the first patient probe, up to the next address in order.
    const auto first = asked.indexOf(QRegularExpression("patient .*"));
    asked = first < 0 ? QStringList{} : asked.mid(first, second.size());
    QCOMPARE(asked, second);
    // Besides the look back at the last address when the pass ends silent.
    QStringList patients = line.calls.filter(QRegularExpression("^patient "));
    const QString lookBack = QStringLiteral("patient 1 19200,E@8");
    if (line.calls.size() > 1 && line.calls[line.calls.size() - 2] == lookBack &&
        !second.endsWith(lookBack)) {
        patients.removeLast();
    }
    QCOMPARE(patients.size(), second.filter(QStringLiteral("patient ")).size());
}

void tst_FindSearch::networkTargets_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("firstUnit");
    QTest::addColumn<int>("lastUnit");
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<int>("firstAsked");  // every address from it to lastAsked, once, at 19200,E
    QTest::addColumn<int>("lastAsked");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("said");  // how the search says it searches, or its note

    Replies gateway;
    for (int unit = 1; unit <= 3; ++unit) {
        gateway[QStringLiteral("19200,E@%1").arg(unit)] = reply(Answer::NoDevice, 0, 0, 0x0B);
    }
    gateway["19200,E@4"] = reply(Answer::Module);
    QTest::newRow("Modbus TCP: every unit id, no baud rate or parity")
        << "tcp:192.168.1.20" << 1 << 247 << Replies{} << 1 << 247 << QStringList{}
        << "端口1：在 tcp 192.168.1.20:502 上查找单元 1–247";
    QTest::newRow("Modbus TCP: the units asked for")
        << "tcp:[fe80::1]:1502" << 10 << 20 << Replies{} << 10 << 20 << QStringList{}
        << "端口1：在 tcp [fe80::1]:1502 上查找单元 10–20";
    QTest::newRow("a gateway's 0B for empty units: no device there, one row")
        << "tcp:gw" << 1 << 8 << gateway << 1 << 8
        << QStringList{"1 19200,E@1-3 none", "1 19200,E@4 module"} << "单元 1–8";
    QTest::newRow("RTU over TCP: the addresses at the window's setting alone")
        << "rtu-tcp:10.0.0.5:4001" << 1 << 8 << Replies{} << 1 << 20 << QStringList{}
        << "端口1：在 rtu-tcp 10.0.0.5:4001 上以串口服务器那一侧的 19200,E 查找地址 1–20";
    QTest::newRow("written wrongly: said, not asked")
        << "tcp:host:0" << 1 << 247 << Replies{} << 1 << 0 << QStringList{} << "TQ7310_COM1 的值";
}

void tst_FindSearch::networkTargets() {
    QFETCH(QString, target);
    QFETCH(int, firstUnit);
    QFETCH(int, lastUnit);
    QFETCH(Replies, replies);
    QFETCH(int, firstAsked);
    QFETCH(int, lastAsked);
    QFETCH(QStringList, rows);
    QFETCH(QString, said);
    ScriptedLine line;
    line.ports[1].target = target;
    line.ports[1].replies = replies;
    ModuleSearch search(line);
    QStringList found;
    QStringList told;
    connect(&search, &ModuleSearch::found, [&](const Found& f) { found << rowText(f); });
    connect(&search, &ModuleSearch::grown, [&](const Found& f) { found.last() = rowText(f); });
    connect(&search, &ModuleSearch::searching, [&](int, bool, const QString& how) { told << how; });
    connect(&search, &ModuleSearch::note, [&](const QString& note) { told << note; });
    QSignalSpy finished(&search, &ModuleSearch::finished);
    Scope scope{{1}, allSettings(), at(2, 2), 1, 20};
    scope.firstUnit = firstUnit;
    scope.lastUnit = lastUnit;
    search.start(scope);
    QVERIFY(finished.wait(kSearchMs));
    QStringList asked;
    for (int address = firstAsked; address <= lastAsked; ++address) {
        asked << QStringLiteral("probe 1 19200,E@%1").arg(address);
    }
    QCOMPARE(line.probes(), asked);
    QCOMPARE(line.calls.filter(QStringLiteral("open ")).size(), asked.isEmpty() ? 0 : 1);
    QCOMPARE(found, rows);
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first().contains(said), qPrintable(told.first()));
}

void tst_FindSearch::stopEndsAtOnce() {
    ScriptedLine line;
    line.ports[1].answers = {{"9600,E@1", Answer::Garbled}};
    ModuleSearch search(line);
    QSignalSpy finished(&search, &ModuleSearch::finished);
    QSignalSpy found(&search, &ModuleSearch::found);
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
    // Started again, it tells again what the stopped one told.
    search.start(scope);
    QVERIFY(finished.wait(kSearchMs));
    QCOMPARE(found.size(), 2);
}

void tst_FindSearch::opensOncePerSetting() {
    ScriptedLine line;
    ModuleSearch search(line);
    QSignalSpy finished(&search, &ModuleSearch::finished);
    search.start({{1}, {at(1, 0), at(2, 2)}, at(2, 2), 2, 2});
    QVERIFY(finished.wait(kSearchMs));
    // A pass that ends silent asks its last address again, patiently, before
    // the port leaves its setting.
    QCOMPARE(line.calls, (QStringList{"open 1 19200,E", "probe 1 19200,E@2", "probe 1 19200,E@1",
                                      "patient 1 19200,E@1", "open 1 9600,N", "probe 1 9600,N@1",
                                      "probe 1 9600,N@2", "patient 1 9600,N@2", "close 1"}));
}

void tst_FindSearch::onItsOwnThread_data() {
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QStringList>("told");  // what reached this thread, in order
    QTest::newRow("to the end") << Ending::ToTheEnd
                                << QStringList{"found 1 9600,E@5 module",
                                               "found 1 19200,E@2 module", "finished 0"};
    QTest::newRow("停止 during a probe") << Ending::Stop << QStringList{"finished 1"};
    QTest::newRow("关闭 during a probe") << Ending::StopAndWait << QStringList{"finished 1"};
}

void tst_FindSearch::onItsOwnThread() {
    QFETCH(Ending, ending);
    QFETCH(QStringList, told);
    HeldLine line;
    line.ports[1].answers = {{"9600,E@5", Answer::Module}, {"19200,E@2", Answer::Module}};
    SearchThread thread(line);
    QStringList heard;
    connect(&thread.search(), &ModuleSearch::found, this,
            [&](const Found& f) { heard << "found " + rowText(f); });
    connect(&thread.search(), &ModuleSearch::finished, this,
            [&](bool stopped) { heard << QStringLiteral("finished %1").arg(stopped); });
    thread.start({{1}, {at(1, 2), at(2, 2)}, at(1, 2), 1, 8});
    // This thread is free while a probe waits on the search's.
    QVERIFY(line.held.tryAcquire(1, kSearchMs));
    QVERIFY(thread.running());
    if (ending != Ending::ToTheEnd) {
        thread.stop();  // comes during the probe
    }
    line.letGo.release();
    if (ending == Ending::StopAndWait) {
        thread.stopAndWait();
        QVERIFY(!thread.running());
        QCOMPARE(line.calls.last(), QStringLiteral("close 1"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(heard.filter(QStringLiteral("finished")).size() == 1, kSearchMs);
    QCOMPARE(heard, told);
    QVERIFY(line.probedOn != QThread::currentThread());
    // The probe under way when the stop came was the last one.
    QCOMPARE(line.calls.last(), QStringLiteral("close 1"));
    if (ending != Ending::ToTheEnd) {
        QCOMPARE(line.probes().size(), 3);
    }
}

QTEST_GUILESS_MAIN(tst_FindSearch)
#include "tst_find_search.moc"
