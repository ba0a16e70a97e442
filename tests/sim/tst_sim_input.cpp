// Standard input, chunk by chunk, gathered into command lines.

#include <QtTest>

#include "LineAssembler.h"

namespace {

constexpr int kMax = int(sim::LineAssembler::kMaxLine);
// What one read of standard input takes at most.
constexpr int kReadSize = 1024;

struct Fed {
    QByteArrayList lines;
    int gaveUp = 0;
    int held = 0;
};

Fed feedAll(const QByteArrayList& chunks) {
    sim::LineAssembler input;
    Fed fed;
    for (const QByteArray& chunk : chunks) {
        const auto lines = input.feed({chunk.constData(), std::size_t(chunk.size())});
        for (const std::string& line : lines.complete) {
            fed.lines << QByteArray::fromStdString(line);
        }
        fed.gaveUp += lines.gaveUp ? 1 : 0;
    }
    fed.held = int(input.held());
    return fed;
}

QByteArrayList split(const QByteArray& bytes, int size) {
    QByteArrayList chunks;
    for (int at = 0; at < bytes.size(); at += size) {
        chunks << bytes.mid(at, size);
    }
    return chunks;
}

}  // namespace

class TestSimInput : public QObject {
    Q_OBJECT

  private slots:
    void gathersLines_data();
    void gathersLines();
    void chunkingDoesNotMatter_data();
    void chunkingDoesNotMatter();
};

void TestSimInput::gathersLines_data() {
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<int>("gaveUp");
    QTest::addColumn<int>("held");
    const QByteArray longest(kMax, 'a');
    const QByteArray over(kMax + 1, 'b');

    QTest::newRow("one line") << QByteArrayList{"show\n"} << QByteArrayList{"show"} << 0 << 0;
    QTest::newRow("partial lines")
        << QByteArrayList{"sh", "ow", "\n"} << QByteArrayList{"show"} << 0 << 0;
    QTest::newRow("several lines in one chunk")
        << QByteArrayList{"di 1 1\nx 2 0\nshow\n"} << QByteArrayList{"di 1 1", "x 2 0", "show"} << 0
        << 0;
    QTest::newRow("lines across chunks")
        << QByteArrayList{"di 1", " 1\nsh", "ow\nq"} << QByteArrayList{"di 1 1", "show"} << 0 << 1;
    QTest::newRow("CR LF keeps the CR")
        << QByteArrayList{"show\r\n"} << QByteArrayList{"show\r"} << 0 << 0;
    QTest::newRow("CR alone ends nothing")
        << QByteArrayList{"di 1 1\rshow\n"} << QByteArrayList{"di 1 1\rshow"} << 0 << 0;
    QTest::newRow("empty lines") << QByteArrayList{"\n\n"} << QByteArrayList{"", ""} << 0 << 0;
    QTest::newRow("empty chunks") << QByteArrayList{"", "show", "", "\n", ""}
                                  << QByteArrayList{"show"} << 0 << 0;
    QTest::newRow("NUL kept") << QByteArrayList{QByteArray("a\0b\n", 4)}
                              << QByteArrayList{QByteArray("a\0b", 3)} << 0 << 0;
    QTest::newRow("end of input in a line")
        << QByteArrayList{"show\nqui"} << QByteArrayList{"show"} << 0 << 3;
    QTest::newRow("longest line") << QByteArrayList{longest, "\n"} << QByteArrayList{longest} << 0
                                  << 0;
    QTest::newRow("one byte too long: dropped to its end")
        << QByteArrayList{over, "still the same line\nshow\n"} << QByteArrayList{"show"} << 1 << 0;
    QTest::newRow("long line ending in its chunk")
        << QByteArrayList{over + "\nshow\n"} << QByteArrayList{over, "show"} << 0 << 0;
    // 12000 bytes in reads of 1024 pass the limit twice: given up with 5120
    // bytes held, and again 5120 bytes later.
    QTest::newRow("very long line") << split(QByteArray(12000, 'c') + "\nshow\n", kReadSize)
                                    << QByteArrayList{"show"} << 2 << 0;
    QTest::newRow("given up, then end of input")
        << split(QByteArray(5000, 'd'), kReadSize) << QByteArrayList{} << 1 << 0;
}

void TestSimInput::gathersLines() {
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArrayList, lines);
    QFETCH(int, gaveUp);
    QFETCH(int, held);
    const Fed fed = feedAll(chunks);
    QCOMPARE(fed.lines, lines);
    QCOMPARE(fed.gaveUp, gaveUp);
    QCOMPARE(fed.held, held);
}

void TestSimInput::chunkingDoesNotMatter_data() {
    QTest::addColumn<int>("size");
    for (int size : {1, 2, 3, 7, 64, kReadSize}) {
        QTest::addRow("%d", size) << size;
    }
}

void TestSimInput::chunkingDoesNotMatter() {
    // Lines within the limit come out the same however the input is cut.
    QFETCH(int, size);
    const QByteArray script =
        "di 1 1\r\n\nx 2 0\ncount 3 77\n" + QByteArray(kMax, 'e') + "\nfreq 4 100\nsho";
    const Fed whole = feedAll({script});
    const Fed cut = feedAll(split(script, size));
    QCOMPARE(cut.lines, whole.lines);
    QCOMPARE(cut.lines.size(), 6);
    QCOMPARE(cut.gaveUp, 0);
    QCOMPARE(cut.held, 3);
}

QTEST_GUILESS_MAIN(TestSimInput)
#include "tst_sim_input.moc"
