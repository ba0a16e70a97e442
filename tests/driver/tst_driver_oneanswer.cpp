// One answer for one question: a line that answers late, echoes, garbles or
// babbles, played byte for byte on a pty, and what the driver makes of each
// call and logs of every byte.
#include <QtTest>

#include <thread>

#include "DriverTestSupport.h"
#include "ModbusRTU.h"
#include "RtuFrames.h"
#include "TestSlave.h"

using namespace driver_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int32_t kPort = 7;
constexpr int32_t kSlave = 1;

// One call of the driver, what the line sends back when its request
// arrives, and what the call returns.
struct Step {
    QString call;  // "hr 1 16", "ir 1 4", "di 1", "set 5 7", "wait 3000"
    test_slave::TestSlave::Answer answer;
    int result = MODBUSRTU_FAILED;
};
using Steps = QList<Step>;

RtuFrames& frames() {
    static RtuFrames f;
    return f;
}

Bytes frame(const Bytes& pdu) {
    return frames().frame(kSlave, pdu);
}

// A register read's reply: `count` values from `first` on.
Bytes registers(int function, int first, int count) {
    Bytes pdu{std::uint8_t(function), std::uint8_t(2 * count)};
    for (int v = first; v < first + count; ++v) {
        pdu.push_back(std::uint8_t(v >> 8));
        pdu.push_back(std::uint8_t(v));
    }
    return frame(pdu);
}

const Bytes kEcho{};

int32_t call(const QString& text) {
    const QStringList a = text.split(' ');
    const auto n = [&a](int i) { return a.value(i).toInt(); };
    Buffer b = sentinelBuffer();
    if (a[0] == "wait") {
        std::this_thread::sleep_for(std::chrono::milliseconds(n(1)));  // the lateness played
        return MODBUSRTU_FAILED;
    }
    if (a[0] == "hr") {
        return Get_4X_UnDX(kPort, kSlave, n(1), n(2), b.data());
    }
    if (a[0] == "ir") {
        return Get_3X_UnDX(kPort, kSlave, n(1), n(2), b.data());
    }
    if (a[0] == "di") {
        return Get_1X_B16(kPort, kSlave, n(1), b.data());
    }
    if (a[0] == "on") {
        return Set_0X_Bit1(kPort, kSlave, n(1));
    }
    return Set_4X_D1(kPort, kSlave, n(1), n(2));
}

// The log as words: each transaction's outcome (with the earlier request an
// ambiguous reply may answer, and the bytes of a bad frame), "late" bytes,
// "late-reply(n)" and "echo(n)", numbered from the first of the run.
QString logWords(std::uint32_t before) {
    std::vector<Tq7310Traffic> entries(64);
    const int n = TQ7310_ReadTraffic(kPort, before, entries.data(), int(entries.size()), nullptr);
    static const QMap<int, QString> names{{TQ7310_OK, "OK"},
                                          {TQ7310_TIMEOUT, "TIMEOUT"},
                                          {TQ7310_EXCEPTION, "EXCEPTION"},
                                          {TQ7310_BAD_FRAME, "BAD"},
                                          {TQ7310_ECHO, "ECHO"},
                                          {TQ7310_AMBIGUOUS, "AMBIGUOUS"},
                                          {TQ7310_WRONG_SLAVE, "WRONG_SLAVE"}};
    QStringList words;
    for (int i = 0; i < n; ++i) {
        const Tq7310Traffic& e = entries[std::size_t(i)];
        const QString of = QStringLiteral("(%1)").arg(e.follows - before);
        if (e.kind == TQ7310_TRAFFIC_EXCHANGE) {
            words << names.value(e.outcome) + (e.outcome == TQ7310_AMBIGUOUS ? of : QString()) +
                         (e.outcome == TQ7310_BAD_FRAME ? QStringLiteral("[%1]").arg(e.reply_length)
                                                        : QString());
        } else if (e.kind == TQ7310_TRAFFIC_LATE_REPLY) {
            words << "late-reply" + of;
        } else if (e.kind == TQ7310_TRAFFIC_ECHO) {
            words << "echo" + of;
        } else if (words.isEmpty() || words.last() != "late") {
            words << "late";
        }
    }
    return words.join(' ');
}

}  // namespace

Q_DECLARE_METATYPE(Steps)

class TstDriverOneAnswer : public QObject {
    Q_OBJECT

