// What a port owes and when a frame pays it: the ledger's rules on their
// own, with the clock stepped by hand.
#include <QtTest>

#include "Ledger.h"
#include "RtuFrames.h"

using modbusrtu::Clock;
using modbusrtu::Ledger;
using modbusrtu::Request;
using Bytes = RtuFrames::Bytes;

Q_DECLARE_METATYPE(Request)
Q_DECLARE_METATYPE(Bytes)

namespace {

const Request kReadTwo{7, 0x03, 10, 2};
const Request kReadThree{7, 0x03, 10, 3};
const Request kOtherSlave{8, 0x03, 10, 2};
const Request kCoilOn{7, 0x05, 3, 0xFF00};
const Request kCoilOff{7, 0x05, 3, 0x0000};
const Clock::time_point kEnd{std::chrono::seconds(100)};
constexpr auto kHorizon = Ledger::kLateHorizon;
constexpr auto kJustInside = kHorizon;
constexpr auto kPast = kHorizon + std::chrono::milliseconds(1);

// A single write's answer: its own six bytes.
Bytes writeReply(const Request& r) {
    RtuFrames frames;
    return frames.frame(r.slave, {r.function, std::uint8_t(r.first >> 8), std::uint8_t(r.first),
                                  std::uint8_t(r.quantity >> 8), std::uint8_t(r.quantity)});
}

Bytes readReply(const Request& r) {
    RtuFrames frames;
    Bytes pdu{r.function, std::uint8_t(r.quantity * 2)};
    pdu.resize(2 + r.quantity * 2, 0x11);
    return frames.frame(r.slave, pdu);
}

Bytes damaged(Bytes frame) {
    frame.back() ^= 0x5A;
    return frame;
}

}  // namespace

class TstDriverLedger : public QObject {
    Q_OBJECT

  private slots:
    // Which owed request a frame read at `after` past its time-out answers:
    // 0 for none, else its sequence.
    void frameAnswers_data() {
        QTest::addColumn<Request>("owed");
        QTest::addColumn<Bytes>("frame");
        QTest::addColumn<bool>("withCurrent");
        QTest::addColumn<Request>("current");
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<int>("answers");
        const auto ms = [](auto d) { return int(std::chrono::milliseconds(d).count()); };
        QTest::newRow("its shape, inside the horizon")
            << kReadTwo << readReply(kReadTwo) << true << kReadTwo << ms(kJustInside) << 1;
        QTest::newRow("its shape, past the horizon: the current's")
            << kReadTwo << readReply(kReadTwo) << true << kReadTwo << ms(kPast) << 0;
        QTest::newRow("other shape than current, however late")
            << kReadTwo << readReply(kReadTwo) << true << kReadThree << ms(kPast) << 1;
        QTest::newRow("heard between requests, however late")
            << kReadTwo << readReply(kReadTwo) << false << kReadTwo << ms(kPast) << 1;
        QTest::newRow("another slave's request")
            << kOtherSlave << readReply(kReadTwo) << true << kReadTwo << 0 << 0;
        QTest::newRow("the same write again confirms either")
            << kCoilOn << writeReply(kCoilOn) << true << kCoilOn << 0 << 0;
        QTest::newRow("a write of other values does not")
            << kCoilOn << writeReply(kCoilOn) << true << kCoilOff << 0 << 1;
        QTest::newRow("a damaged frame answers nothing")
            << kReadTwo << damaged(readReply(kReadTwo)) << true << kReadThree << 0 << 0;
    }
    void frameAnswers() {
        QFETCH(Request, owed);
        QFETCH(Bytes, frame);
        QFETCH(bool, withCurrent);
        QFETCH(Request, current);
        QFETCH(int, afterMs);
        QFETCH(int, answers);
        Ledger ledger;
        ledger.add(1, owed, kEnd);
        const auto found =
            ledger.answeredBy(frame.data(), int(frame.size()), withCurrent ? &current : nullptr,
                              kEnd + std::chrono::milliseconds(afterMs));
        QCOMPARE(found ? int(found->sequence) : 0, answers);
    }

    // What is left owed after each way of striking off, oldest first.
    void strikeOff_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QList<int>>("left");
        QTest::newRow("the slave answered") << "retire 7" << QList<int>{2};
        QTest::newRow("one answered late") << "forget 3" << QList<int>{1, 2};
        QTest::newRow("past the cap the oldest goes") << "fill" << QList<int>{2, 3};
    }
    void strikeOff() {
        QFETCH(QString, how);
        QFETCH(QList<int>, left);
        Ledger ledger;
        ledger.add(1, kReadTwo, kEnd);
        ledger.add(2, kOtherSlave, kEnd);
        ledger.add(3, kReadThree, kEnd);
        if (how == "retire 7") {
            ledger.retire(7);
        } else if (how == "forget 3") {
            ledger.forget(3);
        } else {
            for (std::uint32_t s = 4; s < 4 + Ledger::kMaxOwed - 2; ++s) {
                ledger.add(s, kOtherSlave, kEnd);
            }
        }
        QList<int> kept;
        for (const Request& r : {kReadTwo, kOtherSlave, kReadThree}) {
            const Bytes frame = readReply(r);
            if (const auto found =
                    ledger.answeredBy(frame.data(), int(frame.size()), nullptr, kEnd)) {
                kept << int(found->sequence);
            }
        }
        QCOMPARE(kept, left);
    }

    // Whether the line is listened to before `next`, `afterMs` past the
    // wait's end (negative: before it).
    void stragglerWait_data() {
        QTest::addColumn<Request>("next");
        QTest::addColumn<bool>("answerBehindEcho");
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<bool>("listens");
        QTest::newRow("a read its late reply could pass for") << kReadTwo << false << -1 << true;
        QTest::newRow("the wait is over") << kReadTwo << false << 0 << false;
        QTest::newRow("a read of another shape") << kReadThree << false << -1 << false;
        QTest::newRow("an answer behind a first echo") << kReadThree << true << -1 << true;
    }
    void stragglerWait() {
        QFETCH(Request, next);
        QFETCH(bool, answerBehindEcho);
        QFETCH(int, afterMs);
        QFETCH(bool, listens);
        modbusrtu::StragglerWait wait;
        wait.expect(kReadTwo, kEnd);
        QCOMPARE(
            wait.worthListening(next, answerBehindEcho, kEnd + std::chrono::milliseconds(afterMs)),
            listens);
        wait.clear();
        QVERIFY(!wait.worthListening(next, true, kEnd - std::chrono::milliseconds(1)));
    }

    void mistakable_data() {
        QTest::addColumn<Request>("unanswered");
        QTest::addColumn<Request>("next");
        QTest::addColumn<bool>("mistakable");
        QTest::newRow("read of the same count") << kReadTwo << kReadTwo << true;
        QTest::newRow("read of another count") << kReadTwo << kReadThree << false;
        QTest::newRow("another slave") << kOtherSlave << kReadTwo << false;
        QTest::newRow("the very same write") << kCoilOn << kCoilOn << false;
        QTest::newRow("a write of another value") << kCoilOn << kCoilOff << true;
    }
    void mistakable() {
        QFETCH(Request, unanswered);
        QFETCH(Request, next);
        QFETCH(bool, mistakable);
        QCOMPARE(modbusrtu::mistakable(unanswered, next), mistakable);
    }
};

QTEST_APPLESS_MAIN(TstDriverLedger)
#include "tst_driver_ledger.moc"
