#include "TextFile.h"

#include <QFile>
#include <cerrno>

#include "SystemErrorText.h"

SaveOutcome writeTextFile(const QString& path, const QString& text) {
    QFile file(path);
    clearFileError();
    const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) &&
                       file.write(text.toUtf8()) >= 0 && file.flush();
    if (saved) {
        return {true, QStringLiteral("已保存：") + path};
    }
    // The system's reason, in the words of the one table; EIO where it left none.
    const int reason = lastFileError();
    const int error = reason != 0 ? reason : EIO;
    return {false, QStringLiteral("未能保存：") + systemErrorText(error, ErrorSubject::File)};
}
