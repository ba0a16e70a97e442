#include <QTest>

#include "CoilCommands.h"
#include "ConfigWrite.h"
#include "PanelFixture.h"

class tst_Commands : public QObject, PanelFixture {
    Q_OBJECT
  private slots:
    void init();
    void coilButtons_data();
    void coilButtons();
    void twoClicksTwoWrites();
    void textRows_data();
    void textRows();
    void listRows_data();
    void listRows();
    void listRowBeyond32BitsWritesNothing();
    void clearCode();
    void retryOnFailureOnce_data();
    void retryOnFailureOnce();
    void retryUsesEarlierResultWhenDriverMissing();
    void noWriteForNonMembers_data();
    void noWriteForNonMembers();
};

void tst_Commands::init() {
    reset();
    linkParam[link_param::kPort] = 3;
    linkParam[link_param::kAddress] = 5;
}

void tst_Commands::coilButtons_data() {
    QTest::addColumn<QString>("array");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");  // empty: no call
    QTest::newRow("置位Y3") << "Command2" << 2 << "Set_0X_Bit1(3,5,3)";
    QTest::newRow("置位Y5, hidden") << "Command2" << 4 << "Set_0X_Bit1(3,5,5)";
    QTest::newRow("复位Y1") << "Command3" << 0 << "Rst_0X_Bit1(3,5,1)";
    QTest::newRow("复位Y4") << "Command3" << 3 << "Rst_0X_Bit1(3,5,4)";
    QTest::newRow("X3 清零16位") << "Command2A" << 2 << "Set_0X_Bit1(3,5,1002)";
    QTest::newRow("X1 清零16位") << "Command2A" << 0 << "Set_0X_Bit1(3,5,1000)";
    QTest::newRow("X1 清零32位") << "Command2B" << 0 << "Set_0X_Bit1(3,5,1004)";
    QTest::newRow("X4 清零32位") << "Command2B" << 3 << "Set_0X_Bit1(3,5,1007)";
    QTest::newRow("output index 5") << "Command2" << 5 << "";
    QTest::newRow("reset index -1") << "Command3" << -1 << "";
    QTest::newRow("clear16 index 4") << "Command2A" << 4 << "";
    QTest::newRow("clear32 index -1") << "Command2B" << -1 << "";
}

void tst_Commands::coilButtons() {
    QFETCH(QString, array);
    QFETCH(int, index);
    QFETCH(QString, expected);
    CoilCommands commands(linkParam, driver);
    if (array == "Command2") {
        commands.Command2_Click(index);
    } else if (array == "Command3") {
        commands.Command3_Click(index);
    } else if (array == "Command2A") {
        commands.Command2A_Click(index);
    } else {
        commands.Command2B_Click(index);
    }
    QCOMPARE(driver.calls, expected.isEmpty() ? QStringList() : QStringList{expected});
}

void tst_Commands::twoClicksTwoWrites() {
    CoilCommands commands(linkParam, driver);
    commands.Command2B_Click(1);
    commands.Command2B_Click(1);
    QCOMPARE(driver.calls, (QStringList{"Set_0X_Bit1(3,5,1005)", "Set_0X_Bit1(3,5,1005)"}));
}

void tst_Commands::textRows_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");  // empty: no call
    QTest::addColumn<QString>("note");      // what the panel says of it
    QTest::newRow("100") << 5 << "100"
                         << "Set_4X_D1(3,5,6,100)"
                         << "";
    QTest::newRow("65535") << 5 << "65535"
                           << "Set_4X_D1(3,5,6,65535)"
                           << "";
    QTest::newRow("65536") << 5 << "65536"
                           << ""
                           << "超出范围，未写入";
    QTest::newRow("65535.4") << 5 << "65535.4"
                             << ""
                             << "超出范围，未写入";
    QTest::newRow("-1") << 5 << "-1"
                        << ""
                        << "超出范围，未写入";
    QTest::newRow("-0.4") << 5 << "-0.4"
                          << ""
                          << "超出范围，未写入";
    QTest::newRow("empty") << 7 << ""
                           << "Set_4X_D1(3,5,8,0)"
                           << "按 0 写入";
    QTest::newRow("abc") << 7 << "abc"
                         << "Set_4X_D1(3,5,8,0)"
                         << "按 0 写入";
    QTest::newRow("12.5") << 9 << "12.5"
                          << "Set_4X_D1(3,5,10,12)"
                          << "";
    QTest::newRow("13.5") << 9 << "13.5"
                          << "Set_4X_D1(3,5,10,14)"
                          << "";
    QTest::newRow("blanks around") << 9 << "  42  "
                                   << "Set_4X_D1(3,5,10,42)"
                                   << "";
    QTest::newRow("hexadecimal") << 11 << "&HFFFF"
                                 << "Set_4X_D1(3,5,12,65535)"
                                 << "";
    QTest::newRow("exponent beyond") << 11 << "1e5"
                                     << ""
                                     << "超出范围，未写入";
    QTest::newRow("sign alone") << 7 << "-"
                                << "Set_4X_D1(3,5,8,0)"
                                << "按 0 写入";
    QTest::newRow("hexadecimal without digits") << 7 << "&H"
                                                << "Set_4X_D1(3,5,8,0)"
                                                << "按 0 写入";
    QTest::newRow("hexadecimal of one digit") << 7 << "&H1"
                                              << "Set_4X_D1(3,5,8,1)"
                                              << "";
    QTest::newRow("point then digit") << 7 << ".4"
                                      << "Set_4X_D1(3,5,8,0)"
                                      << "";
    QTest::newRow("huge") << 11 << QString(500, u'9') << ""
                          << "超出范围，未写入";
}

