// The desktop entries of menu 设置: stored in set/desktop.dat, in force at
// once (the web search of a call, the autostart entry), refused with the
// reason when they cannot be stored; and the device state the tray shows.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "rules/settings/desktopsettings.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "testutil.h"
#include "ui/desktop/desktopmenu.h"
#include "ui/calls/callhandling.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"
#include "ui/web/websearch.h"

using testutil::named;

class TestDesktopMenu : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(config_.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
        folder_ = testutil::makeProgramFolder();
        reports_.clear();
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup()
    {
        errorreport::setSink({});
        setProgramFolder(QString());
    }

    void searchOffLeavesTheTabsTheirPages()
    {
        testutil::MainFixture f;
        MainWindow& w = *f.w;
        w.activate();
        auto* search = named<QAction>(&w, QStringLiteral("searchTheWebAction"));
        QVERIFY(search->isCheckable() && search->isChecked());  // on by default
        QSignalSpy changed(&w, &MainWindow::desktopSettingsChanged);

        search->trigger();
        QCOMPARE(changed.count(), 1);
        QVERIFY(!w.desktopSettings().searchTheWeb);
        QVERIFY(!readDesktopSettings(desktopSettingsFile()).searchTheWeb);
        f.device.simulateCall(1, QStringLiteral("13812345678"));
        w.calls()->finishPending();
        w.webTabs()->finishSearch();
        QVERIFY(testutil::runPostedEvents());
        QVERIFY(!w.calls()->callPending());
        auto* google = named<Browser>(&w, QStringLiteral("googleBrowser"));
        QCOMPARE(google->history(), QStringList{webaddr::productPage1});
        QCOMPARE(named<Browser>(&w, QStringLiteral("baiduBrowser"))->history(), QStringList{webaddr::productPage3});
        QCOMPARE(named<QTabWidget>(&w, QStringLiteral("tabs"))->tabText(0), webaddr::productCaption1);

        // On again: the next call is searched.
        search->trigger();
        QVERIFY(readDesktopSettings(desktopSettingsFile()).searchTheWeb);
        f.device.simulateHandoff(1);
        f.device.simulateCall(1, QStringLiteral("13812345679"));
        w.calls()->finishPending();
        w.webTabs()->finishSearch();
        QCOMPARE(google->address(), websearch::googleAddress(QStringLiteral("13812345679")));
        QVERIFY(reports_.isEmpty());
    }

    void settingsAreStoredAndReadAtTheNextStart()
    {
        {
            testutil::MainFixture f;
            named<QAction>(&*f, QStringLiteral("raiseOnCallAction"))->trigger();
            named<QAction>(&*f, QStringLiteral("closeToTrayAction"))->trigger();
        }
        DesktopSettings stored = readDesktopSettings(desktopSettingsFile());
        QVERIFY(stored.raiseOnCall && stored.closeToTray && stored.searchTheWeb && !stored.startWithDesktop);
        testutil::MainFixture again;
        QCOMPARE(again->desktopSettings(), stored);
        QVERIFY(named<QAction>(&*again, QStringLiteral("raiseOnCallAction"))->isChecked());
        QVERIFY(named<QAction>(&*again, QStringLiteral("closeToTrayAction"))->isChecked());
        QVERIFY(!named<QAction>(&*again, QStringLiteral("startWithDesktopAction"))->isChecked());
        QVERIFY(reports_.isEmpty());
    }

    void startWithTheDesktopWritesAndRemovesTheEntry()
    {
        testutil::MainFixture f;
        auto* autostart = named<QAction>(&*f, QStringLiteral("startWithDesktopAction"));
        const QString entry = autostartEntryPath(config_.path());
        QCOMPARE(DesktopSettingsMenu::configHome(), config_.path());
        autostart->trigger();
        QVERIFY(QFile::exists(entry));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("--folder " + desktopExecArgument(programFolder()).toUtf8()));
        QVERIFY(readDesktopSettings(desktopSettingsFile()).startWithDesktop);
        autostart->trigger();
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!readDesktopSettings(desktopSettingsFile()).startWithDesktop);
        QVERIFY(reports_.isEmpty());
    }

    void aSettingThatCannotBeStoredIsNotInForce()
    {
        // The settings file's place is taken by a folder.
        QVERIFY(QDir().mkpath(desktopSettingsFile()));
        testutil::MainFixture f;
        QSignalSpy changed(&*f, &MainWindow::desktopSettingsChanged);
        auto* search = named<QAction>(&*f, QStringLiteral("searchTheWebAction"));
        search->trigger();
        QCOMPARE(reports_.size(), 1);
        QVERIFY(search->isChecked());
        QVERIFY(f->desktopSettings().searchTheWeb);
        QCOMPARE(changed.count(), 0);
    }

    void theDeviceStateIsToldToTheTray()
    {
        testutil::MainFixture f(1);
        QCOMPARE(f->deviceState(), QStringLiteral("来电显示设备正常！"));
        QSignalSpy told(&*f, &MainWindow::deviceStateChanged);
        f.device.setState(0);
        QCOMPARE(told.count(), 1);
        QCOMPARE(told.first().first().toString(), QStringLiteral("来电显示设备存在！"));
        QCOMPARE(f->deviceState(), QStringLiteral("来电显示设备存在！"));
    }

private:
    QTemporaryDir config_;
    QString folder_;
    QStringList reports_;
};

QTEST_MAIN(TestDesktopMenu)
#include "test_desktopmenu.moc"
