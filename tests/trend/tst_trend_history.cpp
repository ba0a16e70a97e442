// What the curves are drawn from: the history's spans, holes, steps and
// legend values, and the states a status tick stands for, without a window.

#include <QtTest>

#include "History.h"
#include "PointHistory.h"
#include "Scales.h"
#include "StretchText.h"

using namespace trend;

Q_DECLARE_METATYPE(ValueScale)

namespace {

// "0:5 1000:-" is a value of 5 at 0 ms and a read that failed at 1000 ms.
std::vector<Sample> samples(const QString& script) {
    std::vector<Sample> out;
    for (const QString& item : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char(':'));
        Sample s;
        s.ms = parts[0].toLongLong();
        if (parts[1] != QLatin1String("-")) {
            s.frequency[1] = parts[1].toInt();
        }
        out.push_back(s);
    }
    return out;
}

// "0:1 1000:0 3000:1 | 1000-3000": the line, then the holes.
QString text(const Line& line, const Stretches& holes) {
    QStringList points;
    for (const QPointF& p : line) {
        points << QStringLiteral("%1:%2").arg(qint64(p.x())).arg(p.y());
    }
    QStringList stretches;
    for (const Stretch& h : holes) {
        stretches << QStringLiteral("%1-%2").arg(h.fromMs).arg(h.toMs);
    }
    return points.join(u' ') + (holes.isEmpty() ? QString() : " | " + stretches.join(u' '));
}

// "0:1 1000:0 2000:-": state X2 closed, open, unread.
std::vector<StateSample> states(const QString& script) {
    std::vector<StateSample> out;
    for (const QString& item : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char(':'));
        StateSample s;
        s.ms = parts[0].toLongLong();
        if (parts[1] != QLatin1String("-")) {
            s.states[1] = parts[1] == QLatin1String("1");
        }
        out.push_back(s);
    }
    return out;
}

// "0:5 1000:- 2000:nan b@3000:1": point "a" read 5, failed, read no number;
// point "b" read 1.
void addPointReads(PointHistory& history, const QString& script) {
    for (const QString& item : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QStringList parts = item.split(QRegularExpression(QStringLiteral("[@:]")));
        const QString key = parts.size() == 3 ? parts.takeFirst() : QStringLiteral("a");
        const auto value = parts[1] == "-" ? std::nullopt : std::optional(parts[1].toDouble());
        history.add({{key, value}}, parts[0].toLongLong());
    }
}

}  // namespace

class tst_TrendHistory : public QObject {
    Q_OBJECT
  private slots:
    void curve_data();
    void curve();
    void unread_data();
    void unread();
    void stretchTip_data();
    void stretchTip();
    void steps_data();
    void steps();
    void pointHistory_data();
    void pointHistory();
    void legendValue_data();
    void legendValue();
    void statesOfATick_data();
    void statesOfATick();
    void valueScale_data();
    void valueScale();
    void pointScale_data();
    void pointScale();
    void roundTimes_data();
    void roundTimes();
};

