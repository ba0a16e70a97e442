#include "Startup.h"

#include <QLibraryInfo>

#include "ProgramIcon.h"

bool loadQtTranslation(QTranslator& translator, const QLocale& user) {
    const auto load = [&translator](const QLocale& locale) {
        return translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    };
    return (user.language() == QLocale::Chinese && load(user)) ||
           load(QLocale(QLocale::Chinese, QLocale::China));
}

void prepareApplication(QApplication& app) {
    app.setApplicationName(QStringLiteral("tq7310-panel"));
    app.setWindowIcon(programIcon());
    auto* qtTexts = new QTranslator(&app);
    if (loadQtTranslation(*qtTexts, QLocale())) {
        QApplication::installTranslator(qtTexts);
    }
    // The splash closes before the main window opens, so for a moment no
    // window exists; the program ends by "退出" or by closing the splash
    // early, never by Qt noticing that the last window closed.
    app.setQuitOnLastWindowClosed(false);
}
