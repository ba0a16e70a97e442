#include "Startup.h"

#include <QCommandLineParser>
#include <QLibraryInfo>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "ProgramIcon.h"

namespace {

const QString kName = QStringLiteral("tq7310-panel");

// Qt's own options, which QApplication takes out of argv after the command
// line is read: accepted here and left to it.
struct QtOption {
    const char* name;
    bool takesValue;
};
const QtOption kQtOptions[] = {{"platform", true},        {"platformpluginpath", true},
                               {"platformtheme", true},   {"plugin", true},
                               {"qwindowgeometry", true}, {"qwindowicon", true},
                               {"qwindowtitle", true},    {"session", true},
                               {"display", true},         {"geometry", true},
                               {"style", true},           {"stylesheet", true},
                               {"reverse", false},        {"widgetcount", false}};

void installQtTranslation(QCoreApplication& app) {
    auto* qtTexts = new QTranslator(&app);
    if (loadQtTranslation(*qtTexts, QLocale())) {
        QCoreApplication::installTranslator(qtTexts);
    }
}

void print(std::FILE* stream, const QString& text) {
#ifdef _WIN32
    // A console shows UTF-16 whatever its code page; a pipe or file gets
    // UTF-8, which the local 8-bit code page could not hold the Chinese in.
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()),
                      static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::fputs(text.toUtf8().constData(), stream);
#else
    std::fputs(text.toLocal8Bit().constData(), stream);
#endif
}

}  // namespace

bool loadQtTranslation(QTranslator& translator, const QLocale& user) {
    const auto load = [&translator](const QLocale& locale) {
        return translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    };
    return (user.language() == QLocale::Chinese && load(user)) ||
           load(QLocale(QLocale::Chinese, QLocale::China));
}

CommandLine readCommandLine(int argc, char* argv[]) {
    // A QCoreApplication of its own, on a copy of argv, for the parser's
    // texts in Qt's Chinese; it is gone before the QApplication comes.
    std::vector<char*> copy(argv, argv + argc);
    copy.push_back(nullptr);
    int count = argc;
    QCoreApplication core(count, copy.data());
    QCoreApplication::setApplicationName(kName);
    QCoreApplication::setApplicationVersion(QStringLiteral(TQ7310_VERSION));
    installQtTranslation(core);

    QCommandLineParser parser;
    // As Qt reads its own: "-platform offscreen", "-style fusion".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("计数测频模块 TQ7310 测试程序"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("工作区文件"),
        QStringLiteral("启动时打开的工作区：“读写任意点”窗口的“保存工作区”保存的文件"),
        QStringLiteral("[工作区文件]"));
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name));
        if (qt.takesValue) {
            option.setValueName(QStringLiteral("value"));
        }
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    CommandLine line;
    const bool parsed = parser.parse(QCoreApplication::arguments());
    const QStringList files = parser.positionalArguments();
    if (!parsed || files.size() > 1) {
        const QString why = parsed ? QStringLiteral("只能打开一个工作区文件") : parser.errorText();
        print(stderr, kName + QStringLiteral(": ") + why + QLatin1Char('\n') + parser.helpText());
        line.exitStatus = 2;
    } else if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, parser.helpText());
        line.exitStatus = 0;
    } else if (parser.isSet(version)) {
        print(stdout, kName + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
                          QLatin1Char('\n'));
        line.exitStatus = 0;
    } else {
        line.workspace = files.value(0);
    }
    return line;
}

void prepareApplication(QApplication& app) {
    app.setApplicationName(kName);
    app.setApplicationVersion(QStringLiteral(TQ7310_VERSION));
    app.setWindowIcon(programIcon());
    installQtTranslation(app);
    // The splash closes before the main window opens, so for a moment no
    // window exists; the program ends by "退出" or by closing the splash
    // early, never by Qt noticing that the last window closed.
    app.setQuitOnLastWindowClosed(false);
}
