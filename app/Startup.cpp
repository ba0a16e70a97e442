#include "Startup.h"

#include "ProgramIcon.h"

void prepareApplication(QApplication& app) {
    app.setApplicationName(QStringLiteral("tq7310-panel"));
    app.setWindowIcon(programIcon());
    // The splash closes before the main window opens, so for a moment no
    // window exists; the program ends by "退出" or by closing the splash
    // early, never by Qt noticing that the last window closed.
    app.setQuitOnLastWindowClosed(false);
}
