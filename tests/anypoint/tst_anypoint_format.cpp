// A row's registers as numbers or text in each format and byte order and
// back, what device manuals' point numbers mean, and values in their units
// typed back to raw; what does not fit is refused, not cut.
#include <QtTest>

#include "ManualAddress.h"
#include "PointFormat.h"
#include "PointRow.h"
#include "Scaling.h"

using anypoint::Format;
using Registers = std::vector<std::uint16_t>;
Q_DECLARE_METATYPE(Format)
Q_DECLARE_METATYPE(anypoint::Table)
Q_DECLARE_METATYPE(Registers)

class tst_AnyPointFormat : public QObject {
    Q_OBJECT
  private slots:
    void readAndWritten_data();
    void readAndWritten();
    void everyFormatNamedApart();
    void manualAddress_data();
    void manualAddress();
    void typedInUnits_data();
    void typedInUnits();
    void pointsNumbered_data();
    void pointsNumbered();
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
    QTest::newRow("hex") << Format::Hex << " 0x12ab " << Registers{0x12AB} << "0x12AB";
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
    // 0x01020304 and 0x0102030405060708 in every byte order.
    QTest::newRow("32 ABCD") << Format::Unsigned32 << "16909060" << Registers{0x0102, 0x0304} << "";
    QTest::newRow("32 CDAB") << Format::Unsigned32LowFirst << "16909060"
                             << Registers{0x0304, 0x0102} << "";
    QTest::newRow("32 BADC") << Format::Unsigned32BADC << "16909060" << Registers{0x0201, 0x0403}
                             << "";
    QTest::newRow("32 DCBA") << Format::Unsigned32DCBA << "16909060" << Registers{0x0403, 0x0201}
                             << "";
    QTest::newRow("signed 32 DCBA")
        << Format::Signed32DCBA << "-2" << Registers{0xFEFF, 0xFFFF} << "";
    QTest::newRow("float BADC") << Format::Float32BADC << "-1.5" << Registers{0xC0BF, 0} << "";
    QTest::newRow("float DCBA") << Format::Float32DCBA << "0.1" << Registers{0xCDCC, 0xCC3D} << "";
    QTest::newRow("64 ABCDEFGH") << Format::Unsigned64 << "72623859790382856"
                                 << Registers{0x0102, 0x0304, 0x0506, 0x0708} << "";
    QTest::newRow("64 GHEFCDAB") << Format::Unsigned64LowFirst << "72623859790382856"
                                 << Registers{0x0708, 0x0506, 0x0304, 0x0102} << "";
    QTest::newRow("64 BADCFEHG") << Format::Unsigned64BADC << "72623859790382856"
                                 << Registers{0x0201, 0x0403, 0x0605, 0x0807} << "";
    QTest::newRow("64 HGFEDCBA") << Format::Unsigned64DCBA << "72623859790382856"
                                 << Registers{0x0807, 0x0605, 0x0403, 0x0201} << "";
    QTest::newRow("64 top") << Format::Unsigned64 << "18446744073709551615"
                            << Registers{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF} << "";
    QTest::newRow("64 past") << Format::Unsigned64 << "18446744073709551616" << Registers{} << "";
    QTest::newRow("64 negative") << Format::Unsigned64 << "-1" << Registers{} << "";
    QTest::newRow("signed 64 bottom")
        << Format::Signed64BADC << "-9223372036854775808" << Registers{0x0080, 0, 0, 0} << "";
    QTest::newRow("signed 64 past")
        << Format::Signed64 << "9223372036854775808" << Registers{} << "";
    QTest::newRow("double") << Format::Float64 << "1.5" << Registers{0x3FF8, 0, 0, 0} << "";
    QTest::newRow("double HGFEDCBA")
        << Format::Float64DCBA << "-0.1" << Registers{0x9A99, 0x9999, 0x9999, 0xB9BF} << "";
    QTest::newRow("double too large") << Format::Float64LowFirst << "1e309" << Registers{} << "";
    QTest::newRow("text") << Format::Text << "AB" << Registers{0x4142, 0} << "";
    QTest::newRow("text, low byte first")
        << Format::TextSwapped << "ABC" << Registers{0x4241, 0x0043} << "";
    QTest::newRow("text, a byte not printable")
        << Format::Text << "a\\\\\\x01" << Registers{0x615C, 0x0100} << "";
    QTest::newRow("text filling the row")
        << Format::Text << "ABCD" << Registers{0x4142, 0x4344} << "";
    QTest::newRow("text longer than the row") << Format::Text << "ABCDE" << Registers{} << "";
    QTest::newRow("text not ASCII") << Format::Text << "温" << Registers{} << "";
    QTest::newRow("text, a broken escape")
        << Format::Text << "\\\\x4" << Registers{0x5C78, 0x3400} << "";
    QTest::newRow("text, an escape not hex") << Format::Text << "\\x4G" << Registers{} << "";
    QTest::newRow("text, an escape cut") << Format::Text << "A\\x4" << Registers{} << "";
}

