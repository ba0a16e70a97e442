// Whatever the operator types into any box of the window: the click that
// reads the box must not crash, must send exactly the number the leading-
// number rule gives (computed by hand in the table below, not by the rule's
// code), and must send nothing rather than a value cut down to fit.

#include <QTest>

#include "RecordingDriver.h"
#include "WindowDriver.h"
#include "ssqx.h"

namespace {

// What a box's number turns into: a 32-bit value, or nothing for a number
// that cannot be represented.
struct Outcome {
    bool fits;
    qint64 value;
};
constexpr Outcome none{false, 0};
constexpr Outcome is(qint64 v) {
    return {true, v};
}

struct Input {
    const char* name;
    QString text;
    Outcome number;        // the rounded leading number
    bool inRegisterRange;  // the unrounded number lies in 0..65535
};

constexpr int kPresetPort = 3;
constexpr int kPresetAddress = 5;
constexpr int kBaudCode = 1;    // 9600, chosen when the window loads
constexpr int kParityCode = 2;  // even

// Long enough to pass the line editor's own limit of 32767 characters.
constexpr int kLong = 100 * 1024;

QList<Input> inputs() {
    const QString blanks = QString(kLong, u' ');
    return {
        {"empty", "", is(0), true},
        {"blanks only", "   ", is(0), true},
        {"tabs and blanks", " \t \t ", is(0), true},
        {"blanks inside", " 1 2\t3 ", is(123), true},
        {"long digits", QString(kLong, u'9'), none, false},
        {"digit then long blanks", "7" + blanks, is(7), true},
        {"digits then long letters", "12" + QString(kLong, u'x'), is(12), true},
        {"long zero fraction", "0." + QString(kLong, u'0') + "1", is(0), true},
        {"long hex", "&H" + QString(kLong, u'F'), none, false},
        {"full-width digits", QStringLiteral("１２３"), is(0), true},
        {"ascii then full-width", QStringLiteral("12３"), is(12), true},
        {"arabic-indic digit", QStringLiteral("٣"), is(0), true},
        {"unicode minus", QStringLiteral("−5"), is(0), true},
        {"ideographic space", QStringLiteral("\u30005"), is(0), true},
        {"euro after digits", QStringLiteral("5€"), is(5), true},
        {"roman numeral", QStringLiteral("Ⅻ"), is(0), true},
        {"list item text", QStringLiteral("1:预置值到达报警 "), is(1), true},
        {"hex", "&H10", is(16), true},
        {"hex lower case", "&hff", is(255), true},
        {"hex with blanks", "& H 1 0", is(16), true},
        {"hex largest 32-bit", "&H7FFFFFFF", is(2147483647), false},
        {"hex beyond 32-bit", "&HFFFFFFFF", none, false},
        {"hex negative smallest", "-&H80000000", is(-2147483648LL), false},
        {"hex no digits", "&Hz", is(0), true},
        {"octal", "&O17", is(15), true},
        {"octal lower case", "&o777", is(511), true},
        {"octal bad digit", "&O8", is(0), true},
        {"octal largest 16-bit", "&O177777", is(65535), true},
        {"ampersand other", "&X12", is(0), true},
        {"exponent", "1e3", is(1000), true},
        {"exponent capital with fraction", "2.5E2", is(250), true},
        {"exponent without digits", "1e", is(1), true},
        {"exponent sign without digits", "1e+", is(1), true},
        {"negative exponent", "1.5e-1", is(0), true},
        {"exponent beyond 32-bit", "5e9", none, false},
        {"exponent underflow", "1e-400", is(0), true},
        {"exponent overflow", "1e400", none, false},
        {"plus", "+7", is(7), true},
        {"minus", "-7", is(-7), false},
        {"minus blank", "- 7", is(-7), false},
        {"double sign", "--7", is(0), true},
        {"mixed signs", "+-7", is(0), true},
        {"minus zero", "-0", is(0), true},
        {"small negative", "-0.4", is(0), false},
        {"half rounds to even 0", "0.5", is(0), true},
        {"half rounds to even 2 from 1.5", "1.5", is(2), true},
        {"half rounds to even 2 from 2.5", "2.5", is(2), true},
        {"leading point", ".75", is(1), true},
        {"largest 32-bit", "2147483647", is(2147483647), false},
        {"largest 32-bit plus fraction", "2147483647.4", is(2147483647), false},
        {"half past largest 32-bit", "2147483647.5", none, false},
        {"just beyond 32-bit", "2147483648", none, false},
        {"smallest 32-bit", "-2147483648", is(-2147483648LL), false},
        {"half below smallest 32-bit", "-2147483648.5", is(-2147483648LL), false},
        {"below smallest 32-bit", "-2147483648.6", none, false},
        {"just below 32-bit", "-2147483649", none, false},
        {"largest 16-bit", "65535", is(65535), true},
        {"largest 16-bit plus fraction", "65535.4", is(65535), false},
        {"half past largest 16-bit", "65535.5", is(65536), false},
        {"just beyond 16-bit", "65536", is(65536), false},
        {"half below 16-bit top", "65534.5", is(65534), true},
        {"zero", "0", is(0), true},
        {"smallest negative", "-1", is(-1), false},
    };
}

struct Box {
    const char* name;
    int row;  // the Command2AC member that writes it; -1 for the link boxes
    int holdingRegister;
    bool textBox;
};

const Box kBoxes[] = {
    {"Combo1", -1, 0, false},   {"Combo2", -1, 0, false},    {"Combo3", 0, 1, false},
    {"Combo4", 1, 2, false},    {"Combo5", 2, 3, false},     {"Combo6", 3, 4, false},
    {"Combo7", 4, 5, false},    {"Text1(5)", 5, 6, true},    {"Combo8", 6, 7, false},
    {"Text1(7)", 7, 8, true},   {"Combo9", 8, 9, false},     {"Text1(9)", 9, 10, true},
    {"Combo10", 10, 11, false}, {"Text1(11)", 11, 12, true}, {"Combo11", 12, 13, false},
};

QString call(const char* operation, std::initializer_list<qint64> args) {
    QStringList text;
    for (qint64 a : args) {
        text << QString::number(a);
    }
    return QStringLiteral("%1(%2)").arg(QLatin1String(operation), text.join(u','));
}

}  // namespace

