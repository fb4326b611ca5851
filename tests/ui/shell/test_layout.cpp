// The program folder laid out by the build: the executable is refreshed on
// every build, but the user's database, settings and tel.txt never are.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString schemaPath() { return qEnvironmentVariable("TAVRIN_SCHEMA"); }

// Runs a command; returns its exit code (-1 if it did not run) and keeps the output.
int run(const QString& program, const QStringList& args, QByteArray* output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = p.readAll();
    return p.exitCode();
}

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;

    int layout(const QString& programDir, const QString& exe)
    {
        QByteArray out;
        const int rc = run(QStringLiteral(CMAKE_EXECUTABLE),
                           {"-DPROGRAM_DIR=" + programDir, "-DEXE=" + exe,
                            QStringLiteral("-DMAKEDB=" MAKEDB_EXECUTABLE),
                            "-DSCHEMA=" + schemaPath(),
                            QStringLiteral("-DSAMPLE_TEL=" SOURCE_DIR "/resources/tel.txt"), "-P",
                            QStringLiteral(SOURCE_DIR "/scripts/layout_program.cmake")},
                           &out);
        if (rc != 0)
            qWarning("%s", out.constData());
        return rc;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp_.isValid());
        QVERIFY2(QFile::exists(schemaPath()), "TAVRIN_SCHEMA must name the schema");
    }

    void layoutKeepsUserFiles()
    {
        const QString prog = tmp_.filePath("program");
        const QString exe = tmp_.filePath("tavrin");
        QVERIFY(writeAll(exe, "build 1"));
        QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);

        QCOMPARE(layout(prog, exe), 0);
        QCOMPARE(readAll(prog + "/tavrin"), QByteArray("build 1"));
        QVERIFY(QFile::permissions(prog + "/tavrin") & QFileDevice::ExeOwner);
        QVERIFY(QFileInfo(prog + "/set").isDir());
        QCOMPARE(readAll(prog + "/tel.txt"), readAll(SOURCE_DIR "/resources/tel.txt"));

        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "layout");
            db.setDatabaseName(prog + "/data/web.mdb");
            QVERIFY(db.open());
            const QStringList tables = db.tables();
            for (const char* name : {"客户数据", "来电数据", "字典"})
                QVERIFY2(tables.contains(QString::fromUtf8(name)), name);
            QSqlQuery q(db);
            QVERIFY(q.exec("INSERT INTO 字典 (项目, 内容) VALUES ('分类1', '老客户')"));
        }
        QSqlDatabase::removeDatabase("layout");

        // The user's own data, then a new build.
        QVERIFY(writeAll(prog + "/set/mine.txt", "my settings"));
        QVERIFY(writeAll(prog + "/tel.txt", "my numbers"));
        QVERIFY(writeAll(exe, "build 2"));

        QCOMPARE(layout(prog, exe), 0);
        QCOMPARE(readAll(prog + "/tavrin"), QByteArray("build 2"));
        QCOMPARE(readAll(prog + "/set/mine.txt"), QByteArray("my settings"));
        QCOMPARE(readAll(prog + "/tel.txt"), QByteArray("my numbers"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "layout");
            db.setDatabaseName(prog + "/data/web.mdb");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT 内容 FROM 字典"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("老客户"));
        }
        QSqlDatabase::removeDatabase("layout");
    }

    void makedbRefusesExistingFile()
    {
        const QString db = tmp_.filePath("exists.db");
        QVERIFY(writeAll(db, "not a database"));
        QByteArray out;
        QCOMPARE(run(MAKEDB_EXECUTABLE, {schemaPath(), db}, &out), 1);
        QVERIFY2(out.contains("exists"), out.constData());
        QCOMPARE(readAll(db), QByteArray("not a database"));
    }

    void makedbRejectsBrokenSchema()
    {
        const QString schema = tmp_.filePath("broken.sql");
        const QString db = tmp_.filePath("broken.db");
        QVERIFY(writeAll(schema, "CREATE TABLE a (x TEXT); CREATE TABLEX b;"));
        QCOMPARE(run(MAKEDB_EXECUTABLE, {schema, db}), 1);
        QVERIFY2(!QFile::exists(db), "a half-made database must not be left behind");
    }

    void makedbSplitsStatementsCarefully()
    {
        // A ';' inside a comment or a quoted default does not end a statement.
        const QString schema = tmp_.filePath("tricky.sql");
        const QString db = tmp_.filePath("tricky.db");
        QVERIFY(writeAll(schema, "-- one; two\nCREATE TABLE t (a TEXT DEFAULT 'x;y');\n"
                                 "CREATE TABLE u (b TEXT) -- trailing; comment\n;\n"));
        QCOMPARE(run(MAKEDB_EXECUTABLE, {schema, db}), 0);
        {
            QSqlDatabase d = QSqlDatabase::addDatabase("QSQLITE", "tricky");
            d.setDatabaseName(db);
            QVERIFY(d.open());
            QCOMPARE(d.tables().size(), 2);
            QSqlQuery q(d);
            QVERIFY(q.exec("INSERT INTO t DEFAULT VALUES"));
            QVERIFY(q.exec("SELECT a FROM t"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("x;y"));
        }
        QSqlDatabase::removeDatabase("tricky");
    }
};

QTEST_GUILESS_MAIN(TestLayout)
#include "test_layout.moc"
