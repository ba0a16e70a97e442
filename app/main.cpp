#include <QApplication>
#include <memory>

#include "LibraryDriver.h"
#include "Startup.h"
#include "frmSplash.h"
#include "ssqx.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    prepareApplication(app);
    LibraryDriver driver;
    std::unique_ptr<ssqx> mainWindow;
    // `tq7310-panel FILE` opens a saved workspace; without one the window
    // starts as it always does.
    const QStringList arguments = QApplication::arguments().mid(1);
    frmSplash splash([&] {
        mainWindow = std::make_unique<ssqx>(driver);
        mainWindow->show();
        if (!arguments.isEmpty()) {
            mainWindow->openWorkspace(arguments.first());
        }
    });
    splash.show();
    return app.exec();
}
