// The program folder of a build, a portable copy and an installed program,
// and the first start that makes a new one.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "rules/settings/programfolder.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestProgramFolder : public QObject {
    Q_OBJECT
private slots:
    void theFolderFollowsWhereTheDataIs()
    {
        QTemporaryDir tmp;
        const QString exe = tmp.filePath(QStringLiteral("bin"));
        const QString user = tmp.filePath(QStringLiteral("home/.local/share/tavrin"));
        QDir().mkpath(exe);
        // Installed: nothing beside the executable, the user's folder.
        QCOMPARE(chooseProgramFolder({}, exe, user), user + QLatin1Char('/'));
        // A build or a portable copy: data/ beside the executable.
        QDir().mkpath(exe + QStringLiteral("/data"));
        QCOMPARE(chooseProgramFolder({}, exe, user), exe + QLatin1Char('/'));
        // --folder wins, relative or not.
        QCOMPARE(chooseProgramFolder(tmp.filePath(QStringLiteral("other")), exe, user),
                 tmp.filePath(QStringLiteral("other/")));
    }

    void aFirstStartMakesTheFolderAndNeverReplacesAnything()
    {
        QTemporaryDir tmp;
        const QString shared = tmp.filePath(QStringLiteral("share/tavrin/"));
        writeFile(shared + QStringLiteral("web.mdb"), "empty database");
        writeFile(shared + QStringLiteral("tel.txt"), "13812345678\n");
        const QString folder = tmp.filePath(QStringLiteral("user/tavrin/"));

        QCOMPARE(prepareProgramFolder(folder, shared), QString());
        QCOMPARE(readFile(folder + QStringLiteral("data/web.mdb")), QByteArray("empty database"));
        QCOMPARE(readFile(folder + QStringLiteral("tel.txt")), QByteArray("13812345678\n"));
        QVERIFY(QFileInfo(folder + QStringLiteral("set")).isDir());
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("data/web.mdb.part")));

        // The customers and the operator's own numbers stay as they are.
        writeFile(folder + QStringLiteral("data/web.mdb"), "the office's customers");
        writeFile(folder + QStringLiteral("tel.txt"), "own numbers\n");
        QCOMPARE(prepareProgramFolder(folder, shared), QString());
        QCOMPARE(readFile(folder + QStringLiteral("data/web.mdb")), QByteArray("the office's customers"));
        QCOMPARE(readFile(folder + QStringLiteral("tel.txt")), QByteArray("own numbers\n"));
    }

    void aFolderThatCannotBeUsedIsRefusedWithItsName()
    {
        QTemporaryDir tmp;
        const QString shared = tmp.filePath(QStringLiteral("share/"));
        writeFile(shared + QStringLiteral("web.mdb"), "empty database");
        // A file stands where the folder should be made.
        writeFile(tmp.filePath(QStringLiteral("blocked")), "a file");
        const QString why = prepareProgramFolder(tmp.filePath(QStringLiteral("blocked/tavrin")), shared);
        QVERIFY2(why.contains(QStringLiteral("blocked")) && why.contains(QStringLiteral("--folder")), qPrintable(why));
        // No database anywhere: said, not an empty program, and nothing
        // made: neither the folder nor data/ and set/ in one that exists.
        const QString none = prepareProgramFolder(tmp.filePath(QStringLiteral("fresh")), QString());
        QVERIFY2(none.contains(QStringLiteral("数据库")), qPrintable(none));
        QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("fresh"))));
        QVERIFY(QDir().mkpath(tmp.filePath(QStringLiteral("office"))));
        QVERIFY(!prepareProgramFolder(tmp.filePath(QStringLiteral("office")), tmp.filePath(QStringLiteral("nothing/"))).isEmpty());
        QCOMPARE(QDir(tmp.filePath(QStringLiteral("office"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void theCommandLine()
    {
        StartOptions o = readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--folder"), QStringLiteral("/srv/desk1")},
                                          QStringLiteral("1.1"));
        QVERIFY(!o.finished);
        QCOMPARE(o.folder, QStringLiteral("/srv/desk1"));
        o = readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--version")}, QStringLiteral("1.1"));
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 0);
        QVERIFY(o.output.contains(QStringLiteral("1.1")));
        o = readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--help")}, QStringLiteral("1.1"));
        QVERIFY(o.finished && o.output.contains(QStringLiteral("--folder")));
        o = readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--nonsense")}, QStringLiteral("1.1"));
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 2);
    }

    // The manual page names every option --help shows, with its argument.
    void theManualPageKnowsEveryOption()
    {
        const StartOptions help = readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--help")}, QStringLiteral("1.1"));
        QFile page(QFileInfo(qEnvironmentVariable("TAVRIN_SCHEMA")).absolutePath() + QStringLiteral("/package/tavrin.1"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString man = QString::fromUtf8(page.readAll()).remove(QLatin1Char('\\'));
        const QRegularExpression option(QStringLiteral("--([a-z]+)(?: <([A-Z]+)>)?"));
        int seen = 0;
        for (auto m = option.globalMatch(help.output); m.hasNext(); ++seen) {
            const QRegularExpressionMatch found = m.next();
            QVERIFY2(man.contains(QStringLiteral("--") + found.captured(1)), qPrintable(found.captured(0)));
            if (!found.captured(2).isEmpty())
                QVERIFY2(man.contains(QStringLiteral("--") + found.captured(1) + QStringLiteral(" \" ") + found.captured(2) + QLatin1Char('"')),
                         qPrintable(found.captured(0)));
        }
        QVERIFY(seen >= 4);
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "test_programfolder.moc"