void tst_TrendHistory::curve_data() {
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<qint64>("keepMs");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("bucketMs");
    QTest::addColumn<QString>("runs");

    QTest::newRow("every point, one run")
        << "0:1 1000:2 2000:4" << kLongestSpanMs << qint64(0) << qint64(1) << "0:1 1000:2 2000:4";
    QTest::newRow("the span starts at its first moment")
        << "0:1 1000:2 2000:4" << kLongestSpanMs << qint64(1000) << qint64(1) << "1000:2 2000:4";
    QTest::newRow("a hole runs from the tick before to the tick after")
        << "0:1 1000:- 2000:3 3000:5" << kLongestSpanMs << qint64(0) << qint64(1)
        << "0:1 2000:3 3000:5 | 0-2000";
    QTest::newRow("holes in a row make one") << "0:1 1000:- 2000:- 3000:4" << kLongestSpanMs
                                             << qint64(0) << qint64(1) << "0:1 3000:4 | 0-3000";
    QTest::newRow("a lone value between holes is in one stretch")
        << "0:- 1000:2 2000:-" << kLongestSpanMs << qint64(0) << qint64(1) << "1000:2 | 0-2000";
    QTest::newRow("every other read failing is one stretch")
        << "0:1 1000:- 2000:3 3000:- 4000:5 5000:- 6000:7" << kLongestSpanMs << qint64(0)
        << qint64(1) << "0:1 2000:3 4000:5 6000:7 | 0-6000";
    QTest::newRow("holes a bucket apart are one")
        << "0:1 1000:- 2000:3 3000:4 4000:- 5000:6" << kLongestSpanMs << qint64(0) << qint64(1001)
        << "0:1 2000:3 3000:4 5000:6 | 0-5000";
    QTest::newRow("holes more than a bucket apart are two")
        << "0:1 1000:- 2000:3 3000:4 4000:- 5000:6" << kLongestSpanMs << qint64(0) << qint64(1000)
        << "0:1 2000:3 3000:4 5000:6 | 0-2000 3000-5000";
    QTest::newRow("a moment before the latest is taken as the latest")
        << "0:1 2000:2 1000:3" << kLongestSpanMs << qint64(0) << qint64(1) << "0:1 2000:2 2000:3";
    QTest::newRow("a stretch keeps first, lowest, highest, last")
        << "0:5 1000:1 1500:3 2000:9 2500:7 3000:4" << kLongestSpanMs << qint64(0) << qint64(10000)
        << "0:5 1000:1 2000:9 3000:4";
    QTest::newRow("highest before lowest")
        << "0:5 1000:9 2000:1 3000:4" << kLongestSpanMs << qint64(0) << qint64(10000)
        << "0:5 1000:9 2000:1 3000:4";
    QTest::newRow("stretches counted from the span's start")
        << "0:5 1000:1 2000:9 3000:4" << kLongestSpanMs << qint64(0) << qint64(2000)
        << "0:5 1000:1 2000:9 3000:4";
    QTest::newRow("a peak between two equal values stays")
        << "0:3 1000:5 2000:3" << kLongestSpanMs << qint64(0) << qint64(1) << "0:3 1000:5 2000:3";
    QTest::newRow("a value that holds keeps its ends")
        << "0:3 1000:3 2000:3 3000:3" << kLongestSpanMs << qint64(0) << qint64(1) << "0:3 3000:3";
    QTest::newRow("older than kept is dropped") << "0:1 1000:2 2000:3 3000:4" << qint64(2000)
                                                << qint64(0) << qint64(1) << "1000:2 2000:3 3000:4";
}

void tst_TrendHistory::curve() {
    QFETCH(QString, ticks);
    QFETCH(qint64, keepMs);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, bucketMs);
    QFETCH(QString, runs);
    History history(keepMs);
    for (const Sample& s : samples(ticks)) {
        history.add(s);
    }
    QCOMPARE(text(history.curve(Quantity::Frequency, 1, fromMs, bucketMs),
                  history.holes(Quantity::Frequency, 1, fromMs, bucketMs)),
             runs);
    // Each curve is its own input and quantity.
    QVERIFY(history.curve(Quantity::Frequency, 0, fromMs, bucketMs).isEmpty());
    QVERIFY(history.curve(Quantity::Count32, 1, fromMs, bucketMs).isEmpty());
}

void tst_TrendHistory::unread_data() {
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("nowMs");
    QTest::addColumn<QString>("unread");
    QTest::addColumn<QString>("reads");  // made/failed from fromMs to nowMs

    const qint64 gap = kUnreadAfterMs;
    QTest::newRow("ticks every second, failed ones too: all read")
        << "0:1 1000:- 2000:3" << qint64(0) << qint64(3000) << ""
        << "3/1";
    QTest::newRow("a gap of the limit is read") << "0:1 5000:2" << qint64(0) << gap << ""
                                                << "2/0";
    QTest::newRow("a longer gap is not") << "0:1 5001:2" << qint64(0) << gap + 1 << "0-5001"
                                         << "2/0";
    QTest::newRow("from the last tick to the present")
        << "0:1 1000:-" << qint64(0) << qint64(10000) << "1000-10000"
        << "2/1";
    QTest::newRow("from the span's start to the first tick")
        << "8000:1 9000:2" << qint64(0) << qint64(9000) << "0-8000"
        << "2/0";
    QTest::newRow("a tick before the span ends the gap's start at the span's")
        << "1000:1 9000:2" << qint64(3000) << qint64(9000) << "3000-9000"
        << "1/0";
    QTest::newRow("nothing read at all") << "" << qint64(0) << qint64(10000) << "0-10000"
                                         << "0/0";
}

