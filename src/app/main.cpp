// Tavrin来电显示自动查询软件: entry point.

#include "app/about.h"
#include "app/application.h"
#include "app/tmain.h"
#include "callerid/device.h"
#include "db/datam.h"
#include "web/browser.h"

int main(int argc, char** argv)
{
    // The web views want shared GL contexts set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    installFontSubstitutions();
    QApplication::setFont(standardFont());
    useWebEngineBrowsers();

    TDataModule1 DataModule1;
    // No caller-ID hardware is attached yet: a device that reports state 0.
    SimulatedDevice device;
    device.setState(0);
    Tmain main(DataModule1, device);
    Taboutw aboutw;  // created with the program, shown only through the menu

    main.show();
    return app.exec();
}
