#include <QTest>
#include <cmath>
#include <limits>

#include "LeadingNumber.h"

class tst_LeadingNumber : public QObject {
    Q_OBJECT
  private slots:
    void number_data();
    void number();
    void rounding_data();
    void rounding();
};

void tst_LeadingNumber::number_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("list item with trailing blank") << "19 " << 19.0;
    QTest::newRow("code before colon") << "2:12正反，34计数 " << 2.0;
    QTest::newRow("letters after digits") << "12abc" << 12.0;
    QTest::newRow("blank inside digits") << "6 5" << 65.0;
    QTest::newRow("tab and line feed inside") << "1\t2\n3" << 123.0;
    QTest::newRow("carriage return stops") << "1\r2" << 1.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blanks only") << "   " << 0.0;
    QTest::newRow("port name") << "COM3" << 0.0;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("exponent with sign") << "25E-1" << 2.5;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("exponent sign without digits") << "7e+x" << 7.0;
    QTest::newRow("fraction") << "12.5" << 12.5;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("negative") << "-42" << -42.0;
    QTest::newRow("plus sign") << "+42" << 42.0;
    QTest::newRow("blank after sign") << "- 4 2" << -42.0;
    QTest::newRow("two signs") << "--1" << 0.0;
    QTest::newRow("hexadecimal") << "&H1F" << 31.0;
    QTest::newRow("hexadecimal lower case") << "&hff" << 255.0;
    QTest::newRow("hexadecimal stops at g") << "&H1G" << 1.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("octal stops at 8") << "&O78" << 7.0;
    QTest::newRow("ampersand alone") << "&" << 0.0;
    QTest::newRow("ampersand other letter") << "&X1" << 0.0;
    QTest::newRow("negative hexadecimal") << "-&H10" << -16.0;
    QTest::newRow("full-width digits are not digits") << "１２" << 0.0;
    QTest::newRow("full-width blank stops") << "1　2" << 1.0;
    QTest::newRow("comma is no decimal point") << "1,5" << 1.0;
    QTest::newRow("huge exponent") << "1e999" << inf;
    QTest::newRow("tiny exponent") << "1e-999" << 0.0;
    QTest::newRow("400 digits") << QString(400, u'9') << inf;
    QTest::newRow("tiny after 400 fraction zeros") << "0." + QString(400, u'0') + "1e5" << 0.0;
    QTest::newRow("400 fraction zeros then a huge exponent")
        << "0." + QString(400, u'0') + "1e800" << inf;
    QTest::newRow("long hexadecimal") << "&H" + QString(300, u'F') << inf;
}

void tst_LeadingNumber::number() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(leadingNumber(text), expected);
}

void tst_LeadingNumber::rounding_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");
    QTest::newRow("half to even down") << 12.5 << true << 12;
    QTest::newRow("half to even up") << 13.5 << true << 14;
    QTest::newRow("negative half") << -0.5 << true << 0;
    QTest::newRow("negative one and a half") << -1.5 << true << -2;
    QTest::newRow("largest") << 2147483647.0 << true << 2147483647;
    QTest::newRow("largest plus a little") << 2147483647.4 << true << 2147483647;
    QTest::newRow("rounds past largest") << 2147483647.5 << false << 0;
    QTest::newRow("smallest") << -2147483648.0 << true << int(-2147483648LL);
    QTest::newRow("smallest minus a half") << -2147483648.5 << true << int(-2147483648LL);
    QTest::newRow("below smallest") << -2147483649.0 << false << 0;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << 0;
}

void tst_LeadingNumber::rounding() {
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, expected);
    const auto result = roundToInt32(value);
    QCOMPARE(result.has_value(), fits);
    if (fits) {
        QCOMPARE(*result, expected);
    }
}

QTEST_APPLESS_MAIN(tst_LeadingNumber)
#include "tst_leadingnumber.moc"
