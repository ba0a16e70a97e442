#pragma once

#include <QApplication>
#include <QLocale>
#include <QTranslator>

// Application-wide settings made before the first window opens, Qt's own
// translations among them.
void prepareApplication(QApplication& app);

// Loads Qt's own texts (its file dialogs, message boxes, buttons) into
// `translator` in the language of `user` when it is a Chinese Qt has, else in
// Simplified Chinese, as the rest of the program is; false when Qt's
// translations are not installed.
bool loadQtTranslation(QTranslator& translator, const QLocale& user);
