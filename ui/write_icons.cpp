// Writes the program icon as hicolor theme files, <folder>/<N>x<N>/apps/
// tq7310-panel.png and <folder>/scalable/apps/tq7310-panel.svg, for the
// desktop entry; run by the build.
#include <QDir>
#include <QSaveFile>
#include <QString>
#include <cstdio>

#include "ProgramIcon.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    for (int size : kProgramIconSizes) {
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(folder) ||
            !programIconImage(size).save(folder + QStringLiteral("/tq7310-panel.png"))) {
            std::fprintf(stderr, "cannot write icons into %s\n", qPrintable(folder));
            return 1;
        }
    }
    const QString scalable = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/scalable/apps");
    QSaveFile svg(scalable + QStringLiteral("/tq7310-panel.svg"));
    if (!QDir().mkpath(scalable) || !svg.open(QIODevice::WriteOnly) ||
        svg.write(programIconSvg()) < 0 || !svg.commit()) {
        std::fprintf(stderr, "cannot write the scalable icon into %s\n", qPrintable(scalable));
        return 1;
    }
    return 0;
}
