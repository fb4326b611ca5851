// Tavrin来电显示自动查询软件: entry point.

#include "ui/app/aboutwindow.h"
#include "ui/app/application.h"
#include "ui/app/mainwindow.h"
#include "ui/calls/deviceswitch.h"
#include "data/app/datamodule.h"
#include "ui/web/browser.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    // The web views want shared GL contexts set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    // Qt's own dialogs (file choosers, standard buttons) speak Chinese too.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    installFontSubstitutions();
    QApplication::setFont(standardFont());
    useWebEngineBrowsers();

    DataModule DataModule1;
    // The caller-ID device named in set/device.dat (the simulated one,
    // state 0, when nothing is set).
    DeviceSwitch device;
    device.apply(readDeviceSetting(deviceSettingFile()));
    MainWindow main(DataModule1, device);
    AboutWindow aboutw;  // created with the program, shown only through the menu

    main.show();
    return app.exec();
}