  private slots:
    void eachCallGetsItsOwnAnswer_data() {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QString>("log");
        const Bytes hr1 = registers(3, 100, 16);
        const Bytes hr2 = registers(3, 200, 16);
        const Bytes ir = registers(4, 1, 4);
        const Bytes di = frame({2, 2, 0x05, 0x00});
        const Bytes refused = frame({0x86, 0x02});
        const int FAIL = MODBUSRTU_FAILED;

        QTest::newRow("late reply across a read of another shape")
            << Steps{{"hr 1 16", {}, FAIL}, {"ir 1 4", {ir}, 1}, {"hr 17 16", {hr1}, FAIL}}
            << "TIMEOUT OK AMBIGUOUS(1)";
        QTest::newRow("late reply, then the read's own")
            << Steps{{"hr 1 16", {}, FAIL}, {"ir 1 4", {ir}, 1}, {"hr 17 16", {hr1, hr2}, 200}}
            << "TIMEOUT OK OK late-reply(1)";
        QTest::newRow("late reply inside a read of another shape")
            << Steps{{"hr 1 16", {}, FAIL}, {"ir 1 4", {hr1, ir}, 1}} << "TIMEOUT OK late-reply(1)";
        QTest::newRow("late reply found waiting")
            << Steps{{"hr 1 16", {}, FAIL}, {"ir 1 4", {ir, hr1}, 1}, {"di 1", {di}, 5}}
            << "TIMEOUT OK late-reply(1) OK";
        QTest::newRow("3 s late, nothing else came")
            << Steps{{"hr 1 16", {}, FAIL}, {"wait 3000", {}, FAIL}, {"hr 1 16", {hr1}, FAIL}}
            << "TIMEOUT AMBIGUOUS(1)";
        QTest::newRow("later than the horizon")
            << Steps{{"hr 1 16", {}, FAIL},
                     {"wait " + QString::number(TQ7310_LATE_REPLY_HORIZON_MS + 100), {}, FAIL},
                     {"hr 1 16", {hr1}, 100}}
            << "TIMEOUT OK";
        QTest::newRow("the same write again")
            << Steps{{"set 5 7", {}, FAIL}, {"set 5 7", {kEcho}, 0}} << "TIMEOUT OK";
        QTest::newRow("echo, then a refused write")
            << Steps{{"hr 1 16", {kEcho, hr1}, FAIL}, {"set 5 7", {kEcho, refused}, FAIL}}
            << "ECHO late EXCEPTION echo(3)";
        QTest::newRow("echo, then a write done")
            << Steps{{"hr 1 16", {kEcho, hr1}, FAIL}, {"on 2", {kEcho, kEcho}, 0}}
            << "ECHO late OK echo(3)";
        QTest::newRow("echo of a read far up")
            << Steps{{"hr 1025 16", {kEcho, hr1}, FAIL}, {"hr 1025 16", {kEcho, hr2}, 200}}
            << "ECHO late OK echo(4)";
        QTest::newRow("byte count 0, CRC good")
            << Steps{{"hr 1 2", {frame({3, 0})}, FAIL}} << "BAD[5]";
        QTest::newRow("byte count asks for more than comes")
            << Steps{{"di 1", {Bytes{0x01, 0x02, 0x04, 0x49, 0x92, 0xEF, 0x84}}, FAIL}} << "BAD[7]";
        QTest::newRow("byte count short of the count asked")
            << Steps{{"hr 1 2", {frame({3, 2, 0, 1})}, FAIL}} << "BAD[7]";
        QTest::newRow("noise before a reply")
            << Steps{{"hr 1 2", {Bytes{0x55, 0x00, 0xAA}, registers(3, 1, 2)}, FAIL}} << "BAD[12]";
    }

    void eachCallGetsItsOwnAnswer() {
        QFETCH(Steps, steps);
        QFETCH(QString, log);
        std::vector<test_slave::TestSlave::Answer> answers;
        for (const Step& s : steps) {
            if (!s.call.startsWith("wait")) {
                answers.push_back(s.answer);
            }
        }
        test_slave::TestSlave line(kSlave);
        line.answerInTurn(answers);
        test_slave::ScopedPortEnv env(kPort, line.devicePath());
        std::vector<Tq7310Traffic> seen(512);
        std::uint32_t before = 0;
        for (int n; (n = TQ7310_ReadTraffic(kPort, before, seen.data(), 512, nullptr)) > 0;) {
            before = seen[std::size_t(n - 1)].sequence;
        }
        QCOMPARE(OpenPort_Modbus(kPort, kBaud38400, kParityNone), 0);
        for (const Step& s : steps) {
            QCOMPARE(call(s.call), s.result);
        }
        QCOMPARE(logWords(before), log);
        ClosePort_Modbus(kPort);
    }
};

QTEST_APPLESS_MAIN(TstDriverOneAnswer)
#include "tst_driver_oneanswer.moc"
