// One answer for one question: a line that answers late, echoes, garbles or
// babbles, played byte for byte on a pty, and what the driver returns and
// logs of every byte.
#include <QtTest>

#include <span>
#include <thread>

#include "DriverTestSupport.h"
#include "RtuFrames.h"
#include "TestSlave.h"

using namespace driver_test;
using Bytes = std::vector<std::uint8_t>;
using Answer = test_slave::TestSlave::Answer;

namespace {

constexpr int32_t kPort = 7;
constexpr int32_t kSlave = 1;
const Bytes kEcho{};

// A call ("hr 1 16", "ir 1 4", "di 1", "on 2", "set 5 7", "set2 5" writing 7
// and 8 from register 5, "wait MS" to play lateness, "probe" as a search
// asks, or "reopen" with a baud code and a parity code), what the line sends
// when its request arrives, the result.
struct Step {
    QString call;
    Answer answer;
    int result = MODBUSRTU_FAILED;
};
using Steps = QList<Step>;

Bytes frame(const Bytes& pdu, int slave = kSlave) {
    static RtuFrames frames;
    return frames.frame(slave, pdu);
}

// A register read's reply: `count` values from `first` on.
Bytes registers(int function, int first, int count) {
    Bytes pdu{std::uint8_t(function), std::uint8_t(2 * count)};
    for (int v = first; v < first + count; ++v) {
        pdu.insert(pdu.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
    }
    return frame(pdu);
}

Bytes damaged(Bytes frame) {
    frame.back() ^= 0x5A;
    return frame;
}

int32_t call(const QString& text) {
    static const std::uint16_t twoValues[] = {7, 8};
    const QStringList a = text.split(' ');
    const int n = a.value(1).toInt();
    Buffer b = sentinelBuffer();
    if (a[0] == "wait") {
        std::this_thread::sleep_for(std::chrono::milliseconds(n));
    }
    if (a[0] == "probe") {
        Tq7310Probe probe{};
        return TQ7310_ProbeModule(kPort, kSlave, 50'000, &probe);
    }
    if (a[0] == "reopen") {
        ClosePort_Modbus(kPort);
        return OpenPort_Modbus(kPort, n != 0 ? n : kBaud38400, a.value(2).toInt());
    }
    return a[0] == "hr"     ? Get_4X_UnDX(kPort, kSlave, n, a[2].toInt(), b.data())
           : a[0] == "ir"   ? Get_3X_UnDX(kPort, kSlave, n, a[2].toInt(), b.data())
           : a[0] == "di"   ? Get_1X_B16(kPort, kSlave, n, b.data())
           : a[0] == "on"   ? Set_0X_Bit1(kPort, kSlave, n)
           : a[0] == "set"  ? Set_4X_D1(kPort, kSlave, n, a[2].toInt())
           : a[0] == "set2" ? TQ7310_WriteRegisters(kPort, kSlave, n, 2, twoValues)
                            : MODBUSRTU_FAILED;
}

// The log as words: each transaction's outcome, with the request an
// ambiguous reply may answer and the length of a bad frame; "late" bytes,
// "late-reply(n)" and "echo(n)"; requests numbered from the first of the run.
QString logWords(std::uint32_t before) {
    static const char* const outcomes[] = {"",    "OK",  "",      "", "",     "TIMEOUT",
                                           "EXC", "BAD", "WRONG", "", "ECHO", "AMBIGUOUS"};
    static const char* const kinds[] = {"", "late", "late-reply", "echo"};
    std::vector<Tq7310Traffic> e(64);
    const int n = TQ7310_ReadTraffic(kPort, before, e.data(), int(e.size()), nullptr);
    QStringList words;
    for (const Tq7310Traffic& t : std::span(e.data(), std::size_t(qMax(n, 0)))) {
        const QString of = QStringLiteral("(%1)").arg(t.follows - before);
        QString word = t.kind == TQ7310_TRAFFIC_EXCHANGE ? outcomes[t.outcome] : kinds[t.kind];
        word += t.outcome == TQ7310_BAD_FRAME ? QStringLiteral("[%1]").arg(t.reply_length)
                : (t.outcome == TQ7310_AMBIGUOUS && t.follows != 0) || t.kind > TQ7310_TRAFFIC_LATE
                    ? of
                    : QString();
        if (t.kind == TQ7310_TRAFFIC_LATE && t.reply_length < 5) {  // shorter than any frame: noise
            word += '[' +
                    QByteArray(reinterpret_cast<const char*>(t.reply), t.reply_length).toHex(' ') +
                    ']';
        }
        if (t.wall_ms > QDateTime::currentMSecsSinceEpoch()) {
            word += QStringLiteral("[read in the future]");
        }
        if (word != "late" || words.value(words.size() - 1) != "late") {
            words << word;
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
        const Bytes refused = frame({0x86, 2});
        const QString wait = "wait " + QString::number(TQ7310_LATE_REPLY_HORIZON_MS + 100);
        QTest::newRow("lost reply, another shape answered, the same shape")
            << Steps{{"hr 1 16", {}}, {"ir 1 4", {ir}, 1}, {"hr 17 16", {hr2}, 200}}
            << "TIMEOUT OK OK";
        QTest::newRow("lost reply, then the same shape twice")
            << Steps{{"hr 1 16", {}}, {"hr 1 16", {hr1}}, {"hr 1 16", {hr2}, 200}}
            << "TIMEOUT AMBIGUOUS(1) OK";
        QTest::newRow("lost reply, then its shape and another address's frame")
            << Steps{{"hr 1 16", {}}, {"hr 1 16", {hr1, frame({3, 2, 0, 1}, 2)}}}
            << "TIMEOUT AMBIGUOUS(1) late";
        QTest::newRow("ambiguous while the slave works through a backlog")
            << Steps{{"hr 1 16", {}},
                     {"ir 1 4", {}},
                     {"hr 1 16", {hr1, ir}},
                     {"hr 1 16", {hr2, registers(3, 300, 16)}, 300}}
            << "TIMEOUT TIMEOUT AMBIGUOUS(1) late-reply(2) OK late-reply(3)";
        QTest::newRow("late reply, then the read's own")
            << Steps{{"hr 1 16", {}}, {"hr 17 16", {hr1, hr2}, 200}} << "TIMEOUT OK late-reply(1)";
        QTest::newRow("late reply inside a read of another shape")
            << Steps{{"hr 1 16", {}}, {"ir 1 4", {hr1, ir}, 1}} << "TIMEOUT OK late-reply(1)";
        QTest::newRow("after a later answer, no late reply")
            << Steps{{"hr 1 16", {}},
                     {"ir 1 4", {ir, hr1, hr2}, 1},
                     {"di 1", {frame({2, 2, 5, 0})}, 5}}
            << "TIMEOUT OK late OK";
        QTest::newRow("3 s late, nothing else came")
            << Steps{{"hr 1 16", {}}, {"wait 3000", {}}, {"hr 1 16", {hr1}}}
            << "TIMEOUT AMBIGUOUS(1)";
        QTest::newRow("later than the horizon")
            << Steps{{"hr 1 16", {}}, {wait, {}}, {"hr 1 16", {hr1}, 100}} << "TIMEOUT OK";
        QTest::newRow("later than the horizon, inside a read of another shape")
            << Steps{{"hr 1 16", {}}, {wait, {}}, {"ir 1 4", {hr1, ir}, 1}}
            << "TIMEOUT OK late-reply(1)";
        QTest::newRow("reopened within the horizon")
            << Steps{{"hr 1 16", {}}, {"reopen", {}, 0}, {"hr 1 16", {hr1}}}
            << "TIMEOUT AMBIGUOUS(1)";
        QTest::newRow("reopened at another baud rate")
            << Steps{{"hr 1 16", {}}, {"reopen 2", {}, 0}, {"hr 1 16", {hr1}, 100}} << "TIMEOUT OK";
        QTest::newRow("a search hears a late reply as a sign of life, owed no more")
            << Steps{{"ir 1 4", {}}, {"probe", {ir}, 0}, {"ir 1 4", {registers(4, 5, 4)}, 5}}
            << "TIMEOUT BAD[13] OK";
        QTest::newRow("reopened from even parity to none") << Steps{{"reopen 3 2", {}, 0},
                                                                    {"hr 1 16", {}},
                                                                    {"reopen 3 0", {}, 0},
                                                                    {"hr 1 16", {hr1}}}
                                                           << "TIMEOUT AMBIGUOUS(1)";
        QTest::newRow("reopened from none to even parity")
            << Steps{{"hr 1 16", {}}, {"reopen 3 2", {}, 0}, {"hr 1 16", {hr1}, 100}}
            << "TIMEOUT OK";
        QTest::newRow("noise, then the same shape")
            << Steps{{"hr 1 2", {{0x55, 0x00, 0xAA}, registers(3, 1, 2)}},
                     {"hr 1 2", {registers(3, 5, 2)}},
                     {"hr 1 2", {registers(3, 9, 2)}, 9}}
            << "BAD[12] AMBIGUOUS(1) OK";
        QTest::newRow("another address's frame retires nothing")
            << Steps{{"hr 1 16", {}},
                     {"ir 1 4", {frame({4, 8, 0, 1, 0, 2, 0, 3, 0, 4}, 2)}},
                     {"hr 1 16", {hr1}}}
            << "TIMEOUT WRONG AMBIGUOUS(1)";
        const Step plainDi{"di 1", {frame({2, 2, 5, 0})}, 5};
        QTest::newRow("the same write again")
            << Steps{plainDi, plainDi, {"set 5 7", {}}, {"set 5 7", {kEcho}, 0}}
            << "OK OK TIMEOUT OK";
        QTest::newRow("first write behind an echo, refused")
            << Steps{{"set 5 7", {kEcho, refused}}} << "EXC echo(1)";
        QTest::newRow("first write behind an echo, ignored")
            << Steps{{"set 5 7", {kEcho}}} << "AMBIGUOUS";
        QTest::newRow("first write behind an echo, done")
            << Steps{{"on 2", {kEcho, kEcho}, 0}} << "OK echo(1)";
        const Bytes twoWritten = frame({0x10, 0, 4, 0, 2});
        QTest::newRow("first write of two registers, its echo, done")
            << Steps{{"set2 5", {kEcho, twoWritten}, 0}} << "OK echo(1)";
        QTest::newRow("first write of two registers, its echo, refused")
            << Steps{{"set2 5", {kEcho, frame({0x90, 2})}}} << "EXC echo(1)";
        QTest::newRow("first write of two registers, its echo, ignored")
            << Steps{{"set2 5", {kEcho}}} << "TIMEOUT echo(1)";
        QTest::newRow("first write of two registers, no echo, done")
            << Steps{{"set2 5", {twoWritten}, 0}, {"set2 5", {frame({0x90, 2})}}} << "OK EXC";
        QTest::newRow("one echo missing") << Steps{{"hr 1 16", {kEcho, hr1}},
                                                   {"set 5 7", {refused}},
                                                   {"hr 1 16", {kEcho, hr2}, 200},
                                                   {"set 5 7", {kEcho, refused}}}
                                          << "ECHO late EXC OK echo(5) EXC echo(7)";
        QTest::newRow("another address's refusal in the echo's place")
            << Steps{{"hr 1 16", {kEcho, hr1}}, {"set 5 7", {frame({0x86, 2}, 2)}}}
            << "ECHO late WRONG";
        const Steps echoThenThreeWithout{{"hr 1 16", {kEcho, hr1}}, plainDi, plainDi, plainDi};
        QTest::newRow("three replies without the learnt echo, twice, then a write ignored")
            << echoThenThreeWithout + echoThenThreeWithout + Steps{{"set 5 7", {kEcho}}}
            << "ECHO late OK OK OK ECHO late OK OK OK AMBIGUOUS";
        QTest::newRow("the first read's echo lost, then a write refused")
            << Steps{{"hr 1 16", {hr1}, 100}, {"set 5 7", {kEcho, refused}}} << "OK EXC echo(2)";
        QTest::newRow("a write done, its echo lost")
            << Steps{{"hr 1 16", {kEcho, hr1}}, {"on 2", {kEcho}}} << "ECHO late AMBIGUOUS";
        const Bytes di5 = frame({2, 2, 5, 0});
        QTest::newRow("a late reply in a lost echo's place")
            << Steps{{"hr 1 16", {kEcho, hr1}}, {"di 1", {kEcho}}, {"di 1", {di5}}}
            << "ECHO late TIMEOUT echo(4) AMBIGUOUS(4)";
        QTest::newRow("a late reply of another shape in a lost echo's place")
            << Steps{{"hr 1 16", {kEcho, hr1}}, {"di 1", {kEcho}}, {"ir 1 1", {di5}}}
            << "ECHO late TIMEOUT echo(4) TIMEOUT late-reply(4)";
        QTest::newRow("the read that learns the echo, then another")
            << Steps{{"hr 1 16", {kEcho, hr1}}, {"ir 1 4", {kEcho, ir}, 1}}
            << "ECHO late OK echo(4)";
        QTest::newRow("echo, then a refused write")
            << Steps{{"hr 1 16", {kEcho, hr1}}, {"set 5 7", {kEcho, frame({0x86, 2})}}}
            << "ECHO late EXC echo(4)";
        QTest::newRow("echo, then a write done")
            << Steps{{"hr 1 16", {kEcho, hr1}}, {"on 2", {kEcho, kEcho}, 0}}
            << "ECHO late OK echo(4)";
        QTest::newRow("echo of a read far up")
            << Steps{{"hr 1025 16", {kEcho, hr1}}, {"hr 1025 16", {kEcho, hr2}, 200}}
            << "ECHO late OK echo(4)";
        const Step spoilt{"hr 1 16", {damaged(hr1)}}, read{"hr 1 16", {hr2}, 200};
        const Step refusalSpoilt{"hr 1 16", {damaged(frame({0x83, 2}))}};
        QTest::newRow("a damaged answer or exception, then the same shape")
            << Steps{spoilt, read, refusalSpoilt, read} << "BAD[37] OK BAD[5] OK";
        QTest::newRow("a damaged frame while the same shape is owed")
            << Steps{{"hr 1 2", {}},
                     {"hr 1 2", {damaged(registers(3, 1, 2))}},
                     {"hr 1 2", {registers(3, 5, 2)}}}
            << "TIMEOUT BAD[9] AMBIGUOUS(1)";
        QTest::newRow("byte count 0, CRC good") << Steps{{"hr 1 2", {frame({3, 0})}}} << "BAD[5]";
        QTest::newRow("byte count asks for more than comes")
            << Steps{{"di 1", {{0x01, 0x02, 0x04, 0x49, 0x92, 0xEF, 0x84}}}} << "BAD[7]";
        QTest::newRow("byte count short of the count asked")
            << Steps{{"hr 1 2", {frame({3, 2, 0, 1})}}} << "BAD[7]";
        QTest::newRow("a stray frame and noise after a reply, each logged")
            << Steps{{"hr 1 2", {registers(3, 1, 2), registers(3, 1, 2), {0x55, 0x00, 0xAA}}, 1},
                     {"hr 1 2", {registers(3, 5, 2)}, 5}}
            << "OK late late[55 00 aa] OK";
        QTest::newRow("noise before a reply")
            << Steps{{"hr 1 2", {{0x55, 0x00, 0xAA}, registers(3, 1, 2)}}} << "BAD[12]";
    }

    void eachCallGetsItsOwnAnswer() {
        QFETCH(Steps, steps);
        QFETCH(QString, log);
        test_slave::TestSlave line(kSlave);
        std::vector<Answer> answers;
        for (const Step& s : steps) {
            if (!s.call.startsWith("wait") && !s.call.startsWith("reopen")) {
                answers.push_back(s.answer);
            }
        }
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