class tst_OperatorInput : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void everyBox_data();
    void everyBox();

  private:
    RecordingDriver driver_;
    std::unique_ptr<ssqx> window_;
};

void tst_OperatorInput::initTestCase() {
    window_ = std::make_unique<ssqx>(driver_, [] {});
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void tst_OperatorInput::everyBox_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    // The calls that open or send, in order, that the click must make.
    QTest::addColumn<QStringList>("expected");

    for (const Box& box : kBoxes) {
        for (const Input& in : inputs()) {
            QStringList expected;
            const QString name = QLatin1String(box.name);
            if (name == "Combo1") {
                // A port number that does not fit leaves the one before.
                const qint64 port = in.number.fits ? in.number.value : kPresetPort;
                expected << call("OpenPort_Modbus", {port, kBaudCode, kParityCode});
            } else if (name == "Combo2") {
                // The address shows in the first transaction after opening.
                const qint64 address = in.number.fits ? in.number.value : kPresetAddress;
                expected << call("OpenPort_Modbus", {kPresetPort, kBaudCode, kParityCode})
                         << call("Set_0X_Bit1", {kPresetPort, address, 1});
            } else if (in.number.fits && (!box.textBox || in.inRegisterRange)) {
                expected << call("Set_4X_D1", {kPresetPort, kPresetAddress, box.holdingRegister,
                                               in.number.value});
            }
            QTest::addRow("%s %s", box.name, in.name) << name << in.text << expected;
        }
    }
}

void tst_OperatorInput::everyBox() {
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);

    // Every row starts from the same link entries, so a box whose number is
    // refused shows the entry left as it was.
    window_->linkParam()[link_param::kPort] = kPresetPort;
    window_->linkParam()[link_param::kAddress] = kPresetAddress;
    const test_support::WindowDriver ui(window_.get());
    if (box != "Combo1") {
        QVERIFY(ui.paste("Combo1", QString::number(kPresetPort)));
    }
    if (box != "Combo2") {
        QVERIFY(ui.paste("Combo2", QString::number(kPresetAddress)));
    }
    QVERIFY(ui.paste(box, text));
    driver_.calls.clear();

    const Box* row = nullptr;
    for (const Box& b : kBoxes) {
        if (box == QLatin1String(b.name)) {
            row = &b;
        }
    }
    QVERIFY(row);
    if (row->row < 0) {
        QVERIFY(ui.press("Command9"));
        if (box == "Combo2") {
            QVERIFY(ui.press("Command2(0)"));
        }
        QVERIFY(ui.press("Command10"));
    } else {
        QVERIFY(ui.press(memberName("Command2AC", row->row)));
    }
    // Polls are not started by anything here, so these are all the calls
    // that send or open.
    QCOMPARE(driver_.calls.filter(QRegularExpression("^(Set|Rst|Open)")), expected);
}

QTEST_MAIN(tst_OperatorInput)
#include "tst_operator_input.moc"
