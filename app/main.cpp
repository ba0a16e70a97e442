#include <QApplication>
#include <QFile>
#include <memory>

#ifdef __linux__
#include <fcntl.h>
#endif

#include "LibraryDriver.h"
#include "Startup.h"
#include "frmSplash.h"
#include "ssqx.h"

namespace {

// The workspace file named on the command line, `decoded` as Qt read it. A
// name that is not in the locale's encoding does not survive the trip
// through QString: it is opened by its bytes in argv, without waiting on a
// pipe, and read through its descriptor.
QString workspacePath(int argc, char* argv[], const QString& decoded) {
#ifdef __linux__
    for (int i = argc - 1; i > 0; --i) {
        if (QString::fromLocal8Bit(argv[i]) == decoded && QFile::encodeName(decoded) != argv[i]) {
            if (const int fd = ::open(argv[i], O_RDONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
                return QStringLiteral("/proc/self/fd/%1").arg(fd);
            }
        }
    }
#else
    (void)argc;
    (void)argv;
#endif
    return decoded;
}

}  // namespace

int main(int argc, char* argv[]) {
    const CommandLine line = readCommandLine(argc, argv);
    if (line.exitStatus) {
        return *line.exitStatus;
    }
    // `tq7310-panel FILE` opens a saved workspace; without one the window
    // starts as it always does.
    const QString workspace =
        line.workspace.isEmpty() ? QString() : workspacePath(argc, argv, line.workspace);
    QApplication app(argc, argv);
    prepareApplication(app);
    LibraryDriver driver;
    std::unique_ptr<ssqx> mainWindow;
    frmSplash splash([&] {
        mainWindow = std::make_unique<ssqx>(driver);
        mainWindow->show();
        if (!workspace.isEmpty()) {
            mainWindow->openWorkspace(workspace);
        }
    });
    splash.show();
    return app.exec();
}
