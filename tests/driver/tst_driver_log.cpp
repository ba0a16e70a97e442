// A port's traffic log: numbered entries, the latest kept, a reader told how
// many it missed.
#include <QtTest>

#include "TrafficLog.h"

class TstDriverLog : public QObject {
    Q_OBJECT

  private slots:
    void readsAfter_data() {
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("first");  // sequence of the first copied, 0 for none
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("lost");
        constexpr int kKept = modbusrtu::TrafficLog::kCapacity;
        QTest::newRow("empty") << 0 << 0 << 10 << 0 << 0 << 0;
        QTest::newRow("all") << 5 << 0 << 10 << 1 << 5 << 0;
        QTest::newRow("after some") << 5 << 3 << 10 << 4 << 2 << 0;
        QTest::newRow("up to date") << 5 << 5 << 10 << 0 << 0 << 0;
        QTest::newRow("ahead of the log") << 5 << 9 << 10 << 0 << 0 << 0;
        QTest::newRow("room for fewer") << 5 << 0 << 2 << 1 << 2 << 0;
        QTest::newRow("no room") << 5 << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("full, nothing lost") << kKept << 0 << kKept << 1 << kKept << 0;
        QTest::newRow("wrapped") << kKept + 7 << 0 << kKept << 8 << kKept << 7;
        QTest::newRow("wrapped, read before") << kKept + 7 << 3 << 5 << 8 << 5 << 4;
        QTest::newRow("wrapped, read since") << kKept + 7 << 10 << 5 << 11 << 5 << 0;
    }

    void readsAfter() {
        QFETCH(int, added);
        QFETCH(int, after);
        QFETCH(int, capacity);
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(int, lost);
        modbusrtu::TrafficLog log;
        for (int i = 1; i <= added; ++i) {
            Tq7310Traffic entry{};
            entry.round_trip_us = i;
            QCOMPARE(log.add(entry), std::uint32_t(i));
        }
        std::vector<Tq7310Traffic> out(std::size_t(capacity) + 1);
        std::int32_t missed = -1;
        QCOMPARE(log.read(std::uint32_t(after), out.data(), capacity, &missed), count);
        QCOMPARE(missed, lost);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(int(out[i].sequence), first + i);
            QCOMPARE(out[i].round_trip_us, first + i);
        }
    }
};

QTEST_APPLESS_MAIN(TstDriverLog)
#include "tst_driver_log.moc"