void tst_AnyPointFormat::readAndWritten() {
    QFETCH(Format, format);
    QFETCH(QString, typed);
    QFETCH(Registers, registers);
    QFETCH(QString, shown);
    QCOMPARE(anypoint::registersOf(format, typed, 2).value_or(Registers{}), registers);
    if (!registers.empty()) {
        QCOMPARE(anypoint::valueTexts(format, registers),
                 QStringList(shown.isEmpty() ? typed : shown));
        // A wide value short of its registers reads as not there; text is
        // one value, the whole row.
        const int per = anypoint::registersPerValue(format);
        const QStringList short3 = anypoint::valueTexts(format, Registers(3, 0));
        QCOMPARE(short3.size(), per == 0 ? 1 : (3 + per - 1) / per);
        QCOMPARE(short3.last() == "—", per == 2 || per == 4);
        const auto numbers = anypoint::valueNumbers(format, registers);
        QCOMPARE(numbers.size(), std::size_t{1});
        QCOMPARE(numbers[0].has_value(), !anypoint::isText(format));
        QVERIFY(anypoint::isText(format) || format == Format::Hex || format == Format::Binary ||
                static_cast<float>(*numbers[0]) == typed.trimmed().toFloat());
    }
}

void tst_AnyPointFormat::everyFormatNamedApart() {
    QSet<QString> names;
    for (Format format : anypoint::allFormats()) {
        names << anypoint::formatName(format);
    }
    QCOMPARE(names.size(), anypoint::kFormatCount);
    // Files saved before byte orders were named kept these two.
    QVERIFY(anypoint::formatName(Format::Float32LowFirst).endsWith("CDAB（低字在前）"));
}

void tst_AnyPointFormat::manualAddress_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("base");
    QTest::addColumn<QString>("said");  // empty: not the manuals' notation

    QTest::newRow("holding") << "40001" << 1 << "40001 = 保持寄存器 第 1 点";
    QTest::newRow("holding, from 0") << "40001" << 0 << "40001 = 保持寄存器 第 0 点";
    QTest::newRow("six digits") << "465536" << 1 << "465536 = 保持寄存器 第 65536 点";
    QTest::newRow("input") << " 39999" << 1 << "39999 = 输入寄存器 第 9999 点";
    QTest::newRow("discrete") << "100010" << 1 << "100010 = 离散输入 第 10 点";
    QTest::newRow("coil") << "00017" << 1 << "00017 = 线圈 第 17 点";
    QTest::newRow("no table 2") << "20001" << 1 << "";
    QTest::newRow("point 0") << "40000" << 1 << "";
    QTest::newRow("past the sixth digit's range") << "465537" << 1 << "";
    QTest::newRow("four digits") << "4001" << 1 << "";
    QTest::newRow("seven digits") << "4000001" << 1 << "";
    QTest::newRow("a letter") << "4a001" << 1 << "";
    QTest::newRow("a wide digit") << "４0001" << 1 << "";
}

void tst_AnyPointFormat::manualAddress() {
    QFETCH(QString, typed);
    QFETCH(int, base);
    QFETCH(QString, said);
    const auto manual = anypoint::readManualAddress(typed);
    QCOMPARE(manual ? anypoint::manualAddressText(typed, *manual, base) : QString(), said);
}

