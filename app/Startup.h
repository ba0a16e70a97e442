#pragma once

#include <QApplication>
#include <QLocale>
#include <QTranslator>
#include <optional>

// What the command line asks of the program. It is read before the
// QApplication, which needs a display, so --help and --version answer
// without one.
struct CommandLine {
    // Set when the command line was answered (--help, --version) or refused
    // (an unknown option): the program ends with this status, no window.
    std::optional<int> exitStatus;
    // The workspace file to open, as Qt read its name; empty when none is given.
    QString workspace;
};

CommandLine readCommandLine(int argc, char* argv[]);

// Application-wide settings made before the first window opens, Qt's own
// translations among them.
void prepareApplication(QApplication& app);

// Loads Qt's own texts (its file dialogs, message boxes, buttons) into
// `translator` in the language of `user` when it is a Chinese Qt has, else in
// Simplified Chinese, as the rest of the program is; false when Qt's
// translations are not installed.
bool loadQtTranslation(QTranslator& translator, const QLocale& user);
