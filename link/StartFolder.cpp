#include "StartFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kKey = QStringLiteral("lastFolder");

QSettings settings() {
    return QSettings(QStringLiteral("tq7310-panel"), QStringLiteral("tq7310-panel"));
}

}  // namespace

QString firstExistingFolder(const QString& remembered, const QString& documents) {
    for (const QString& folder : {remembered, documents}) {
        if (!folder.isEmpty() && QDir(folder).exists()) {
            return folder;
        }
    }
    return QDir::homePath();
}

QString startFolder() {
    return firstExistingFolder(settings().value(kKey).toString(),
                               QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

QString rememberFolderOf(const QString& chosen) {
    if (!chosen.isEmpty()) {
        settings().setValue(kKey, QFileInfo(chosen).absolutePath());
    }
    return chosen;
}
