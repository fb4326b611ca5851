// The engine follows the location: the SQLite file stays the standard, a
// server location gets the PostgreSQL engine, and what a server connection
// is given reaches libpq as written (several hosts, the session attributes,
// the password only through the driver's own field).

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "data/connection/connection.h"
#include "data/engine/dberror.h"
#include "data/engine/postgresengine.h"
#include "data/engine/sqliteengine.h"

class TestEngines : public QObject {
    Q_OBJECT
private slots:
    void theLocationPicksTheEngine()
    {
        const auto sqlite = DatabaseEngine::standard();
        QCOMPARE(sqlite->kind(), DatabaseLocation::Kind::File);
        QCOMPARE(DatabaseEngine::standard(DatabaseLocation::ofFile(QStringLiteral("x.mdb"))), sqlite);
        const auto server = DatabaseEngine::standard(DatabaseLocation::ofUri(QStringLiteral("postgresql:///db")));
        QCOMPARE(server->kind(), DatabaseLocation::Kind::Server);
        {
            QSqlDatabase a = server->connection(QStringLiteral("pg"), DatabaseLocation::ofUri(QStringLiteral("postgresql:///db")), 100);
            QSqlDatabase b = sqlite->connection(QStringLiteral("lite"), DatabaseLocation::ofFile(QStringLiteral("x.mdb")), 100);
            QCOMPARE(&DatabaseEngine::of(a), server.get());
            QCOMPARE(&DatabaseEngine::of(b), sqlite.get());
            QCOMPARE(b.databaseName(), QStringLiteral("x.mdb"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pg"));
        QSqlDatabase::removeDatabase(QStringLiteral("lite"));
    }

    void aUriReachesLibpqWithEveryKeyword()
    {
        QString error;
        const auto p = PostgresEngine::parameters(
            DatabaseLocation::ofUri(QStringLiteral("postgresql://desk:pw@db1:5432,db2:5433/客户?target_session_attrs=read-write")),
            &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(p.value(QStringLiteral("host")), QStringLiteral("db1,db2"));
        QCOMPARE(p.value(QStringLiteral("port")), QStringLiteral("5432,5433"));
        QCOMPARE(p.value(QStringLiteral("dbname")), QStringLiteral("客户"));
        QCOMPARE(p.value(QStringLiteral("user")), QStringLiteral("desk"));
        QCOMPARE(p.value(QStringLiteral("password")), QStringLiteral("pw"));
        QCOMPARE(p.value(QStringLiteral("target_session_attrs")), QStringLiteral("read-write"));

        // Fields: the empty ones are left to libpq (PGSERVICE, ~/.pgpass).
        DatabaseLocation fields;
        fields.kind = DatabaseLocation::Kind::Server;
        fields.database = QStringLiteral("office");
        const auto q = PostgresEngine::parameters(fields);
        QCOMPARE(q.keys(), QStringList{QStringLiteral("dbname")});

        // A URI libpq cannot read is refused before any connection is tried.
        const PostgresEngine engine;
        QVERIFY(!engine.canTry(DatabaseLocation::ofUri(QStringLiteral("postgresql://h/db?nosuchkeyword=1")), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(engine.canTry(fields, &error));
    }

    void aConnectionGivesBackWhereItGoes()
    {
        // Background work opens connections of its own from what the
        // connection says: the same keywords, the password included, none
        // of the session settings piling up.
        const PostgresEngine engine;
        DatabaseLocation where;
        where.kind = DatabaseLocation::Kind::Server;
        where.hosts = QStringLiteral("/tmp/socket dir,db2");
        where.database = QStringLiteral("客 户");
        where.user = QStringLiteral("o'brien");
        where.password = QStringLiteral("p w;'x");
        {
            QSqlDatabase db = engine.connection(QStringLiteral("first"), where, 250);
            QCOMPARE(db.password(), where.password);
            QVERIFY(!db.connectOptions().contains(QStringLiteral("p w")));
            const DatabaseLocation back = engine.locationOf(db);
            QVERIFY(back.isServer());
            QSqlDatabase again = engine.connection(QStringLiteral("second"), back, 250);
            QCOMPARE(again.connectOptions(), db.connectOptions());
            QCOMPARE(again.password(), where.password);
            const auto p = PostgresEngine::parameters(back);
            QCOMPARE(p.value(QStringLiteral("host")), where.hosts);
            QCOMPARE(p.value(QStringLiteral("dbname")), where.database);
            QCOMPARE(p.value(QStringLiteral("user")), where.user);
            QVERIFY(!back.describe().contains(QStringLiteral("p w")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("first"));
        QSqlDatabase::removeDatabase(QStringLiteral("second"));
    }

    void aMissingFileIsNeverCreated()
    {
        QTemporaryDir tmp;
        const QString missing = tmp.filePath(QStringLiteral("data/web.mdb"));
        Connection c(QStringLiteral("c"));
        c.setLocation(DatabaseLocation::ofFile(missing));
        QCOMPARE(c.location(), DatabaseLocation::ofFile(missing));
        try {
            c.open();
            QFAIL("opened a missing file");
        } catch (const DbError& e) {
            QVERIFY(e.message().contains(QStringLiteral("找不到数据库文件")));
        }
        QVERIFY(!QFile::exists(missing));
    }

    // Commits let return before the disk has them never move the log into
    // the file themselves (a checkpoint waits for the disk): that is left
    // to the fold beside the window.  Once they are over, the connection
    // moves it in again as before.
    void commitsFlushedLaterLeaveTheFileAlone()
    {
        QTemporaryDir tmp;
        const QString file = tmp.filePath(QStringLiteral("web.mdb"));
        const SqliteEngine engine;
        const DatabaseLocation where = DatabaseLocation::ofFile(file);
        const auto content = [&] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        {
            QSqlDatabase db = engine.connection(QStringLiteral("later"), where, 1000);
            QVERIFY(db.open());
            engine.prepareSession(db);
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("create table 来电数据 (id integer primary key, 手机 text)")));
            QVERIFY(q.exec(QStringLiteral("pragma wal_checkpoint(truncate)")));
            const QByteArray before = content();
            QVERIFY(engine.flushLater(db, true));
            q.prepare(QStringLiteral("insert into 来电数据 (手机) values (?)"));
            for (int i = 0; i < 1100; ++i) {  // a page of log each, past SQLite's 1000
                q.addBindValue(QString::number(13900000000LL + i));
                QVERIFY(q.exec());
            }
            QVERIFY(content() == before);
            QVERIFY(!engine.flushLater(db, false));
            q.addBindValue(QStringLiteral("13800000000"));
            QVERIFY(q.exec());
            QVERIFY(content() != before);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("later"));
    }
};

QTEST_GUILESS_MAIN(TestEngines)
#include "test_engines.moc"
