// The server the desks share: a private PostgreSQL cluster starts, Qt's
// PostgreSQL driver reaches it, and the trigram extension the caller lookup's
// index needs is there.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include "testpg.h"

class TestPostgres : public QObject {
    Q_OBJECT
private slots:
    void theServerAndItsTrigramIndex()
    {
        testutil::PrivatePostgres server;
        QVERIFY2(server.error().isEmpty(), qPrintable(server.error()));
        QVERIFY2(server.createDatabase(QStringLiteral("客户")), qPrintable(server.error()));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pg"));
            db.setHostName(server.host());
            db.setPort(server.port());
            db.setUserName(server.user());
            db.setDatabaseName(QStringLiteral("客户"));
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery q(db);
            QVERIFY2(q.exec(QStringLiteral("create extension if not exists pg_trgm")), qPrintable(q.lastError().text()));
            QVERIFY(q.exec(QStringLiteral("create table 客户数据 (\"ID\" integer generated always as identity primary key, "
                                          "手机 text)")));
            QVERIFY(q.exec(QStringLiteral("create index 客户号码 on 客户数据 using gin (手机 gin_trgm_ops)")));
            QVERIFY(q.prepare(QStringLiteral("insert into 客户数据 (手机) values (?)")));
            q.addBindValue(QStringLiteral("138-1234-5678"));
            QVERIFY(q.exec());
            QVERIFY(q.exec(QStringLiteral("select \"ID\" from 客户数据 where 手机 like '%1234%'")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 1);
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pg"));
    }
};

QTEST_GUILESS_MAIN(TestPostgres)
#include "test_postgres.moc"