void tst_TrendHistory::unread() {
    QFETCH(QString, ticks);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, nowMs);
    QFETCH(QString, unread);
    QFETCH(QString, reads);
    History history;
    for (const Sample& s : samples(ticks)) {
        history.add(s);
        history.add(StateSample{s.ms, {s.frequency[1] ? State(true) : State()}});
    }
    QCOMPARE(text({}, history.unread(fromMs, nowMs)), unread.isEmpty() ? "" : " | " + unread);
    QCOMPARE(history.unreadStates(fromMs, nowMs), history.unread(fromMs, nowMs));
    const Reads r = history.reads(Quantity::Frequency, 1, fromMs, nowMs);
    QCOMPARE(QStringLiteral("%1/%2").arg(r.made).arg(r.failed), reads);
    QCOMPARE(history.stateReads(0, fromMs, nowMs), r);
}

void tst_TrendHistory::stretchTip_data() {
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("tip");  // empty: no stretch there
    const QString failed = QStringLiteral("读取失败 00:00:02–00:00:04：3 次读取中 1 次失败");
    QTest::newRow("a failed read's stretch, at its start") << qint64(2000) << 0 << failed;
    QTest::newRow("at its end") << qint64(4000) << 0 << failed;
    QTest::newRow("between stretches") << qint64(4001) << 0 << QString();
    QTest::newRow("before them") << qint64(1999) << 0 << QString();
    QTest::newRow("unread") << qint64(9000) << 1
                            << QStringLiteral(
                                   "未读取 00:00:08–00:00:10：这段时间没有读取 "
                                   "(端口关闭、轮询停止或查找占用端口)");
}

void tst_TrendHistory::stretchTip() {
    QFETCH(qint64, ms);
    QFETCH(int, kind);
    QFETCH(QString, tip);
    const Stretches stretches{{2000, 4000}, {8000, 10000}};
    const Stretch* s = stretchAt(stretches, ms);
    const qint64 midnight = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    QCOMPARE(s ? stretchText(*s, Stretch::Kind(kind), {3, 1}, midnight) : QString(), tip);
}

void tst_TrendHistory::steps_data() {
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<double>("low");
    QTest::addColumn<QString>("runs");
    QTest::newRow("the level holds until the tick that saw it change")
        << "0:0 1000:0 2000:1 3000:1" << 0.0 << "0:0 2000:0 2000:1 3000:1";
    QTest::newRow("closed is the upper level, on its own low")
        << "0:1 1000:0" << 3.0 << "0:4 1000:4 1000:3";
    QTest::newRow("an unread state breaks the trace")
        << "0:1 1000:- 2000:0 3000:0" << 0.0 << "0:1 2000:0 3000:0 | 0-2000";
    QTest::newRow("the span starts at its first moment")
        << "0:1 1000:0 2000:1" << 0.0 << "0:1 1000:1 1000:0 2000:0 2000:1";
}

void tst_TrendHistory::steps() {
    QFETCH(QString, ticks);
    QFETCH(double, low);
    QFETCH(QString, runs);
    History history;
    for (const StateSample& s : states(ticks)) {
        history.add(s);
    }
    QCOMPARE(text(history.steps(1, 0, low), history.stateHoles(1, 0)), runs);
    QVERIFY(history.steps(0, 0, low).isEmpty());
}

void tst_TrendHistory::pointHistory_data() {
    QTest::addColumn<QString>("reads");
    QTest::addColumn<qint64>("freshForMs");
    QTest::addColumn<qint64>("keepMs");
    QTest::addColumn<qint64>("nowMs");
    QTest::addColumn<QString>("runs");  // the curve from 0, then its holes
    QTest::addColumn<QString>("unread");
    QTest::addColumn<QString>("latest");  // empty: none
    const qint64 keep = kLongestSpanMs;
    QTest::newRow("a failed read is a hole")
        << "0:1 1000:- 2000:3" << qint64(5000) << keep << qint64(2000) << "0:1 2000:3 | 0-2000"
        << ""
        << "3";
    QTest::newRow("a value that is no number is a hole")
        << "0:1 1000:nan 2000:inf" << qint64(5000) << keep << qint64(2000) << "0:1 | 0-2000"
        << ""
        << "";
    QTest::newRow("a silence longer than its freshness is unread")
        << "0:1 7001:2" << qint64(7000) << keep << qint64(7001) << "0:1 7001:2"
        << "0-7001"
        << "2";
    QTest::newRow("a silence within it is read")
        << "0:1 7000:2" << qint64(7000) << keep << qint64(7000) << "0:1 7000:2"
        << ""
        << "2";
    QTest::newRow("up to the present") << "0:1" << qint64(5000) << keep << qint64(9000) << "0:1"
                                       << "0-9000"
                                       << "";
    QTest::newRow("latest at its freshness")
        << "0:1 1000:4" << qint64(5000) << keep << qint64(6000) << "0:1 1000:4"
        << ""
        << "4";
    QTest::newRow("latest empty when stale")
        << "0:1 1000:4" << qint64(5000) << keep << qint64(6001) << "0:1 1000:4"
        << "1000-6001"
        << "";
    QTest::newRow("latest empty when the last read failed")
        << "0:1 1000:-" << qint64(5000) << keep << qint64(1000) << "0:1 | 0-1000"
        << ""
        << "";
    QTest::newRow("old reads dropped after the span")
        << "0:1 1000:2 2000:3" << qint64(5000) << qint64(1500) << qint64(2000) << "1000:2 2000:3"
        << ""
        << "3";
    QTest::newRow("also when the point is no longer read")
        << "0:1 1000:2 b@2000:3" << qint64(5000) << qint64(1500) << qint64(2000) << "1000:2"
        << ""
        << "2";
    QTest::newRow("reads of a point not tracked are not kept")
        << "c@0:1 0:2" << qint64(5000) << keep << qint64(0) << "0:2"
        << ""
        << "2";
}

