// The desktop settings file and the autostart entry.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "rules/app/desktopsettings.h"

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

        setStartWithDesktop(config, false, QStringLiteral("/usr/bin/tavrin"), folder);
        QVERIFY(!QFile::exists(entry));
        setStartWithDesktop(config, false, QStringLiteral("/usr/bin/tavrin"), folder);  // nothing to remove
    }
};

QTEST_GUILESS_MAIN(TestDesktopSettings)
#include "test_desktopsettings.moc"
