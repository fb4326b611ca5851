// What interrupted writes leave is found by its name: the next write to the
// same target and the next start remove it, and nothing else.  A full disk
// is said as such, whatever words it came in.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>

#include "rules/errors/diskfull.h"
#include "rules/files/scratchfiles.h"
#include "rules/lists/savefile.h"
#include "rules/formats/exportfile.h"

namespace {

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

QStringList filesIn(const QString& dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

}  // namespace

class TestScratchFiles : public QObject {
    Q_OBJECT
private slots:
    void theNextWriteToATargetRemovesItsLeftovers()
    {
        QTemporaryDir tmp;
        const QString target = tmp.filePath(QStringLiteral("good.xls"));
        touch(scratch::nameFor(target));
        touch(target + QStringLiteral(".tavrin-tmp-a1B2c3"));
        touch(target + QStringLiteral(".tavrin-tmp-journal"));
        touch(tmp.filePath(QStringLiteral("good.xlsx.tavrin-tmp-zzzzzz")));  // another target's
        touch(tmp.filePath(QStringLiteral("good.xls.bak")));                  // the operator's
        QString error;
        const QString temporary = exportfile::temporaryBeside(target, &error);
        QVERIFY2(!temporary.isEmpty(), qPrintable(error));
        QVERIFY(QFileInfo(temporary).fileName().startsWith(QStringLiteral("good.xls.tavrin-tmp-")));
        QVERIFY(!QFileInfo(temporary).isHidden());
        QCOMPARE(filesIn(tmp.path()), (QStringList{"good.xls.bak", QFileInfo(temporary).fileName(),
                                                   "good.xlsx.tavrin-tmp-zzzzzz"}));
        QVERIFY(exportfile::moveIntoPlace(temporary, target, &error));
        QCOMPARE(filesIn(tmp.path()), (QStringList{"good.xls", "good.xls.bak", "good.xlsx.tavrin-tmp-zzzzzz"}));

        // A settings file written in full the same way.
        const QString layout = tmp.filePath(QStringLiteral("layout.dat"));
        touch(layout + QStringLiteral(".tavrin-tmp-QwErTy"));
        replaceFile(layout, "columns");
        QVERIFY(!QFileInfo::exists(layout + QStringLiteral(".tavrin-tmp-QwErTy")));
        QCOMPARE(filesIn(tmp.path()).filter(QStringLiteral("layout")), QStringList{"layout.dat"});
    }

    // At start: the program's temporaries and scratch databases in data/
    // and set/ go; the database, its journal and log, backups and the
    // operator's files stay.
    void theNextStartRemovesTheLeftoversInTheProgramFolder()
    {
        QTemporaryDir tmp;
        const QString data = tmp.filePath(QStringLiteral("data/")), set = tmp.filePath(QStringLiteral("set/"));
        QDir().mkpath(data);
        QDir().mkpath(set);
        const QStringList gone = {"new.MDB", "new.MDB-journal", "new.MDB-wal", "web.mdb.new", "web.mdb.new-journal",
                                  "web.mdb.bak.tavrin-tmp", "bk600.mdb.tmp", "清空前备份-20261209-040000.mdb.tavrin-tmp"};
        const QStringList kept = {"web.mdb", "web.mdb-wal", "web.mdb-shm", "web.mdb-journal", "web.mdb.bak",
                                  "清空前备份-20261209-040000.mdb", "web.mdb.损坏-20261209-041500", "notes.txt"};
        for (const QString& n : gone + kept)
            touch(data + n);
        touch(set + QStringLiteral("database.dat"));
        touch(set + QStringLiteral("layout.dat.tavrin-tmp-AbCdEf"));
        const QStringList removed = scratch::removeLeftoversIn(tmp.path());
        QCOMPARE(removed.size(), gone.size() + 1);
        QStringList left = kept;
        left.sort();
        QCOMPARE(filesIn(data), left);
        QCOMPARE(filesIn(set), QStringList{"database.dat"});
    }

    void aFullDiskIsSaidInChinese()
    {
        for (const QString& raw : {QStringLiteral("database or disk is full Unable to commit"),
                                   QStringLiteral("不能写入文件 /x.csv：No space left on device"),
                                   QStringLiteral("不能写入文件 /x.csv：") + QString::fromLocal8Bit(std::strerror(ENOSPC))}) {
            const QString said = withDiskFullSaid(raw);
            QVERIFY2(said.startsWith(QStringLiteral("磁盘已满")) && said.endsWith(raw), qPrintable(said));
            QCOMPARE(withDiskFullSaid(said), said);  // once
        }
        QCOMPARE(withDiskFullSaid(QStringLiteral("文件是只读的")), QStringLiteral("文件是只读的"));
        QTemporaryDir tmp;
        QVERIFY(!diskFullAt(tmp.filePath(QStringLiteral("no/such/file.xls"))));
    }
};

QTEST_GUILESS_MAIN(TestScratchFiles)
#include "test_scratchfiles.moc"
