// Tavrin来电显示自动查询软件: entry point.

#include "data/module/datamodule.h"
#include "rules/settings/databaselocation.h"
#include "rules/settings/desktopsettings.h"
#include "rules/files/paths.h"
#include "rules/settings/programfolder.h"
#include "rules/calls/callrules.h"
#include "ui/shell/aboutwindow.h"
#include "ui/shell/application.h"
#include "ui/desktop/desktopnotifier.h"
#include "ui/desktop/desktoppresence.h"
#include "ui/shell/mainwindow.h"
#include "ui/shell/passwordstore.h"
#include "ui/calls/phoneline.h"
#include "ui/desktop/singleinstance.h"
#include "ui/shell/startup.h"
#include "ui/calls/deviceswitch.h"
#include "ui/web/browser.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("tavrin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    StartOptions options;
    if (const int answered = answerOptions(argc, argv, QStringLiteral(TAVRIN_VERSION), &options); answered >= 0)
        return answered;
    // The web views want shared GL contexts set before the application
    // exists, and are drawn without OpenGL.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    drawWithoutOpenGL();
    Application app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrin.Tavrin"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/hicolor/256x256/apps/org.tavrin.Tavrin.png")));
    // Qt's own dialogs (file choosers, standard buttons) speak Chinese too.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    // The command line, the program folder, one program per folder.
    StartDecision start = prepareStart(app, options);
    if (!start.goOn)
        return start.exitCode;

    installFontSubstitutions();
    QApplication::setFont(standardFont());
    useWebEngineBrowsers();

    DataModule dataModule;
    // The database: the one given at start, else the one chosen in the settings.
    dataModule.setDatabaseLocation(options.database ? *options.database : passwordstore::read(databaseSettingsFile()));
    // The caller-ID device named in set/device.dat (the simulated one,
    // state 0, when nothing is set).
    DeviceSwitch device;
    device.apply(readDeviceSetting(deviceSettingFile()));
    MainWindow main(dataModule, device);
    for (const QString& note : startNotes(programFolder(), options))
        main.noteAtStart(note);
    AboutWindow about;  // created with the program, shown only through the menu

    // Calls reach the operator when the window is out of sight.
    DesktopNotifier notifier;
    DesktopPresence presence(&main, &notifier);
    // The settings of menu 设置 are in force as soon as they are chosen; the
    // tray icon's tooltip says the device's state.
    presence.setSettings(main.desktopSettings());
    QObject::connect(&main, &MainWindow::desktopSettingsChanged, &presence, &DesktopPresence::setSettings);
    presence.setDeviceState(main.deviceState());
    QObject::connect(&main, &MainWindow::deviceStateChanged, &presence, &DesktopPresence::setDeviceState);
    QObject::connect(start.instance.get(), &SingleInstance::showRequested, &presence,
                     &DesktopPresence::bringWindowToFront);
    QObject::connect(&main, &MainWindow::callAnnounced, &presence, [&](const QString& text) {
        AnnouncedCall call;
        call.known = text == knownCallerText;
        call.number = main.number();
        call.tag = main.lastCallTag();
        DataSet& found = dataModule.lookupTable;
        if (call.known && found.isActive() && !found.isEmpty()) {
            call.contact = found.text(QStringLiteral("联系人"));
            call.company = found.text(QStringLiteral("公司名称"));
        }
        presence.callAnnounced(call);
    });
    // A click on a call's notification shows that call's record.
    QObject::connect(&presence, &DesktopPresence::callChosen, &main, &MainWindow::showCall);
    // Missed calls not yet looked at: counted in the tooltip and notified;
    // their notification opens 未接来电.
    presence.setMissedCalls(main.phoneLine()->unseen());
    QObject::connect(main.phoneLine(), &PhoneLine::unseenChanged, &presence, &DesktopPresence::setMissedCalls);
    QObject::connect(&presence, &DesktopPresence::missedCallsChosen, &main, &MainWindow::showMissedCalls);

    main.show();
    return app.exec();
}
