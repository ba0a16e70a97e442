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

// The workspace file named on the command line. A name that is not in the
// locale's encoding does not survive the trip through QString: it is opened
// by its bytes, without waiting on a pipe, and read through its descriptor.
QString workspacePath(const char* given, const QString& decoded) {
#ifdef __linux__
    if (QFile::encodeName(decoded) != given) {
        if (const int fd = ::open(given, O_RDONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
            return QStringLiteral("/proc/self/fd/%1").arg(fd);
        }
    }
#else
    (void)given;
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
    // starts as it always does. Taken from argv before QApplication takes
    // its own options out of it.
    const char* given = line.workspaceIndex > 0 ? argv[line.workspaceIndex] : nullptr;
    const QString workspace =
        given ? workspacePath(given, QString::fromLocal8Bit(given)) : QString();
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
