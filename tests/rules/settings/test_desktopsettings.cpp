// The desktop settings file and the autostart entry.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "rules/settings/desktopsettings.h"

class TestDesktopSettings : public QObject {
    Q_OBJECT
private slots:
    void theSettingsFileKeepsWhatWasChosen()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("desktop.dat"));
        // No file: the window closes, calls do not raise it, the web is searched.
        QCOMPARE(readDesktopSettings(path), DesktopSettings{});
        QVERIFY(readDesktopSettings(path).searchTheWeb);

        const DesktopSettings chosen{true, true, false, false};
        writeDesktopSettings(path, chosen);
        QCOMPARE(readDesktopSettings(path), chosen);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("tray=1\r\nraise=1\r\nautostart=0\r\nwebsearch=0\r\n"));
        f.close();

        // Values it does not know leave the default.
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("websearch=off\r\nraise=1\r\n");
        f.close();
        const DesktopSettings read = readDesktopSettings(path);
        QVERIFY(read.searchTheWeb && read.raiseOnCall);
    }

    void theAutostartEntryStartsThisFolderAndGoesAway()
    {
        QTemporaryDir tmp;
        const QString config = tmp.filePath(QStringLiteral("config"));
        const QString folder = QStringLiteral("/home/前台 1/\"desk\"$HOME\\x");
        setStartWithDesktop(config, true, QStringLiteral("/usr/bin/tavrin"), folder);
        const QString entry = autostartEntryPath(config);
        QFile f(entry);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.contains(QStringLiteral("Exec=\"/usr/bin/tavrin\" --folder \"/home/前台 1/\\\"desk\\\"\\$HOME\\\\\\\\x\"")),
                 qPrintable(text));
        f.close();
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY(validate.waitForFinished(10000));
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());

        // Not on PATH: the login looks for the executable by its path.
        QVERIFY2(text.contains(QStringLiteral("\nTryExec=/usr/bin/tavrin\n")), qPrintable(text));
        QCOMPARE(QFile::permissions(entry) & QFile::Permissions(0x7077), QFile::ReadOwner | QFile::WriteOwner);

        setStartWithDesktop(config, false, QStringLiteral("/usr/bin/tavrin"), folder);
        QVERIFY(!QFile::exists(entry));
        setStartWithDesktop(config, false, QStringLiteral("/usr/bin/tavrin"), folder);  // nothing to remove
    }

    void anInstalledProgramIsLookedForByName()
    {
        // Installed where PATH finds it: after the package is removed the
        // login finds no "tavrin" and leaves the entry alone.
        QTemporaryDir tmp;
        const QString bin = tmp.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        const QString exe = bin + QStringLiteral("/tavrin");
        QFile program(exe);
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.close();
        QVERIFY(QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ':' + oldPath);
        const QString config = tmp.filePath(QStringLiteral("config"));
        setStartWithDesktop(config, true, exe, tmp.path());
        qputenv("PATH", oldPath);
        QFile f(autostartEntryPath(config));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.contains(QStringLiteral("\nTryExec=tavrin\n")), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestDesktopSettings)
#include "test_desktopsettings.moc"
