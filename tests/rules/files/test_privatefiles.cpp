// What the program writes for its user stays the user's own: a new folder
// 0700, every new file 0600 whatever the umask, a file the user widened on
// purpose keeps its mode, and a folder open to others is found, not changed.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <sys/stat.h>

#include "rules/settings/desktopsettings.h"
#include "rules/files/privatefiles.h"
#include "rules/settings/programfolder.h"
#include "rules/files/textfile.h"
#include "rules/calls/devicesetting.h"
#include "rules/lists/savefile.h"
#include "rules/formats/exportfile.h"

namespace {

unsigned modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Each of the program's settings writers, writing to path.
const QList<std::function<void(const QString&)>>& settingsWriters()
{
    static const QList<std::function<void(const QString&)>> writers{
        [](const QString& p) { writeTextLines(p, {QStringLiteral("字段=电话")}); },
        [](const QString& p) { replaceFile(p, "layout"); },
        [](const QString& p) { writeDeviceSetting(p, DeviceSetting{}); },
        [](const QString& p) { writeDesktopSettings(p, DesktopSettings{}); },
    };
    return writers;
}

}  // namespace

class TestPrivateFiles : public QObject {
    Q_OBJECT
private slots:
    // The usual desktop umask, under which files came out 0644 and folders 0755.
    void init() { ::umask(022); }

    void aFirstStartMakesAFolderOnlyTheUserCanRead()
    {
        QTemporaryDir tmp;
        const QString shared = tmp.filePath(QStringLiteral("share/"));
        writeFile(shared + QStringLiteral("web.mdb"), "empty database");
        writeFile(shared + QStringLiteral("tel.txt"), "13812345678\n");
        const QString folder = tmp.filePath(QStringLiteral("home/.local/share/tavrin/"));

        QCOMPARE(prepareProgramFolder(folder, shared), QString());
        for (const QString& sub : {QString(), QStringLiteral("data"), QStringLiteral("set")})
            QCOMPARE(modeOf(folder + sub), 0700u);
        QCOMPARE(modeOf(folder + QStringLiteral("data/web.mdb")), 0600u);
        QCOMPARE(modeOf(folder + QStringLiteral("tel.txt")), 0600u);
        QVERIFY(privatefiles::openToOthers(folder).isEmpty());
    }

    void anOpenFolderIsToldAndLeftAsItIs()
    {
        // A folder made by an earlier version: 0755 with a 0644 database.
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("tavrin/"));
        writeFile(folder + QStringLiteral("data/web.mdb"), "customers");
        writeFile(folder + QStringLiteral("set/device.dat"), "device=serial");
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder + QStringLiteral("set")).constData(), 0700) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder + QStringLiteral("set/device.dat")).constData(), 0600) == 0);

        QCOMPARE(prepareProgramFolder(folder, QString()), QString());
        QCOMPARE(modeOf(folder), 0755u);
        QCOMPARE(modeOf(folder + QStringLiteral("data/web.mdb")), 0644u);
        const QStringList open = privatefiles::openToOthers(folder);
        QCOMPARE(open, QStringList({QDir::cleanPath(folder) + QStringLiteral(" 0755"), QStringLiteral("data/ 0755"),
                                    QStringLiteral("data/web.mdb 0644")}));
    }

    void settingsFilesAreTheUsersOwn()
    {
        QTemporaryDir tmp;
        for (int i = 0; i < settingsWriters().size(); ++i) {
            const QString path = tmp.filePath(QStringLiteral("%1.dat").arg(i));
            settingsWriters()[i](path);
            QVERIFY2(modeOf(path) == 0600u, qPrintable(path));
            // Widened by the user on purpose: written over, it stays so.
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
            settingsWriters()[i](path);
            QVERIFY2(modeOf(path) == 0640u, qPrintable(path));
        }
    }

    void exportsAreTheUsersOwn()
    {
        QTemporaryDir tmp;
        QString error;
        const QString target = tmp.filePath(QStringLiteral("客户.xlsx"));
        const QString temporary = exportfile::temporaryBeside(target, &error);
        QVERIFY2(!temporary.isEmpty(), qPrintable(error));
        QVERIFY2(exportfile::moveIntoPlace(temporary, target, &error), qPrintable(error));
        QCOMPARE(modeOf(target), 0600u);

        // Written over one the user shares: it stays shared.
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0644) == 0);
        const QString again = exportfile::temporaryBeside(target, &error);
        QVERIFY(exportfile::moveIntoPlace(again, target, &error));
        QCOMPARE(modeOf(target), 0644u);
    }
};

QTEST_GUILESS_MAIN(TestPrivateFiles)
#include "test_privatefiles.moc"
