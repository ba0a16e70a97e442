// A row's registers as numbers in each format and back; what does not fit
// is refused, not cut.
#include <QtTest>

#include "PointFormat.h"

using anypoint::Format;
using Registers = std::vector<std::uint16_t>;
Q_DECLARE_METATYPE(Format)
Q_DECLARE_METATYPE(Registers)

class tst_AnyPointFormat : public QObject {
    Q_OBJECT
  private slots:
    void readAndWritten_data();
    void readAndWritten();
};

void tst_AnyPointFormat::readAndWritten_data() {
    QTest::addColumn<Format>("format");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Registers>("registers");  // empty: refused
    QTest::addColumn<QString>("shown");        // as read back; empty: as typed

    QTest::newRow("unsigned top") << Format::Unsigned << "65535" << Registers{0xFFFF} << "";
    QTest::newRow("unsigned past") << Format::Unsigned << "65536" << Registers{} << "";
    QTest::newRow("unsigned negative") << Format::Unsigned << "-1" << Registers{} << "";
    QTest::newRow("signed bottom") << Format::Signed << "-32768" << Registers{0x8000} << "";
    QTest::newRow("signed past") << Format::Signed << "32768" << Registers{} << "";
    QTest::newRow("hex") << Format::Hex << " 0x00ff " << Registers{0x00FF} << "0x00FF";
    QTest::newRow("hex past") << Format::Hex << "10000" << Registers{} << "";
    QTest::newRow("binary") << Format::Binary << "0000 0000 0000 0101" << Registers{5}
                            << "0000000000000101";
    QTest::newRow("fraction") << Format::Unsigned << "1.5" << Registers{} << "";
    QTest::newRow("32-bit, high word first")
        << Format::Unsigned32 << "65537" << Registers{1, 1} << "";
    QTest::newRow("32-bit, low word first")
        << Format::Unsigned32LowFirst << "65536" << Registers{0, 1} << "";
    QTest::newRow("32-bit top") << Format::Unsigned32 << "4294967295" << Registers{0xFFFF, 0xFFFF}
                                << "";
    QTest::newRow("32-bit past") << Format::Unsigned32 << "4294967296" << Registers{} << "";
    QTest::newRow("signed 32-bit")
        << Format::Signed32LowFirst << "-2" << Registers{0xFFFE, 0xFFFF} << "";
    QTest::newRow("signed 32-bit past") << Format::Signed32 << "2147483648" << Registers{} << "";
    QTest::newRow("float") << Format::Float32 << "-1.5" << Registers{0xBFC0, 0} << "";
    QTest::newRow("float, low word first")
        << Format::Float32LowFirst << "1" << Registers{0, 0x3F80} << "";
    QTest::newRow("float too large") << Format::Float32 << "1e39" << Registers{} << "";
    QTest::newRow("not a number") << Format::Float32 << "abc" << Registers{} << "";
    QTest::newRow("nothing typed") << Format::Signed << " " << Registers{} << "";
}

void tst_AnyPointFormat::readAndWritten() {
    QFETCH(Format, format);
    QFETCH(QString, typed);
    QFETCH(Registers, registers);
    QFETCH(QString, shown);
    QCOMPARE(anypoint::registersOf(format, typed).value_or(Registers{}), registers);
    if (!registers.empty()) {
        QCOMPARE(anypoint::valueTexts(format, registers),
                 QStringList(shown.isEmpty() ? typed : shown));
        // A 32-bit value short of its second register reads as not there.
        QCOMPARE(anypoint::valueTexts(format, Registers(3, 0)).size(),
                 anypoint::registersPerValue(format) == 2 ? 2 : 3);
    }
}

QTEST_GUILESS_MAIN(tst_AnyPointFormat)
#include "tst_anypoint_format.moc"
