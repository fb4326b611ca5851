// The database file operations: compact, backup, restore's replacement, the
// file check, the moving-in of an Access database, and kills at any moment.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "fakereader.h"
#include "maintenance/dbfiles.h"

namespace {

// Statements on a file through a connection of the test's own.
QStringList sql(const QString& file, const QString& statement)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(file).constData(), &db);
    QStringList out;
    char* err = nullptr;
    sqlite3_exec(
        db, statement.toUtf8().constData(),
        [](void* p, int n, char** v, char**) {
            for (int i = 0; i < n; ++i)
                static_cast<QStringList*>(p)->append(v[i] ? QString::fromUtf8(v[i]) : QString());
            return 0;
        },
        &out, &err);
    sqlite3_close(db);
    if (err) {
        const QString e = QString::fromUtf8(err);
        sqlite3_free(err);
        throw std::runtime_error(e.toStdString());
    }
    return out;
}

QString makeDatabase(const QString& file, int customers, int calls)
{
    QFile::remove(file);
    QFile schema(qEnvironmentVariable("TAVRIN_SCHEMA"));
    schema.open(QIODevice::ReadOnly);
    sql(file, QString::fromUtf8(schema.readAll()));
    sql(file, QStringLiteral(
                  "begin;"
                  "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
                  "insert into 客户数据 (联系人, 手机) select '客户' || i, '139' || i from n;"
                  "with recursive n(i) as (select 1 union all select i + 1 from n where i < %2) "
                  "insert into 来电数据 (手机, 日期, 时间, 事项) "
                  "select '139' || i, '2026-12-8', '9:00:00', hex(randomblob(40)) from n;"
                  "insert into 字典 (项目, 内容) values ('部门', '销售部');"
                  "commit;")
                  .arg(customers)
                  .arg(calls));
    return file;
}

// What a database holds, in a line that changes with any row.
QString fingerprint(const QString& file)
{
    return sql(file, QStringLiteral("select (select count(*) || ':' || total(ID) from 客户数据) "
                                    "|| '/' || (select count(*) || ':' || total(length(事项)) "
                                    "from 来电数据)"))
        .value(0);
}

// Runs `op` in a child process.  The child kills itself at step `killAt`,
// or the parent kills it after `delayUs` microseconds (-1: never).
// Returns true when the child was killed.
bool runKilled(const std::function<bool()>& op, const char* killAt, int delayUs)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (killAt)
            dbfile::setStepHook([killAt](const char* s) {
                if (std::strcmp(s, killAt) == 0)
                    raise(SIGKILL);
            });
        _exit(op() ? 0 : 1);
    }
    if (delayUs >= 0) {
        usleep(useconds_t(delayUs));
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status);
}

}  // namespace

class TestDbFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    QString db_;

    QString path(const char* name) const { return dir_->path() + QLatin1Char('/') + name; }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        db_ = makeDatabase(path("web.mdb"), 50, 2000);
    }

    void compactShrinksKeepsEverythingAndLeavesNoScratch()
    {
        sql(db_, QStringLiteral("delete from 来电数据 where ID % 2 = 0"));
        const QString before = fingerprint(db_);
        const qint64 size = QFileInfo(db_).size();
        QFile left(path("new.MDB"));  // left over from an earlier run
        QVERIFY(left.open(QIODevice::WriteOnly));
        left.write("rubbish");
        left.close();
        QString why;
        QVERIFY2(dbfile::compactDatabase(db_, path("new.MDB"), &why), qPrintable(why));
        QCOMPARE(fingerprint(db_), before);
        QVERIFY(QFileInfo(db_).size() < size * 3 / 4);
        QVERIFY(!QFileInfo::exists(path("new.MDB")));
        QVERIFY(dbfile::verifyDatabase(db_, &why));
        // New rows still get numbers above every number ever given.
        sql(db_, QStringLiteral("insert into 来电数据 (手机) values ('1')"));
        QCOMPARE(sql(db_, QStringLiteral("select max(ID) from 来电数据")).value(0),
                 QStringLiteral("2001"));
    }

    void failuresLeaveTheDatabaseAsItWas()
    {
        const QByteArray original = [&] {
            QFile f(db_);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        QString why;
        // A scratch place that cannot be cleared.
        QDir().mkpath(path("new.MDB/sub"));
        QVERIFY(!dbfile::compactDatabase(db_, path("new.MDB"), &why));
        QVERIFY(!why.isEmpty());
        // A database file that is not one.
        QFile bad(path("bad.mdb"));
        bad.open(QIODevice::WriteOnly);
        bad.write(QByteArray(8192, 'x'));
        bad.close();
        QVERIFY(!dbfile::compactDatabase(path("bad.mdb"), path("scratch.MDB"), &why));
        QVERIFY(!QFileInfo::exists(path("scratch.MDB")));
        QVERIFY(!dbfile::backupDatabase(path("bad.mdb"), path("copy.mdb"), &why));
        QVERIFY(!QFileInfo::exists(path("copy.mdb")));
        QVERIFY(!QFileInfo::exists(path("copy.mdb.tmp")));
        QFile f(db_);
        f.open(QIODevice::ReadOnly);
        QVERIFY(f.readAll() == original);
    }

    void backupIsACheckedCopyEvenWhileTheDatabaseIsOpen()
    {
        sqlite3* live = nullptr;  // the program's own connection, mid-read
        sqlite3_open(QFile::encodeName(db_).constData(), &live);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(live, "select * from 来电数据", -1, &st, nullptr);
        sqlite3_step(st);
        QString why;
        int lastPercent = -1;
        QVERIFY2(dbfile::backupDatabase(db_, path("copy.mdb"), &why,
                                        [&](int p) { lastPercent = p; }),
                 qPrintable(why));
        sqlite3_finalize(st);
        sqlite3_close(live);
        QCOMPARE(lastPercent, 100);
        QCOMPARE(fingerprint(path("copy.mdb")), fingerprint(db_));
        QVERIFY(!QFileInfo::exists(path("copy.mdb.tmp")));
        // An existing file is replaced only by a good copy.
        QVERIFY(dbfile::backupDatabase(db_, path("copy.mdb"), &why));
        // Never onto the database itself.
        QVERIFY(!dbfile::backupDatabase(db_, db_, &why));
        QVERIFY(why.contains(QStringLiteral("自己")));
        QVERIFY(dbfile::verifyDatabase(db_, &why));
    }

    void kindOfAFile()
    {
        QCOMPARE(dbfile::kindOf(db_), dbfile::Kind::Ours);
        QCOMPARE(dbfile::kindOf(path("none.mdb")), dbfile::Kind::Missing);
        sql(path("other.db"), QStringLiteral("create table t (a)"));
        QCOMPARE(dbfile::kindOf(path("other.db")), dbfile::Kind::NotOurs);
        QFile text(path("notes.mdb"));
        text.open(QIODevice::WriteOnly);
        text.write("SQLite format 3 is what this text says, nothing more");
        text.close();
        QCOMPARE(dbfile::kindOf(path("notes.mdb")), dbfile::Kind::NotDatabase);
        QFile jet(path("old.mdb"));
        jet.open(QIODevice::WriteOnly);
        jet.write(QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2028, '\0'));
        jet.close();
        QCOMPARE(dbfile::kindOf(path("old.mdb")), dbfile::Kind::Access);
        for (const QString& f : QDir(qEnvironmentVariable("TAVRIN_FIXTURES"))
                                    .entryList({QStringLiteral("*.mdb"), QStringLiteral("*.accdb")}))
            QCOMPARE(dbfile::kindOf(qEnvironmentVariable("TAVRIN_FIXTURES") + '/' + f),
                     dbfile::Kind::Access);
    }

    void replaceKeepsTheOldFileBeside()
    {
        const QString old = fingerprint(db_);
        makeDatabase(path("web.mdb.new"), 3, 4);
        const QString fresh = fingerprint(path("web.mdb.new"));
        QString why;
        QVERIFY2(dbfile::replaceDatabase(db_, path("web.mdb.new"), path("web.mdb.bak"), &why),
                 qPrintable(why));
        QCOMPARE(fingerprint(db_), fresh);
        QCOMPARE(fingerprint(path("web.mdb.bak")), old);
        QVERIFY(!QFileInfo::exists(path("web.mdb.new")));
        // Writing to the new database leaves the kept one alone.
        sql(db_, QStringLiteral("delete from 客户数据"));
        QCOMPARE(fingerprint(path("web.mdb.bak")), old);
    }

    // A kill at every step that matters and at moments spread over the
    // whole run leaves web.mdb whole, openable and holding either the old
    // or the new content.
    void killsLeaveTheDatabaseWhole_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("compact") << "compact";
        QTest::newRow("backup") << "backup";
        QTest::newRow("restore") << "restore";
    }
    void killsLeaveTheDatabaseWhole()
    {
        QFETCH(QString, operation);
        makeDatabase(db_, 200, 20000);
        sql(db_, QStringLiteral("delete from 来电数据 where ID % 3 = 0"));
        const QString pristine = path("pristine.mdb");
        QVERIFY(QFile::copy(db_, pristine));
        const QString old = fingerprint(db_);
        makeDatabase(path("source.mdb"), 10, 500);
        const QString restored = fingerprint(path("source.mdb"));
        const QString target = path("backup.mdb");

        const std::function<bool()> op = [&]() -> bool {
            QString why;
            if (operation == QLatin1String("compact"))
                return dbfile::compactDatabase(db_, path("new.MDB"), &why);
            if (operation == QLatin1String("backup"))
                return dbfile::backupDatabase(db_, target, &why);
            return dbfile::backupDatabase(path("source.mdb"), db_ + ".new", &why) &&
                   dbfile::replaceDatabase(db_, db_ + ".new", db_ + ".bak", &why);
        };
        auto check = [&](const QString& when) {
            QString why;
            QVERIFY2(dbfile::verifyDatabase(db_, &why), qPrintable(when + ": " + why));
            const QString now = fingerprint(db_);
            QVERIFY2(now == old || (operation == QLatin1String("restore") && now == restored),
                     qPrintable(when + ": " + now));
            if (QFileInfo::exists(target))  // a backup is there whole or not at all
                QVERIFY2(dbfile::verifyDatabase(target, &why), qPrintable(when + ": " + why));
            QFile::remove(db_);
            QFile::remove(target);
            QVERIFY(QFile::copy(pristine, db_));
        };

        const char* steps[] = {"compact-start", "compact-written", "compact-checked",
                               "compact-renamed", "backup-start", "backup-written",
                               "backup-checked", "backup-renamed", "replace-start",
                               "replace-kept", "replace-done"};
        for (const char* s : steps) {
            runKilled(op, s, -1);
            check(QString::fromLatin1(s));
        }
        QElapsedTimer t;
        t.start();
        QVERIFY(!runKilled(op, nullptr, -1));
        const int us = int(t.nsecsElapsed() / 1000);
        check(QStringLiteral("whole run"));
        int killed = 0;
        for (int i = 0; i <= 40; ++i) {
            const int delay = us * i / 36;
            killed += runKilled(op, nullptr, delay);
            check(QStringLiteral("killed after %1 us").arg(delay));
        }
        QVERIFY(killed > 10);
        // Whatever a kill left behind does not stand in the way of the next run.
        runKilled(op, "compact-checked", -1);
        runKilled(op, "backup-checked", -1);
        QVERIFY(op());
    }

    void accessDatabaseMovesIn()
    {
        FakeReader reader = FakeReader::oldDatabase();
        dbfile::MoveInCounts counts;
        QString why;
        const QString target = path("moved.mdb");
        QVERIFY2(dbfile::convertAccess(reader, target, &counts, &why), qPrintable(why));
        QCOMPARE(counts.customers, 2);
        QCOMPARE(counts.calls, 2);
        QCOMPARE(counts.dictionary, 1);
        QCOMPARE(dbfile::kindOf(target), dbfile::Kind::Ours);
        QCOMPARE(sql(target, QStringLiteral("select ID, 联系人, QQ, 备注, 手机 from 客户数据 order by ID")),
                 (QStringList{"7", QStringLiteral("张三's \"店\""), "123456", QStringLiteral("老客户"),
                              QString(), "12", QStringLiteral("李四"), QString(), QString(),
                              QString()}));
        QCOMPARE(sql(target, QStringLiteral("select ID, 手机, 日期, 时间 from 来电数据 order by ID")),
                 (QStringList{"3", "13900000001", "2009-4-7", "8:05:03", "4", "13900000002",
                              "2009-4-27", "18:00:00"}));
        QCOMPARE(sql(target, QStringLiteral("select 项目, 内容 from 字典")),
                 (QStringList{QStringLiteral("部门"), QStringLiteral("销售部")}));
        // Numbers go on from the highest kept one.
        sql(target, QStringLiteral("insert into 客户数据 (联系人) values ('新')"));
        QCOMPARE(sql(target, QStringLiteral("select max(ID) from 客户数据")).value(0),
                 QStringLiteral("13"));

        QCOMPARE(dbfile::movedInText(1.5, QStringLiteral("QQ")), QStringLiteral("1.5"));
        QCOMPARE(dbfile::movedInText(QDate(2010, 1, 2), QStringLiteral("x")),
                 QStringLiteral("2010-1-2"));
        QCOMPARE(dbfile::movedInText(QStringLiteral("2010/01/02 8:00:00"), QStringLiteral("日期")),
                 QStringLiteral("2010-1-2"));
        QCOMPARE(dbfile::movedInText(QStringLiteral("下午"), QStringLiteral("时间")),
                 QStringLiteral("下午"));
    }

    void accessDatabaseThatCannotMoveIn()
    {
        QString why;
        const QString target = path("moved.mdb");
        FakeReader noDictionary = FakeReader::oldDatabase();
        noDictionary.tables.remove(QStringLiteral("字典"));
        QVERIFY(!dbfile::convertAccess(noDictionary, target, nullptr, &why));
        QVERIFY(why.contains(QStringLiteral("字典")));
        QVERIFY(!QFileInfo::exists(target));
        FakeReader broken = FakeReader::oldDatabase();
        broken.failAfterRows = 1;
        QVERIFY(!dbfile::convertAccess(broken, target, nullptr, &why));
        QVERIFY(why.contains(QStringLiteral("读到一半出错")));
        QVERIFY(!QFileInfo::exists(target));
        FakeReader twice = FakeReader::oldDatabase();
        twice.tables[QStringLiteral("客户数据")].rows << QVariantList{7, QStringLiteral("重号")};
        QVERIFY(!dbfile::convertAccess(twice, target, nullptr, &why));
        QVERIFY(!QFileInfo::exists(target));
    }

    // The sample Access files: every table and every value is read.
    void sampleAccessFilesAreReadWhole()
    {
        const QString folder = qEnvironmentVariable("TAVRIN_FIXTURES");
        if (folder.isEmpty() || !QDir(folder).exists())
            QSKIP("the sample Access files (../shared/fixtures) are not there");
        const QStringList files =
            QDir(folder).entryList({QStringLiteral("*.mdb"), QStringLiteral("*.accdb")});
        QVERIFY(!files.isEmpty());
        for (const QString& name : files) {
            QString why;
            std::unique_ptr<TableReader> reader = openTableReader(folder + '/' + name, &why);
            if (!reader)
                QSKIP(qPrintable(QStringLiteral("this build reads no Access files: ") + why));
            const QStringList tables = reader->tableNames();
            QVERIFY2(!tables.isEmpty(), qPrintable(name));
            for (const QString& t : tables) {
                const QStringList columns = reader->columnNames(t);
                qint64 rows = 0;
                qint64 values = 0;
                QVERIFY2(reader->readRows(t,
                                          [&](const QVariantList& row) {
                                              ++rows;
                                              for (int c = 0; c < row.size(); ++c)
                                                  if (!row[c].isNull()) {
                                                      ++values;
                                                      QString text = dbfile::movedInText(
                                                          row[c], columns.value(c));
                                                      if (text.isEmpty() &&
                                                          !row[c].toString().isEmpty())
                                                          return false;
                                                  }
                                              return true;
                                          }),
                         qPrintable(name + '/' + t + ": " + reader->error()));
                QCOMPARE(rows, reader->rowCount(t));
                qInfo("%s / %s: %lld rows, %lld values", qPrintable(name), qPrintable(t), rows,
                      values);
            }
            // Not a database of the old program: it is refused with a reason.
            QVERIFY(!dbfile::convertAccess(*reader, path("sample.mdb"), nullptr, &why));
            QVERIFY(!why.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestDbFiles)
#include "test_dbfiles.moc"
