// What the status bar says once at start: a program folder other users of
// the computer can read (told once, left as it is), a password written into
// the URI of --database.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "rules/settings/programfolder.h"
#include "ui/shell/startup.h"

namespace {

void makeFile(const QString& path, mode_t mode)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

StartOptions withDatabase(const QString& value)
{
    return readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--database"), value}, QStringLiteral("1"));
}

}  // namespace

class TestStartNotes : public QObject {
    Q_OBJECT
private slots:
    void anOpenFolderIsToldOnce()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("tavrin"));
        makeFile(folder + QStringLiteral("/data/web.mdb"), 0644);
        QDir().mkpath(folder + QStringLiteral("/set"));
        for (const QString& f : {folder, folder + QStringLiteral("/data"), folder + QStringLiteral("/set")})
            QCOMPARE(::chmod(QFile::encodeName(f).constData(), 0700), 0);

        const QStringList first = startNotes(folder, StartOptions{});
        QCOMPARE(first.size(), 1);
        QVERIFY2(first[0].contains(QStringLiteral("data/web.mdb 0644")), qPrintable(first[0]));
        QVERIFY(startNotes(folder, StartOptions{}).isEmpty());  // said once
        // Left as it was.
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(folder + QStringLiteral("/data/web.mdb")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0644u);

        // Something else opened: said again.
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        const QStringList again = startNotes(folder, StartOptions{});
        QCOMPARE(again.size(), 1);
        QVERIFY(again[0].contains(QStringLiteral("0755")));

        // Closed again by the user: nothing to say.
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder + QStringLiteral("/data/web.mdb")).constData(), 0600), 0);
        QVERIFY(startNotes(folder, StartOptions{}).isEmpty());
    }

    void aPasswordOnTheCommandLineIsWarnedOf()
    {
        QTemporaryDir folder;
        const QStringList warned = startNotes(folder.path(), withDatabase(QStringLiteral("postgresql://desk:pw@db/tavrin")));
        QCOMPARE(warned.size(), 1);
        QVERIFY(warned[0].contains(QStringLiteral("~/.pgpass")));
        QCOMPARE(startNotes(folder.path(), withDatabase(QStringLiteral("postgresql://db/tavrin?password=pw"))).size(), 1);
        QVERIFY(startNotes(folder.path(), withDatabase(QStringLiteral("postgresql://desk@db/tavrin"))).isEmpty());
        QVERIFY(startNotes(folder.path(), withDatabase(QStringLiteral("sqlite"))).isEmpty());
    }
};

QTEST_MAIN(TestStartNotes)
#include "test_startnotes.moc"
