#include <QTest>

#include "PanelFixture.h"
#include "StatusPoll.h"

namespace {
const Rgb kPaleCyan{192, 255, 255};
const Rgb kGreen{0, 255, 0};
const Rgb kYellow{255, 255, 0};
const Rgb kPaleRed{255, 192, 192};
const QString kUnwritten = "unwritten";
}  // namespace

Q_DECLARE_METATYPE(Rgb)

class tst_StatusPoll : public QObject, PanelFixture {
    Q_OBJECT
  private slots:
    void init();
    void inputs_data();
    void inputs();
    void outputs_data();
    void outputs();
    void dByte_data();
    void dByte();
    void dateAndTimeComeFirst();
    void readsTakePortAndAddressFromLinkParam();
    void failedReadsDrawFromOldBuffer();
    void missingLibraryStillRunsTick();
    void tickIsNeverNested();
    void tickPublished_data();
    void tickPublished();
};

void tst_StatusPoll::init() {
    reset();
}

// Inputs: element 0 and 1 of the status, and what each of the ten labels shows
// afterwards ("闭合"/"断开" or left unwritten).
void tst_StatusPoll::inputs_data() {
    QTest::addColumn<int>("element0");
    QTest::addColumn<int>("element1");
    QTest::addColumn<QString>("states");  // per label: c closed, o open, - untouched
    QTest::newRow("all open") << 0 << 0 << "oooooooooo";
    QTest::newRow("all eight closed") << 255 << 0 << "ccccccccoo";
    QTest::newRow("X1 and X3 closed") << 5 << 0 << "cocooooooo";
    QTest::newRow("DI6 closed") << 0 << 2 << "oooooooooc";
    QTest::newRow("bits 2..7 of element 1 ignored") << 0 << 252 << "oooooooooo";
    QTest::newRow("element 0 is 256: group A skipped") << 256 << 3 << "--------cc";
    QTest::newRow("element 0 is -1: group A skipped") << -1 << 1 << "--------co";
    QTest::newRow("element 1 out of range: group B skipped") << 8 << 300 << "oooco ooo--";
}

void tst_StatusPoll::inputs() {
    QFETCH(int, element0);
    QFETCH(int, element1);
    QFETCH(QString, states);
    states.remove(u' ');
    driver.inputBytes[0] = element0;
    driver.inputBytes[1] = element1;
    StatusPoll poll(linkParam, driver, window);
    poll.Timer1_Timer();
    const QStringList signal = {"X1", "X2", "X3", "X4", "DI1", "DI2", "DI3", "DI4", "DI5", "DI6"};
    for (int i = 0; i < 10; ++i) {
        const QString label = memberName("B_2R", i);
        const QChar state = states[i];
        if (state == u'-') {
            QVERIFY2(!window.captions.contains(label), qPrintable(label));
            QVERIFY(!window.colours.contains(label));
            continue;
        }
        const bool closed = state == u'c';
        QCOMPARE(window.captions.value(label), "输入" + signal[i] + (closed ? "闭合" : "断开"));
        QCOMPARE(window.colours.value(label), closed ? kGreen : kPaleCyan);
    }
}

void tst_StatusPoll::outputs_data() {
    QTest::addColumn<int>("coils");
    QTest::addColumn<QString>("states");
    QTest::newRow("Y1..Y4 closed") << 15 << "cccc";
    QTest::newRow("high bits only") << 240 << "oooo";
    QTest::newRow("Y2 closed, Y5 bit set") << 18 << "ocoo";
    QTest::newRow("out of range") << 256 << "----";
    QTest::newRow("negative") << -8888 << "----";
}

void tst_StatusPoll::outputs() {
    QFETCH(int, coils);
    QFETCH(QString, states);
    driver.coilBytes[0] = coils;
    StatusPoll poll(linkParam, driver, window);
    poll.Timer1_Timer();
    for (int i = 0; i < 4; ++i) {
        const QString label = memberName("B_1RW", i);
        if (states[i] == u'-') {
            QVERIFY(!window.captions.contains(label));
            continue;
        }
        const bool closed = states[i] == u'c';
        QCOMPARE(window.captions.value(label),
                 QStringLiteral("输出Y%1").arg(i + 1) + (closed ? "闭合" : "断开"));
        QCOMPARE(window.colours.value(label), closed ? kPaleRed : kYellow);
    }
    QVERIFY(!window.captions.contains("B_1RW(4)"));  // Y5 is never written
    QVERIFY(!window.colours.contains("B_1RW(4)"));
}

void tst_StatusPoll::dByte_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("bits");  // entries 0..7
    QTest::newRow("128") << 128 << "00000001";
    QTest::newRow("1") << 1 << "10000000";
    QTest::newRow("0") << 0 << "00000000";
    QTest::newRow("255") << 255 << "11111111";
    QTest::newRow("165") << 165 << "10100101";
}

void tst_StatusPoll::dByte() {
    QFETCH(int, value);
    QFETCH(QString, bits);
    StatusPoll poll(linkParam, driver, window);
    poll.BitBuf.fill(7);
    std::uint8_t argument = static_cast<std::uint8_t>(value);
    poll.D_Byte(argument);
    QCOMPARE(argument, static_cast<std::uint8_t>(value));
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(int(poll.BitBuf[i]), bits[i].digitValue());
    }
}