void tst_Commands::textRows() {
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QFETCH(QString, note);
    QCOMPARE(configWriteNote(row, text), note);
    linkParam[link_param::kWriteValue] = 777;
    window.texts[memberName("Text1", row)] = text;
    ConfigWrite(linkParam, driver, window).Command2AC_Click(row);
    QCOMPARE(driver.calls, expected.isEmpty() ? QStringList() : QStringList{expected});
    if (expected.isEmpty()) {
        QCOMPARE(linkParam[link_param::kWriteValue], 777);
    }
}

void tst_Commands::listRows_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first entry after start") << 0 << "Combo3"
                                             << "0:DI开关量输入 "
                                             << "Set_4X_D1(3,5,1,0)";
    QTest::newRow("DI1 clear 32") << 0 << "Combo3"
                                  << "2:清零32位X1计数 "
                                  << "Set_4X_D1(3,5,1,2)";
    QTest::newRow("DI4") << 3 << "Combo6"
                         << "1:清零16位X1计数 "
                         << "Set_4X_D1(3,5,4,1)";
    QTest::newRow("DO1 alarm") << 4 << "Combo7"
                               << "1:预置值到达报警 "
                               << "Set_4X_D1(3,5,5,1)";
    QTest::newRow("DO2") << 6 << "Combo8"
                         << "0:通讯控制功能 "
                         << "Set_4X_D1(3,5,7,0)";
    QTest::newRow("DO3") << 8 << "Combo9"
                         << "1:预置值到达报警 "
                         << "Set_4X_D1(3,5,9,1)";
    QTest::newRow("DO4") << 10 << "Combo10"
                         << "1:预置值到达报警 "
                         << "Set_4X_D1(3,5,11,1)";
    QTest::newRow("frequency mode") << 12 << "Combo11"
                                    << "1:频率测量 "
                                    << "Set_4X_D1(3,5,13,1)";
    QTest::newRow("up/down mode") << 12 << "Combo11"
                                  << "2:12正反，34计数 "
                                  << "Set_4X_D1(3,5,13,2)";
    QTest::newRow("typed 7") << 0 << "Combo3"
                             << "7"
                             << "Set_4X_D1(3,5,1,7)";
    QTest::newRow("typed above 65535 goes unchanged") << 0 << "Combo3"
                                                      << "70000"
                                                      << "Set_4X_D1(3,5,1,70000)";
    QTest::newRow("typed negative") << 12 << "Combo11"
                                    << "-3"
                                    << "Set_4X_D1(3,5,13,-3)";
}

void tst_Commands::listRows() {
    QFETCH(int, row);
    QFETCH(QString, combo);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    window.texts[combo] = text;
    ConfigWrite(linkParam, driver, window).Command2AC_Click(row);
    QCOMPARE(driver.calls, QStringList{expected});
    QCOMPARE(linkParam[link_param::kWriteValue], expected.section(',', 3).chopped(1).toInt());
}

void tst_Commands::listRowBeyond32BitsWritesNothing() {
    ConfigWrite write(linkParam, driver, window);
    window.texts["Combo3"] = "2";
    write.Command2AC_Click(0);
    window.texts["Combo3"] = "99999999999";
    write.Command2AC_Click(0);
    QCOMPARE(driver.calls, QStringList{"Set_4X_D1(3,5,1,2)"});
}

void tst_Commands::clearCode() {
    linkParam[link_param::kWriteValue] = 123;
    ConfigWrite(linkParam, driver, window).Command2AC_Click(15);
    QCOMPARE(driver.calls, QStringList{"Set_4X_D1(3,5,1004,7305)"});
    QCOMPARE(linkParam[link_param::kWriteValue], 123);
}

void tst_Commands::retryOnFailureOnce_data() {
    QTest::addColumn<QList<int>>("results");
    QTest::addColumn<int>("expectedCalls");
    QTest::addColumn<int>("finalResult");
    QTest::newRow("fails then succeeds") << QList<int>{-8888, 0} << 2 << 0;
    QTest::newRow("fails twice") << QList<int>{-8888, -8888} << 2 << -8888;
    QTest::newRow("other negative code") << QList<int>{-1} << 1 << -1;
    QTest::newRow("success") << QList<int>{0} << 1 << 0;
}

void tst_Commands::retryOnFailureOnce() {
    QFETCH(QList<int>, results);
    QFETCH(int, expectedCalls);
    QFETCH(int, finalResult);
    driver.writeResults.assign(results.begin(), results.end());
    ConfigWrite write(linkParam, driver, window);
    write.Command2AC_Click(15);
    QCOMPARE(driver.calls.size(), expectedCalls);
    QCOMPARE(driver.calls.last(), "Set_4X_D1(3,5,1004,7305)");
    QCOMPARE(write.WriteResult, finalResult);
}

void tst_Commands::retryUsesEarlierResultWhenDriverMissing() {
    ConfigWrite write(linkParam, driver, window);
    write.WriteResult = -8888;
    driver.available = false;
    window.texts["Text1(5)"] = "10";
    write.Command2AC_Click(5);
    // The call could not be made, so the earlier -8888 asks for one repeat.
    QCOMPARE(driver.calls.size(), 2);
    QCOMPARE(write.WriteResult, -8888);
}

void tst_Commands::noWriteForNonMembers_data() {
    QTest::addColumn<int>("index");
    QTest::newRow("13") << 13;
    QTest::newRow("14") << 14;
    QTest::newRow("16") << 16;
    QTest::newRow("-1") << -1;
    QTest::newRow("32767") << 32767;
}

void tst_Commands::noWriteForNonMembers() {
    QFETCH(int, index);
    ConfigWrite(linkParam, driver, window).Command2AC_Click(index);
    QVERIFY(driver.calls.isEmpty());
}

QTEST_APPLESS_MAIN(tst_Commands)
#include "tst_commands.moc"