void tst_TrendHistory::pointHistory() {
    QFETCH(QString, reads);
    QFETCH(qint64, freshForMs);
    QFETCH(qint64, keepMs);
    QFETCH(qint64, nowMs);
    QFETCH(QString, runs);
    QFETCH(QString, unread);
    QFETCH(QString, latest);
    PointHistory history(keepMs);
    history.track({{"a", "", "", -1, true, false, freshForMs}, {"b", "", "", -1, false, true}});
    addPointReads(history, reads);
    QVERIFY(history.curve("c", 0).isEmpty());
    const auto value = history.latest("a", nowMs);
    QCOMPARE(text(history.curve("a", 0), history.holes("a", 0)), runs);
    QCOMPARE(text({}, history.unread("a", 0, nowMs)), unread.isEmpty() ? "" : " | " + unread);
    QCOMPARE(value ? QString::number(*value) : QString(), latest);
    // A point no longer tracked is forgotten.
    history.track({});
    QCOMPARE(history.readsHeld(), std::size_t(0));
}

void tst_TrendHistory::legendValue_data() {
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<Value>("latest");
    QTest::newRow("no tick yet") << "" << Value();
    QTest::newRow("the last read answered") << "0:3 1000:7" << Value(7);
    QTest::newRow("the last read failed") << "0:3 1000:-" << Value();
}

void tst_TrendHistory::legendValue() {
    QFETCH(QString, ticks);
    QFETCH(Value, latest);
    History history;
    for (const Sample& s : samples(ticks)) {
        history.add(s);
    }
    QCOMPARE(history.latest(Quantity::Frequency, 1), latest);
    QCOMPARE(history.counterTicks(), samples(ticks).size());
}

void tst_TrendHistory::statesOfATick_data() {
    QTest::addColumn<std::optional<std::uint16_t>>("inputs");
    QTest::addColumn<std::optional<std::uint16_t>>("coils");
    // X1..X4, DI1..DI6, Y1..Y4: 1 closed, 0 open, - unread.
    QTest::addColumn<QString>("states");
    using Points = std::optional<std::uint16_t>;
    QTest::newRow("X1, X4, DI1, DI6, Y1, Y4")
        << Points(0b10'0001'1001) << Points(0b1001) << "1001100001 1001";
    QTest::newRow("points past the module's own are not states")
        << Points(0xFC00) << Points(0xFFF0) << "0000000000 0000";
    QTest::newRow("inputs unread") << Points() << Points(0b0110) << "---------- 0110";
    QTest::newRow("coils unread") << Points(0b11'1111'1111) << Points() << "1111111111 ----";
}

void tst_TrendHistory::statesOfATick() {
    QFETCH(std::optional<std::uint16_t>, inputs);
    QFETCH(std::optional<std::uint16_t>, coils);
    QFETCH(QString, states);
    StatusTick tick;
    tick.time = QDateTime::fromMSecsSinceEpoch(5000);
    tick.inputs = inputs;
    tick.coils = coils;
    const StateSample s = takeStates(tick, 5000);
    QCOMPARE(s.ms, 5000);
    QString shown;
    for (int i = 0; i < kStates; ++i) {
        shown += i == kInputStates ? QStringLiteral(" ") : QString();
        shown +=
            s.states[i] ? (*s.states[i] ? QLatin1Char('1') : QLatin1Char('0')) : QLatin1Char('-');
    }
    QCOMPARE(shown, states);
}