void tst_AnyPointFormat::typedInUnits_data() {
    QTest::addColumn<Format>("format");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("offset");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("raw");    // empty: refused
    QTest::addColumn<QString>("shown");  // the raw value read back in units, °C

    QTest::newRow("tenths") << Format::Signed << 0.1 << 0.0 << "23.5"
                            << "235"
                            << "23.5 °C";
    QTest::newRow("tenths, unit typed") << Format::Signed << 0.1 << 0.0 << "-23.5 °C"
                                        << "-235"
                                        << "-23.5 °C";
    QTest::newRow("between two raw values") << Format::Signed << 0.1 << 0.0 << "23.55"
                                            << ""
                                            << "";
    QTest::newRow("offset") << Format::Unsigned << 0.5 << -40.0 << "10"
                            << "100"
                            << "10.0 °C";
    QTest::newRow("float") << Format::Float32 << 2.0 << 0.0 << "2.5"
                           << "1.25"
                           << "2.5 °C";
    QTest::newRow("hex") << Format::Hex << 1.0 << 0.0 << "255"
                         << "ff"
                         << "255.0 °C";
    QTest::newRow("hex, 0") << Format::Hex << 1.0 << 0.0 << "0"
                            << "0"
                            << "0.0 °C";
    QTest::newRow("hex, negative") << Format::Hex << 1.0 << 0.0 << "-1"
                                   << ""
                                   << "";
    QTest::newRow("binary") << Format::Binary << 1.0 << 1.0 << "6"
                            << "101"
                            << "6.0 °C";
    QTest::newRow("scale 0") << Format::Unsigned << 0.0 << 0.0 << "0"
                             << ""
                             << "";
    QTest::newRow("not a number") << Format::Unsigned << 1.0 << 0.0 << "abc"
                                  << ""
                                  << "";
    QTest::newRow("a large value missing a whole raw value by its division")
        << Format::Unsigned32 << 0.1 << 0.0 << "123456789.1"
        << "1234567891"
        << "123456789.1 °C";
    QTest::newRow("past 2^53") << Format::Unsigned64 << 1.0 << 0.0 << "1e16"
                               << ""
                               << "";
}

void tst_AnyPointFormat::typedInUnits() {
    QFETCH(Format, format);
    QFETCH(double, scale);
    QFETCH(double, offset);
    QFETCH(QString, typed);
    QFETCH(QString, raw);
    QFETCH(QString, shown);
    const anypoint::PointLabel label{"", scale, offset, 1, "°C"};
    const auto read = anypoint::rawTextOf(label, format, typed);
    QCOMPARE(read.value_or(QString()), raw);
    if (read) {
        const auto registers = anypoint::registersOf(format, *read);
        QVERIFY(registers);
        QCOMPARE(anypoint::scaledText(label, *anypoint::valueNumbers(format, *registers)[0]),
                 shown);
    }
}

void tst_AnyPointFormat::pointsNumbered_data() {
    QTest::addColumn<anypoint::Table>("table");
    QTest::addColumn<Format>("format");
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("index");  // of the value; value 0 is named 温度
    QTest::addColumn<int>("values");
    QTest::addColumn<QString>("title");  // of value `index`, its first point as shown

    using anypoint::Table;
    QTest::newRow("named") << Table::HoldingRegisters << Format::Unsigned << 1 << 0 << 8 << "温度";
    QTest::newRow("from 1") << Table::HoldingRegisters << Format::Unsigned << 1 << 2 << 8
                            << "从站3 保持寄存器 第 7 点";
    QTest::newRow("from 0") << Table::InputRegisters << Format::Unsigned << 0 << 2 << 8
                            << "从站3 输入寄存器 第 6 点";
    QTest::newRow("64-bit") << Table::HoldingRegisters << Format::Float64 << 1 << 1 << 2
                            << "从站3 保持寄存器 第 9 点";
    QTest::newRow("coils whatever the format")
        << Table::Coils << Format::Float64 << 1 << 7 << 8 << "从站3 线圈 第 12 点";
    QTest::newRow("text, one value")
        << Table::HoldingRegisters << Format::TextSwapped << 1 << 0 << 1 << "温度";
}

void tst_AnyPointFormat::pointsNumbered() {
    QFETCH(anypoint::Table, table);
    QFETCH(Format, format);
    QFETCH(int, base);
    QFETCH(int, index);
    QFETCH(int, values);
    QFETCH(QString, title);
    anypoint::PointRow row;
    row.address = 3;
    row.table = table;
    row.format = format;
    row.first = 5;
    row.count = 8;
    row.base = base;
    row.labels.resize(1);
    row.labels[0].name = "温度";
    QCOMPARE(anypoint::valueCount(row), values);
    QCOMPARE(anypoint::pointTitle(row, index), title);
}

QTEST_GUILESS_MAIN(tst_AnyPointFormat)
#include "tst_anypoint_format.moc"