void tst_StatusPoll::dateAndTimeComeFirst() {
    const QDateTime at(QDate(2001, 3, 12), QTime(18, 42, 0));
    driver.available = false;  // module and library both absent
    QStringList order;
    window.onYield = [&] { order << QString("yield:%1").arg(window.captions.value("Label2(9)")); };
    StatusPoll poll(linkParam, driver, window, [at] { return at; });
    poll.Timer1_Timer();
    QCOMPARE(window.captions.value("Label2(9)"), "03-12-2001");
    QCOMPARE(window.captions.value("Label2(10)"), "18:42:00");
    QCOMPARE(order.first(), "yield:03-12-2001");
    QCOMPARE(window.yields, 2);
}

void tst_StatusPoll::readsTakePortAndAddressFromLinkParam() {
    linkParam[link_param::kPort] = 4;
    linkParam[link_param::kAddress] = 9;
    QStringList sequence;
    window.onYield = [&] { sequence << "yield"; };
    driver.onCall = [&](const QString& op) { sequence << op; };
    StatusPoll(linkParam, driver, window).Timer1_Timer();
    QCOMPARE(driver.calls, (QStringList{"Get_1X_B16(4,9,1)", "Get_0X_B16(4,9,1)"}));
    QCOMPARE(sequence, (QStringList{"yield", "Get_1X_B16", "yield", "Get_0X_B16"}));
}

void tst_StatusPoll::failedReadsDrawFromOldBuffer() {
    driver.readFailure = -8888;  // writes nothing
    StatusPoll poll(linkParam, driver, window);
    poll.InputBuf[0] = 1;
    poll.Timer1_Timer();
    QCOMPARE(window.captions.value("B_2R(0)"), "输入X1闭合");
    QCOMPARE(window.captions.value("B_1RW(0)"), "输出Y1断开");  // zeros before any read
}

void tst_StatusPoll::missingLibraryStillRunsTick() {
    driver.available = false;
    StatusPoll(linkParam, driver, window).Timer1_Timer();
    QCOMPARE(driver.calls.size(), 2);
    QCOMPARE(window.captions.value("B_2R(9)"), "输入DI6断开");
    QCOMPARE(window.captions.value("B_1RW(3)"), "输出Y4断开");
}

void tst_StatusPoll::tickIsNeverNested() {
    StatusPoll poll(linkParam, driver, window);
    int nested = 0;
    window.onYield = [&] {
        if (nested++ < 3) {
            poll.Timer1_Timer();  // a due tick arriving during our own yield
        }
    };
    poll.Timer1_Timer();
    QCOMPARE(driver.calls.size(), 2);  // the inner ticks were dropped
    poll.Timer1_Timer();               // and the next tick runs again
    QCOMPARE(driver.calls.size(), 4);
}

void tst_StatusPoll::tickPublished_data() {
    QTest::addColumn<QString>("failing");  // the read that does not answer
    QTest::newRow("both answer") << "";
    QTest::newRow("inputs fail") << "Get_1X_B16";
    QTest::newRow("coils fail") << "Get_0X_B16";
}

void tst_StatusPoll::tickPublished() {
    QFETCH(QString, failing);
    linkParam[link_param::kPort] = 3;
    linkParam[link_param::kAddress] = 9;
    driver.inputBytes[0] = 0b1000'0101;
    driver.inputBytes[1] = 0b10;
    driver.coilBytes[0] = 0b1001;
    driver.coilBytes[1] = 0b1;
    driver.onCall = [&](const QString& op) {
        driver.readFailure = op == failing ? std::optional(MODBUSRTU_FAILED) : std::nullopt;
    };
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(1'800'000'000'456);
    StatusPoll poll(linkParam, driver, window, [at] { return at; });
    std::vector<StatusTick> first, second;
    QObject::connect(&poll, &StatusPoll::tickShown, [&](const StatusTick& t) {
        QVERIFY(failing == "Get_0X_B16" || window.captions.contains("B_1RW(3)"));
        first.push_back(t);
    });
    QObject::connect(&poll, &StatusPoll::tickShown,
                     [&](const StatusTick& t) { second.push_back(t); });
    poll.Timer1_Timer();
    QCOMPARE(first.size(), 1u);
    QCOMPARE(second.size(), 1u);
    const StatusTick& tick = first[0];
    QCOMPARE(tick.time, at);
    QCOMPARE(tick.port, 3);
    QCOMPARE(tick.address, 9);
    QCOMPARE(tick.inputs, failing == "Get_1X_B16" ? std::optional<std::uint16_t>()
                                                  : std::optional<std::uint16_t>(0x0285));
    QCOMPARE(tick.coils, failing == "Get_0X_B16" ? std::optional<std::uint16_t>()
                                                 : std::optional<std::uint16_t>(0x0109));
}

QTEST_APPLESS_MAIN(tst_StatusPoll)
#include "tst_statuspoll.moc"