void tst_TrendHistory::valueScale_data() {
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<ValueScale>("scale");
    QTest::newRow("nothing read yet") << 0.0 << 0.0 << ValueScale{0, 1, 1};
    QTest::newRow("frequencies from 0") << 23.0 << 105.0 << ValueScale{0, 120, 20};
    QTest::newRow("a value on a tick is the top") << 40.0 << 100.0 << ValueScale{0, 100, 20};
    QTest::newRow("counts from 0") << 1200.0 << 52486.0 << ValueScale{0, 60000, 10000};
    QTest::newRow("a negative value") << -2067.0 << 52486.0 << ValueScale{-10000, 60000, 10000};
    QTest::newRow("all negative") << -7.0 << -3.0 << ValueScale{-8, 0, 2};
    QTest::newRow("small counts step by 1") << 0.0 << 3.0 << ValueScale{0, 3, 1};
    QTest::newRow("exactly six steps") << 0.0 << 60.0 << ValueScale{0, 60, 10};
    QTest::newRow("a 32-bit count")
        << 0.0 << 2147483647.0 << ValueScale{0, 2500000000.0, 500000000.0};
}

void tst_TrendHistory::valueScale() {
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(ValueScale, scale);
    const ValueScale s = trend::valueScale(low, high);
    QCOMPARE(s.from, scale.from);
    QCOMPARE(s.to, scale.to);
    QCOMPARE(s.step, scale.step);
}

void tst_TrendHistory::pointScale_data() {
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<ValueScale>("scale");
    QTest::addColumn<int>("decimals");
    QTest::newRow("temperatures, not from 0") << 20.1 << 20.9 << ValueScale{20, 21, 0.2} << 1;
    QTest::newRow("a value that holds") << 100.0 << 100.0 << ValueScale{94, 106, 2} << 0;
    QTest::newRow("nothing read") << std::numeric_limits<double>::max()
                                  << std::numeric_limits<double>::lowest() << ValueScale{0, 1, 0.2}
                                  << 1;
    QTest::newRow("negative, half steps") << -3.5 << -1.2 << ValueScale{-3.5, -1, 0.5} << 1;
}

void tst_TrendHistory::pointScale() {
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(ValueScale, scale);
    QFETCH(int, decimals);
    const ValueScale s = trend::pointScale(low, high);
    QCOMPARE(s.from, scale.from);
    QCOMPARE(s.to, scale.to);
    QCOMPARE(s.step, scale.step);
    QCOMPARE(stepDecimals(s.step), decimals);
}

void tst_TrendHistory::roundTimes_data() {
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("offsetMs");
    QTest::addColumn<QList<qint64>>("times");
    const qint64 s = 1000;
    const qint64 m = 60 * s;
    QTest::newRow("a minute, ticks every 10 s")
        << m << 3 * s << qint64(0) << QList<qint64>{10 * s, 20 * s, 30 * s, 40 * s, 50 * s, 60 * s};
    QTest::newRow("5 minutes, from a whole minute")
        << 5 * m << m << qint64(0) << QList<qint64>{m, 2 * m, 3 * m, 4 * m, 5 * m, 6 * m};
    QTest::newRow("15 minutes, every 2")
        << 15 * m << m + 1 << qint64(0)
        << QList<qint64>{2 * m, 4 * m, 6 * m, 8 * m, 10 * m, 12 * m, 14 * m, 16 * m};
    QTest::newRow("past 5 minutes, every 2")
        << 5 * m + 1 << qint64(0) << qint64(0) << QList<qint64>{0, 2 * m, 4 * m};
    QTest::newRow("an hour, on the local clock at +05:45")
        << 60 * m << qint64(0) << 345 * m
        << QList<qint64>{5 * m, 15 * m, 25 * m, 35 * m, 45 * m, 55 * m};
}

void tst_TrendHistory::roundTimes() {
    QFETCH(qint64, spanMs);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, offsetMs);
    QFETCH(QList<qint64>, times);
    QCOMPARE(trend::roundTimes(fromMs, fromMs + spanMs, timeStepMs(spanMs), offsetMs), times);
}

QTEST_APPLESS_MAIN(tst_TrendHistory)
#include "tst_trend_history.moc"
