// Rows in turns: the order they ask in on a simulated clock, each read
// taking its row's time (a time-out the longest).
#include <QtTest>
#include <numeric>

#include "RowTurns.h"

using Millis = QList<int>;

class tst_AnyPointTurns : public QObject {
    Q_OBJECT
  private slots:
    void order_data();
    void order();
};

void tst_AnyPointTurns::order_data() {
    QTest::addColumn<Millis>("periods");  // 0: off
    QTest::addColumn<Millis>("takes");    // how long each row's read takes
    QTest::addColumn<QString>("asks");    // the first eight, by row

    QTest::newRow("four rows at 1 s")
        << Millis{1000, 1000, 1000, 1000} << Millis{50, 50, 50, 50} << "01230123";
    QTest::newRow("a row timing out waits its turn")
        << Millis{1000, 1000, 1000} << Millis{500, 50, 50} << "01201201";
    QTest::newRow("a row off never asks") << Millis{0, 1000} << Millis{50, 50} << "11111111";
    QTest::newRow("a fast row does not starve a slow one")
        << Millis{500, 2000} << Millis{100, 100} << "01000010";
    QTest::newRow("due longest first, not lowest")
        << Millis{300, 300} << Millis{400, 400} << "01010101";
}

void tst_AnyPointTurns::order() {
    QFETCH(Millis, periods);
    QFETCH(Millis, takes);
    QFETCH(QString, asks);
    std::vector<anypoint::RowClock> rows;
    for (int period : periods) {
        rows.push_back({period, std::nullopt});
    }
    QString asked;
    std::int64_t now = 0;
    while (asked.size() < asks.size()) {
        if (const auto row = anypoint::nextRow(rows, now)) {
            asked += QString::number(*row);
            // No row waits longer than its period and one read of every row.
            if (rows[*row].askedAtMs) {
                QVERIFY(now - *rows[*row].askedAtMs <=
                        rows[*row].periodMs + std::accumulate(takes.begin(), takes.end(), 0));
            }
            rows[*row].askedAtMs = now;
            now += takes[static_cast<qsizetype>(*row)];
        } else {
            const auto wait = anypoint::msUntilDue(rows, now);
            QVERIFY(wait && *wait > 0);
            now += *wait;
        }
    }
    QCOMPARE(asked, asks);
}

QTEST_GUILESS_MAIN(tst_AnyPointTurns)
#include "tst_anypoint_turns.moc"
