#include <QApplication>
#include <QFileInfo>
#include <QTest>
#include <QTranslator>

#include "Startup.h"

// Qt's own dialogs speak the user's Chinese, and Simplified Chinese to
// everyone else, as the program's own captions do.
class tst_QtTexts : public QObject {
    Q_OBJECT
  private slots:
    void qtTextsInChinese_data();
    void qtTextsInChinese();
    void programStartsWithThem();
};

void tst_QtTexts::qtTextsInChinese_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("cancel");
    QTest::newRow("mainland") << "zh_CN"
                              << "qtbase_zh_CN.qm"
                              << "取消";
    QTest::newRow("Taiwan") << "zh_TW"
                            << "qtbase_zh_TW.qm"
                            << "取消";
    QTest::newRow("Hong Kong, no file of its own") << "zh_HK"
                                                   << "qtbase_zh_CN.qm"
                                                   << "取消";
    QTest::newRow("English") << "en_US"
                             << "qtbase_zh_CN.qm"
                             << "取消";
    QTest::newRow("German") << "de_DE"
                            << "qtbase_zh_CN.qm"
                            << "取消";
}

void tst_QtTexts::qtTextsInChinese() {
    QFETCH(QString, user);
    QFETCH(QString, file);
    QFETCH(QString, cancel);
    QTranslator translator;
    QVERIFY2(loadQtTranslation(translator, QLocale(user)), "Qt's translations not installed");
    QCOMPARE(QFileInfo(translator.filePath()).fileName(), file);
    QCOMPARE(translator.translate("QPlatformTheme", "Cancel"), cancel);
}

// What the program sets before its first window, Qt's texts among it.
void tst_QtTexts::programStartsWithThem() {
    prepareApplication(*qApp);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "取消");
    QCOMPARE(QCoreApplication::applicationName(), "tq7310-panel");
    QVERIFY(!QGuiApplication::quitOnLastWindowClosed());
    QVERIFY(QGuiApplication::windowIcon().availableSizes().contains(QSize(256, 256)));
}

QTEST_MAIN(tst_QtTexts)
#include "tst_qttexts.moc"
