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
    frmSplash splash([&] {
        mainWindow = std::make_unique<ssqx>(driver);
        mainWindow->show();
    });
    splash.show();
    return app.exec();
}
