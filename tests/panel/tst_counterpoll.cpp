#include <QTest>

#include "CounterPoll.h"
#include "PanelFixture.h"

class tst_CounterPoll : public QObject, PanelFixture {
    Q_OBJECT
  private slots:
    void init();
    void values_data();
    void values();
    void readOrderAndYields();
    void configRegistersBeyondThirteenNeverShown();
    void failedReadShowsFailureInFirstLabel();
    void missingLibrarySkipsStores();
    void tickIsNeverNested();
    void tickPublished_data();
    void tickPublished();
};

void tst_CounterPoll::init() {
    reset();
}

void tst_CounterPoll::values_data() {
    QTest::addColumn<QString>("group");  // which module values to set
    QTest::addColumn<int>("element");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown");
    QTest::newRow("16-bit 65535") << "count16" << 1 << 65535 << "D_4R(1)"
                                  << "65535";
    QTest::newRow("16-bit zero") << "count16" << 3 << 0 << "D_4R(3)"
                                 << "0";
    QTest::newRow("X1 frequency") << "count32" << 4 << 120 << "D_4R32(4)"
                                  << "120";
    QTest::newRow("all bits set") << "count32" << 2 << -1 << "D_4R32(2)"
                                  << "-1";
    QTest::newRow("2^31") << "count32" << 7 << int(0x80000000u) << "D_4R32(7)"
                          << "-2147483648";
    QTest::newRow("largest positive") << "count32" << 0 << 2147483647 << "D_4R32(0)"
                                      << "2147483647";
    QTest::newRow("mode register") << "config" << 12 << 2 << "D_4R4(12)"
                                   << "2";
    QTest::newRow("preset") << "config" << 5 << 40000 << "D_4R4(5)"
                            << "40000";
}

void tst_CounterPoll::values() {
    QFETCH(QString, group);
    QFETCH(int, element);
    QFETCH(int, value);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    auto& values = group == "count16"   ? driver.count16
                   : group == "count32" ? driver.count32
                                        : driver.config;
    values[element] = value;
    CounterPoll(linkParam, driver, window).Timer2_Timer();
    QCOMPARE(window.captions.value(label), shown);
    // Every other label of the 25 shows 0.
    QCOMPARE(window.captions.size(), 25);
    for (auto it = window.captions.cbegin(); it != window.captions.cend(); ++it) {
        if (it.key() != label) {
            QCOMPARE(it.value(), "0");
        }
    }
}

void tst_CounterPoll::readOrderAndYields() {
    linkParam[link_param::kPort] = 2;
    linkParam[link_param::kAddress] = 7;
    QStringList sequence;
    driver.onCall = [&](const QString& op) { sequence << op; };
    window.onYield = [&] { sequence << QStringLiteral("yield(%1)").arg(window.captions.size()); };
    CounterPoll(linkParam, driver, window).Timer2_Timer();
    QCOMPARE(driver.calls, (QStringList{"Get_3X_UnDX(2,7,1,4)", "Get_3X_LUNDX(2,7,11,8)",
                                        "Get_4X_UnDX(2,7,1,16)"}));
    // Yields after the first read, after the second, and after showing it;
    // none after the third.
    QCOMPARE(sequence, (QStringList{"Get_3X_UnDX", "yield(0)", "Get_3X_LUNDX", "yield(4)",
                                    "yield(12)", "Get_4X_UnDX"}));
}

void tst_CounterPoll::configRegistersBeyondThirteenNeverShown() {
    for (int i = 13; i < 16; ++i) {
        driver.config[i] = 999;
    }
    CounterPoll(linkParam, driver, window).Timer2_Timer();
    for (const QString& caption : window.captions) {
        QVERIFY(caption != "999");
    }
    QVERIFY(!window.captions.contains("D_4R4(13)"));
}

void tst_CounterPoll::failedReadShowsFailureInFirstLabel() {
    CounterPoll poll(linkParam, driver, window);
    driver.count16 = {5, 6, 7, 8};
    poll.Timer2_Timer();
    driver.readFailure = -8888;
    poll.Timer2_Timer();
    QCOMPARE(window.captions.value("D_4R(0)"), "-8888");
    QCOMPARE(window.captions.value("D_4R(1)"), "6");  // left from the earlier read
    QCOMPARE(window.captions.value("D_4R32(0)"), "-8888");
    QCOMPARE(window.captions.value("D_4R32(1)"), "0");
    QCOMPARE(window.captions.value("D_4R4(0)"), "-8888");
}

void tst_CounterPoll::missingLibrarySkipsStores() {
    driver.available = false;
    CounterPoll poll(linkParam, driver, window);
    poll.Count16Buf[0] = 42;
    poll.Timer2_Timer();
    QCOMPARE(window.captions.value("D_4R(0)"), "42");
    QCOMPARE(window.captions.size(), 25);
}

void tst_CounterPoll::tickIsNeverNested() {
    CounterPoll poll(linkParam, driver, window);
    window.onYield = [&] { poll.Timer2_Timer(); };
    poll.Timer2_Timer();
    QCOMPARE(driver.calls.size(), 3);
}

void tst_CounterPoll::tickPublished_data() {
    QTest::addColumn<QString>("failing");  // the read that does not answer
    QTest::newRow("all answer") << "";
    QTest::newRow("16-bit counts fail") << "Get_3X_UnDX";
    QTest::newRow("32-bit values fail") << "Get_3X_LUNDX";
    QTest::newRow("configuration fails") << "Get_4X_UnDX";
}

void tst_CounterPoll::tickPublished() {
    QFETCH(QString, failing);
    linkParam[link_param::kPort] = 2;
    linkParam[link_param::kAddress] = 7;
    driver.count16 = {1, 2, 3, 4};
    driver.count32 = {10, 11, 12, 13, 14, 15, 16, -17};
    driver.config = {0, 1, 2, 0, 1, 500, 0, 0, 0, 0, 0, 0, 2, 7, 8, 9};
    driver.onCall = [&](const QString& op) {
        driver.readFailure = op == failing ? std::optional(MODBUSRTU_FAILED) : std::nullopt;
    };
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(1'800'000'000'123);
    CounterPoll poll(linkParam, driver, window, [at] { return at; });
    // Every onlooker gets the tick, once the window shows all of it.
    std::vector<CounterTick> first, second;
    QObject::connect(&poll, &CounterPoll::tickShown, [&](const CounterTick& t) {
        QCOMPARE(window.captions.size(), 25);
        first.push_back(t);
    });
    QObject::connect(&poll, &CounterPoll::tickShown,
                     [&](const CounterTick& t) { second.push_back(t); });
    poll.Timer2_Timer();
    QCOMPARE(first.size(), 1u);
    QCOMPARE(second.size(), 1u);
    const CounterTick& tick = first[0];
    QCOMPARE(tick.time, at);
    QCOMPARE(tick.port, 2);
    QCOMPARE(tick.address, 7);
    const auto values = [](const auto& read) {
        return read ? std::vector<std::int32_t>(read->begin(), read->end())
                    : std::vector<std::int32_t>();
    };
    const auto unless = [&](const char* op, const std::vector<std::int32_t>& v) {
        return failing == QLatin1String(op) ? std::vector<std::int32_t>() : v;
    };
    QCOMPARE(values(tick.count16), unless("Get_3X_UnDX", driver.count16));
    QCOMPARE(values(tick.count32), unless("Get_3X_LUNDX", driver.count32));
    QCOMPARE(values(tick.config), unless("Get_4X_UnDX", driver.config));
}

QTEST_APPLESS_MAIN(tst_CounterPoll)
#include "tst_counterpoll.moc"
