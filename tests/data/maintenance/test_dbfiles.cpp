// The database file operations: compact, backup, restore's replacement, the
// file check, the moving-in of an Access database, and kills at any moment.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "data/maintenance/fakereader.h"
#include "data/maintenance/dbfiles.h"
#include "data/engine/filestore.h"

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

unsigned modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
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

// Runs `op` in a child process that kills itself at its `killAt`-th step
// (counted from 1; 0: never).  Returns true when the child was killed.
bool runKilled(const std::function<bool()>& op, int killAt)
{
    const pid_t pid = fork();
    if (pid == 0) {
        int seen = 0;
        if (killAt > 0)
            dbfile::setStepHook([&seen, killAt](const char*) {
                if (++seen == killAt)
                    raise(SIGKILL);
            });
        _exit(op() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status);
}

// The steps a whole run of `op` passes, in order.
std::vector<std::string> stepsOf(const std::function<bool()>& op)
{
    std::vector<std::string> steps;
    dbfile::setStepHook([&steps](const char* s) { steps.emplace_back(s); });
    const bool ok = op();
    dbfile::setStepHook({});
    if (!ok)
        steps.clear();
    return steps;
}

// Leaves `file` as a crash leaves it: commits that live only in its
// write-ahead log beside it, never moved into the file.
void leaveLogBehind(const QString& file, const QString& statements)
{
    const pid_t pid = fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(file).constData(), &db);
        sqlite3_exec(db, "pragma journal_mode = wal; pragma wal_autocheckpoint = 0", nullptr, nullptr,
                     nullptr);
        sqlite3_exec(db, statements.toUtf8().constData(), nullptr, nullptr, nullptr);
        raise(SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

const char* const kSides[] = {"-wal", "-shm", "-journal"};

bool anySideFile(const QString& file)
{
    for (const char* side : kSides)
        if (QFileInfo::exists(file + QLatin1String(side)))
            return true;
    return false;
}

// Copies a database with whatever lies beside it.
void copyWithSides(const QString& from, const QString& to)
{
    QFile::remove(to);
    QFile::copy(from, to);
    for (const char* side : kSides) {
        QFile::remove(to + QLatin1String(side));
        if (QFileInfo::exists(from + QLatin1String(side)))
            QFile::copy(from + QLatin1String(side), to + QLatin1String(side));
    }
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
        QVERIFY(!QFileInfo::exists(path("copy.mdb.tavrin-tmp")));
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
        dbfile::Progress progress;
        progress.report = [&](int p) { lastPercent = p; };
        QVERIFY2(dbfile::backupDatabase(db_, path("copy.mdb"), &why, progress), qPrintable(why));
        sqlite3_finalize(st);
        sqlite3_close(live);
        QCOMPARE(lastPercent, 100);
        QCOMPARE(fingerprint(path("copy.mdb")), fingerprint(db_));
        QVERIFY(!QFileInfo::exists(path("copy.mdb.tavrin-tmp")));
        // An existing file is replaced only by a good copy.
        QVERIFY(dbfile::backupDatabase(db_, path("copy.mdb"), &why));
        // Never onto the database itself.
        QVERIFY(!dbfile::backupDatabase(db_, db_, &why));
        QVERIFY(why.contains(QStringLiteral("自己")));
        QVERIFY(dbfile::verifyDatabase(db_, &why));
    }

    // The copy of one moment: rows written while a backup runs neither
    // start it over nor get into it.
    void backupIsOfOneMomentWhileWritesGoOn()
    {
        makeDatabase(db_, 50, 20000);
        sqlite3* writer = nullptr;
        sqlite3_open(QFile::encodeName(db_).constData(), &writer);
        sqlite3_exec(writer, "pragma journal_mode = wal", nullptr, nullptr, nullptr);
        const QString before = fingerprint(db_);
        int pages = 0;
        dbfile::setStepHook([&](const char* s) {
            if (std::strcmp(s, "backup-page") == 0) {
                ++pages;
                sqlite3_exec(writer, "insert into 来电数据 (手机) values ('13911112222')", nullptr, nullptr,
                             nullptr);
            }
        });
        dbfile::Progress progress;
        progress.stopRequested = [&] { return pages > 200; };  // a copy going round in circles
        QString why;
        const bool ok = dbfile::backupDatabase(db_, path("copy.mdb"), &why, progress);
        dbfile::setStepHook({});
        sqlite3_close(writer);
        QVERIFY2(ok, qPrintable(why));
        QVERIFY(pages >= 3);
        QCOMPARE(fingerprint(path("copy.mdb")), before);
        QVERIFY(fingerprint(db_) != before);
        QVERIFY(!anySideFile(path("copy.mdb")));
    }

    // A copy spoiled between its writing and its check (a page of garbage,
    // a page of zeros, a sound page of the tree written over another, its
    // tail lost) is refused: the earlier backup and the database stay as
    // they were and nothing is left beside them.  The lost tail shows
    // before the check, when the new file is first opened.
    void aSpoiledCopyIsRefused_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("spoil");
        for (const char* op : {"backup", "compact"})
            for (const char* how : {"garbage", "zeros", "moved", "tail", "letter"})
                QTest::newRow((std::string(op) + ", " + how).c_str()) << op << how;
    }
    void aSpoiledCopyIsRefused()
    {
        QFETCH(QString, operation);
        QFETCH(QString, spoil);
        makeDatabase(db_, 300, 20000);
        const QString before = fingerprint(db_);
        const QString target = path("copy.mdb");
        QString why;
        QVERIFY2(dbfile::backupDatabase(db_, target, &why), qPrintable(why));
        const bool backup = operation == QLatin1String("backup");
        const QString scratch = backup ? target + QStringLiteral(".tavrin-tmp") : path("new.MDB");
        bool spoiled = false;
        dbfile::setStepHook([&](const char* step) {
            if (std::strcmp(step, backup ? "backup-written" : "compact-written") != 0)
                return;
            QFile f(scratch);
            if (!f.open(QIODevice::ReadWrite))
                return;
            const QByteArray header = f.read(100);
            const qint64 pageSize = (uchar(header[16]) << 8) | uchar(header[17]);
            const qint64 pages = f.size() / pageSize;
            if (spoil == QLatin1String("tail")) {
                spoiled = f.resize((pages - pages / 4) * pageSize);
                return;
            }
            if (spoil == QLatin1String("letter")) {
                // One character of a row for another of the same length: every
                // page still sound, the copy no longer its source.
                f.seek(0);
                const QByteArray all = f.readAll();
                const qint64 at = all.indexOf(QStringLiteral("销售部").toUtf8());
                spoiled = at > 0 && f.seek(at) && f.write(QStringLiteral("销售门").toUtf8()) == 9;
                return;
            }
            QByteArray page(int(pageSize), '\0');
            if (spoil == QLatin1String("moved") && f.seek(pages / 4 * pageSize))
                page = f.read(pageSize);
            if (spoil == QLatin1String("garbage"))
                for (int i = 0; i < page.size(); ++i)
                    page[i] = char((i * 7919 + 13) % 251);
            spoiled = f.seek(pages / 2 * pageSize) && f.write(page) == pageSize;
        });
        const bool done = backup ? dbfile::backupDatabase(db_, target, &why) : dbfile::compactDatabase(db_, path("new.MDB"), &why);
        dbfile::setStepHook({});
        QVERIFY(spoiled);
        QVERIFY(!done);
        // Refused by the check: what it found, or that it could not read on.
        if (spoil != QLatin1String("tail"))
            QVERIFY2(why.contains(QStringLiteral("未通过完整性检查")) || why.contains(QStringLiteral("不是可用的数据库")),
                     qPrintable(why));
        QVERIFY(!QFileInfo::exists(scratch));
        QCOMPARE(fingerprint(db_), before);
        QCOMPARE(fingerprint(target), before);
        QVERIFY(dbfile::verifyDatabase(target, &why));
    }

    // What was noted of a refused copy goes with it: a file that later has
    // the same file number (here: a second link kept of the copy, filled
    // with another database) is checked for what it holds.
    void aRefusedCopyLeavesNothingForTheNextFile()
    {
        makeDatabase(db_, 300, 20000);
        const QString target = path("copy.mdb");
        const QString scratch = target + QStringLiteral(".tavrin-tmp");
        const QString kept = path("kept.mdb");
        dbfile::setStepHook([&](const char* step) {
            if (std::strcmp(step, "backup-written") != 0)
                return;
            QFile f(scratch);
            if (::link(QFile::encodeName(scratch).constData(), QFile::encodeName(kept).constData()) == 0 &&
                f.open(QIODevice::ReadWrite))
                f.resize(f.size() / 2);
        });
        QString why;
        const bool done = dbfile::backupDatabase(db_, target, &why);
        dbfile::setStepHook({});
        QVERIFY(!done);
        QVERIFY(QFileInfo::exists(kept) && !QFileInfo::exists(scratch));

        QFile other(makeDatabase(path("other.mdb"), 5, 10));
        QVERIFY(other.open(QIODevice::ReadOnly));
        QFile into(kept);
        QVERIFY(into.open(QIODevice::WriteOnly | QIODevice::Truncate));  // the same file, emptied
        QVERIFY(into.write(other.readAll()) == other.size());
        into.close();
        QStringList problems;
        QCOMPARE(FileStore::standard().checkCopy(kept, &problems, &why), FileStore::Integrity::Sound);
    }

    // A copy whose writing was not watched (written by another program) gets
    // the engine's own check of its pages.
    void aCopyWrittenElsewhereIsChecked()
    {
        const QString file = makeDatabase(path("elsewhere.mdb"), 300, 20000);
        QStringList problems;
        QString why;
        QCOMPARE(FileStore::standard().checkCopy(file, &problems, &why), FileStore::Integrity::Sound);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 pages = f.size() / 4096;
        QVERIFY(pages > 8 && f.seek(pages / 2 * 4096) && f.write(QByteArray(4096, '\0')) == 4096);
        f.close();
        const FileStore::Integrity found = FileStore::standard().checkCopy(file, &problems, &why);
        QVERIFY2(found == FileStore::Integrity::Damaged || found == FileStore::Integrity::Unreadable,
                 qPrintable(why));
    }

    // Commits that live only in the log are part of the database: a compact
    // keeps them, a replaced file keeps them, and the new file never gets
    // the old file's log.
    void theLogBesideTheDatabase()
    {
        leaveLogBehind(db_, QStringLiteral("delete from 来电数据 where ID > 100; "
                                           "insert into 客户数据 (联系人) values ('只在日志里')"));
        QVERIFY(QFileInfo(db_ + QStringLiteral("-wal")).size() > 0);
        copyWithSides(db_, path("peek.mdb"));
        const QString withLog = fingerprint(path("peek.mdb"));
        QVERIFY(withLog.startsWith(QStringLiteral("51:")));
        QString why;
        QVERIFY2(dbfile::compactDatabase(db_, path("new.MDB"), &why), qPrintable(why));
        QVERIFY(!anySideFile(db_));
        QCOMPARE(fingerprint(db_), withLog);

        leaveLogBehind(db_, QStringLiteral("delete from 客户数据 where ID > 10"));
        copyWithSides(db_, path("peek.mdb"));
        const QString old = fingerprint(path("peek.mdb"));
        makeDatabase(path("web.mdb.new"), 3, 4);
        const QString fresh = fingerprint(path("web.mdb.new"));
        QVERIFY2(dbfile::replaceDatabase(db_, path("web.mdb.new"), path("web.mdb.bak"), &why),
                 qPrintable(why));
        QVERIFY(!anySideFile(db_));
        QCOMPARE(fingerprint(db_), fresh);
        QCOMPARE(fingerprint(path("web.mdb.bak")), old);
    }

    // Another connection still on the database would go on writing into the
    // old file: the database is then not replaced.
    void aDatabaseInUseIsNotReplaced()
    {
        sqlite3* other = nullptr;
        sqlite3_open(QFile::encodeName(db_).constData(), &other);
        sqlite3_exec(other, "pragma journal_mode = wal; insert into 字典 (项目) values ('x')", nullptr,
                     nullptr, nullptr);
        const QString before = fingerprint(db_);
        makeDatabase(path("web.mdb.new"), 3, 4);
        QString why;
        QVERIFY(!dbfile::replaceDatabase(db_, path("web.mdb.new"), QString(), &why));
        QVERIFY2(why.contains(QStringLiteral("正被其他程序使用")), qPrintable(why));
        QVERIFY(QFileInfo::exists(path("web.mdb.new")));
        QVERIFY(!dbfile::compactDatabase(db_, path("new.MDB"), &why));
        QVERIFY(!QFileInfo::exists(path("new.MDB")));
        sqlite3_exec(other, "insert into 字典 (项目) values ('y')", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QVERIFY(fingerprint(db_) == before);
        QCOMPARE(sql(db_, QStringLiteral("select count(*) from 字典")).value(0), QStringLiteral("3"));
    }

    void kindOfAFile()
    {
        QCOMPARE(dbfile::kindOf(db_), dbfile::Kind::Ours);
        QCOMPARE(dbfile::kindOf(path("none.mdb")), dbfile::Kind::Missing);
        sql(path("other.db"), QStringLiteral("create table t (a)"));
        QCOMPARE(dbfile::kindOf(path("other.db")), dbfile::Kind::NotOurs);
        // The three tables, but not every column the program uses.
        sql(path("thin.db"), QStringLiteral("create table 客户数据 (ID, 联系人, 电话);"
                                            "create table 来电数据 as select * from 客户数据 where 0;"
                                            "create table 字典 (id, 项目, 内容)"));
        QCOMPARE(dbfile::kindOf(path("thin.db")), dbfile::Kind::Incomplete);
        const dbfile::MissingColumns missing = dbfile::missingColumns(path("thin.db"));
        QCOMPARE(missing.size(), 2);
        QCOMPARE(missing[0].first, QStringLiteral("客户数据"));
        QCOMPARE(missing[0].second.size(), 15);
        QVERIFY(missing[0].second.contains(QStringLiteral("手机")));
        QVERIFY(!missing[0].second.contains(QStringLiteral("联系人")));
        QCOMPARE(missing[1].first, QStringLiteral("来电数据"));
        QVERIFY(missing[1].second.contains(QStringLiteral("日期")));
        QVERIFY(dbfile::missingColumns(db_).isEmpty());
        // Every column, but an ID the program cannot page by: declared TEXT,
        // INT (not the row id), or the key of a table without row ids.
        const QString callColumns = QStringLiteral(
            "电话, 手机, 日期, 时间, 联系人, 宅电, 公司名称, 地址, EMAIL, QQ, MSN, 网址, 部门, 职务, 分类1, 分类2, 邮编, "
            "事项, 答复");
        const QString customerColumns = QStringLiteral(
            "联系人, 电话, 手机, 宅电, 公司名称, 地址, EMAIL, QQ, MSN, 网址, 部门, 职务, 分类1, 分类2, 邮编, 事项, 答复");
        const QStringList customerKeys = {"ID TEXT PRIMARY KEY", "ID INT PRIMARY KEY", "ID", "ID INTEGER, 键 INTEGER PRIMARY KEY"};
        for (int i = 0; i < customerKeys.size(); ++i) {
            const QString f = path("keys") + QString::number(i) + QStringLiteral(".db");
            sql(f, "create table 客户数据 (" + customerKeys[i] + ", " + customerColumns +
                       "); create table 来电数据 (ID INTEGER PRIMARY KEY, " + callColumns +
                       "); create table 字典 (ID TEXT, 项目, 内容)");
            QCOMPARE(dbfile::kindOf(f), dbfile::Kind::TextKeys);
            QCOMPARE(dbfile::tablesWithoutIntegerKey(f), QStringList{QStringLiteral("客户数据")});
        }
        sql(path("norowid.db"), "create table 客户数据 (id integer primary key, " + customerColumns +
                                     "); create table 来电数据 (ID INTEGER PRIMARY KEY, " + callColumns +
                                     ") without rowid; create table 字典 (ID, 项目, 内容)");
        QCOMPARE(dbfile::tablesWithoutIntegerKey(path("norowid.db")), QStringList{QStringLiteral("来电数据")});
        QVERIFY(dbfile::tablesWithoutIntegerKey(db_).isEmpty());
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

    // Copies of the customers are the user's alone whatever the umask and
    // the database's own mode; the database keeps the mode it has.
    void copiesAreTheUsersOwn()
    {
        const mode_t umaskBefore = ::umask(022);
        QVERIFY(::chmod(QFile::encodeName(db_).constData(), 0644) == 0);
        QString why;
        QVERIFY2(dbfile::backupDatabase(db_, path("copy.mdb"), &why), qPrintable(why));
        QCOMPARE(modeOf(path("copy.mdb")), 0600u);
        // A backup written over one the user shares stays shared.
        QVERIFY(::chmod(QFile::encodeName(path("copy.mdb")).constData(), 0640) == 0);
        QVERIFY2(dbfile::backupDatabase(db_, path("copy.mdb"), &why), qPrintable(why));
        QCOMPARE(modeOf(path("copy.mdb")), 0640u);

        // Compacted and restored, the database keeps its mode (0644 here,
        // 0600 once the user closed it); the scratch copy is never wider.
        QVERIFY2(dbfile::compactDatabase(db_, path("new.MDB"), &why), qPrintable(why));
        QCOMPARE(modeOf(db_), 0644u);
        QVERIFY(::chmod(QFile::encodeName(db_).constData(), 0600) == 0);
        makeDatabase(path("web.mdb.new"), 3, 4);
        QVERIFY(::chmod(QFile::encodeName(path("web.mdb.new")).constData(), 0644) == 0);
        QVERIFY2(dbfile::replaceDatabase(db_, path("web.mdb.new"), path("web.mdb.bak"), &why), qPrintable(why));
        QCOMPARE(modeOf(db_), 0600u);
        QVERIFY2(dbfile::Compact_Mdb(db_, path("scratch.MDB"), &why), qPrintable(why));
        QCOMPARE(modeOf(path("scratch.MDB")), 0600u);
        QVERIFY(dbfile::createDatabase(path("made.mdb"), &why));
        QCOMPARE(modeOf(path("made.mdb")), 0600u);
        ::umask(umaskBefore);
    }

    // A kill at any step leaves web.mdb whole, openable and holding either
    // the old or the new content, never a log of the old file played into
    // the new one.  The kills fall on steps of the run, not on moments, so
    // that a loaded machine kills at the same places as an idle one: every
    // named step and places spread over the copying.
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
        // The latest commits live only in the log, as after a crash.
        leaveLogBehind(db_, QStringLiteral("delete from 来电数据 where ID % 5 = 0; "
                                           "update 客户数据 set 联系人 = '日志里' where ID < 50"));
        QVERIFY(QFileInfo(db_ + QStringLiteral("-wal")).size() > 0);
        const QString pristine = path("pristine.mdb");
        copyWithSides(db_, pristine);
        copyWithSides(db_, path("peek.mdb"));
        const QString old = fingerprint(path("peek.mdb"));
        QVERIFY(old.startsWith(QStringLiteral("200:")));
        makeDatabase(path("source.mdb"), 10, 20000);
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
        auto reset = [&] {
            for (const QString& f : {db_, target, db_ + ".bak"}) {
                QFile::remove(f);
                for (const char* side : kSides)
                    QFile::remove(f + QLatin1String(side));
            }
            copyWithSides(pristine, db_);
        };
        auto check = [&](const QString& when) {
            QString why;
            QVERIFY2(dbfile::verifyDatabase(db_, &why), qPrintable(when + ": " + why));
            const QString now = fingerprint(db_);
            QVERIFY2(now == old || (operation == QLatin1String("restore") && now == restored),
                     qPrintable(when + ": " + now));
            if (QFileInfo::exists(target)) {  // a backup is there whole or not at all
                QVERIFY2(!anySideFile(target), qPrintable(when));
                QVERIFY2(dbfile::verifyDatabase(target, &why), qPrintable(when + ": " + why));
                QCOMPARE(fingerprint(target), old);
            }
            reset();
        };

        const std::vector<std::string> steps = stepsOf(op);
        QVERIFY(!steps.empty());
        // A whole run: the new content, and nothing left beside it.
        if (operation != QLatin1String("backup"))
            QVERIFY(!anySideFile(db_));
        check(QStringLiteral("whole run"));

        std::vector<int> killAt;
        std::vector<int> copying;
        for (int i = 0; i < int(steps.size()); ++i) {
            const bool page = steps[i].size() > 5 && steps[i].compare(steps[i].size() - 5, 5, "-page") == 0;
            (page ? copying : killAt).push_back(i + 1);
        }
        QVERIFY2(copying.size() >= 3, qPrintable(QString::number(copying.size())));
        const int spread = std::min<int>(24, int(copying.size()));
        for (int n = 0; n < spread; ++n)
            killAt.push_back(copying[size_t(n) * copying.size() / size_t(spread)]);
        for (int k : killAt) {
            QVERIFY(runKilled(op, k));
            check(QStringLiteral("killed at step %1 (%2)").arg(k).arg(QString::fromStdString(steps[size_t(k - 1)])));
        }
        // Whatever a kill left behind does not stand in the way of the next run.
        for (int k : {killAt.front(), killAt.back(), copying[copying.size() / 2]})
            runKilled(op, k);
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
