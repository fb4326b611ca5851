// Two kinds of login on one server: the owner makes the tables; a desk's
// login, given the rights `tavrin --server-grants` prints, works a whole
// shift (calls, customers with new numbers, searches, export, statistics)
// through the program's own triggers, and every owner's step is refused
// before it starts.  The session quotes texts the standard way whatever the
// server is set to.

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "data/module/datamodule.h"
#include "data/engine/dberror.h"
#include "data/engine/engine.h"
#include "data/engine/serverrights.h"
#include "data/calls/callstatistics.h"
#include "data/maintenance/serverfiles.h"
#include "data/transfer/exportrows.h"
#include "rules/errors/errorreport.h"
#include "rules/statements/servergrants.h"
#include "rules/statements/statementtext.h"
#include "rules/calls/callrules.h"
#include "testpg.h"

namespace {

const QDate kDay(2026, 5, 6);

CallRecord call(const QString& number) { return callRecord(number, QDateTime(kDay, QTime(10, 0, 0))); }

// Runs one statement on `database` as `role`; the error's text, empty when it ran.
QString runAs(const testutil::PrivatePostgres& server, const QString& role, const QString& database,
              const QString& sql)
{
    const QString name = QStringLiteral("rights-") + QUuid::createUuid().toString(QUuid::Id128);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(server.host());
        db.setPort(server.port());
        db.setUserName(role);
        db.setDatabaseName(database);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(sql))
                error = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

int rowsOf(DataSet& list, const QString& number)
{
    list.setStatement(WrittenStatement::of(indexedLookupStatement(number), QStringLiteral("客户数据")));
    list.open();
    return list.recordCount();
}

}  // namespace

class TestServerRights : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    QStringList reported_;

    DatabaseLocation as(const QString& role, const QString& database = QStringLiteral("shift"))
    {
        QString uri = server_->uri(database);
        uri.replace(QStringLiteral("://") + server_->user() + QLatin1Char('@'), QStringLiteral("://") + role + QLatin1Char('@'));
        return DatabaseLocation::ofUri(uri);
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
        errorreport::setSink([this](const QString& text) { reported_ << text; });
        for (const char* sql : {"create role shopowner login", "create role desk1 login",
                                "create database shift owner shopowner", "create database fresh owner shopowner"})
            QCOMPARE(runAs(*server_, server_->user(), QStringLiteral("postgres"), QLatin1String(sql)), QString());
        {
            // The owner's desk starts first and makes the tables.
            auto owner = testutil::openDesk(as(QStringLiteral("shopowner")));
            owner->customerTable.append();
            owner->customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("张"));
            owner->customerTable.setValue(QStringLiteral("电话"), QStringLiteral("010-1111 2222"));
            owner->customerTable.post();
            QVERIFY(owner->logCall(call(QStringLiteral("01011112222"))));
        }
        QString why;
        const QString grants = serverGrants(QStringLiteral("desk1"), &why);
        QVERIFY2(!grants.isEmpty(), qPrintable(why));
        QCOMPARE(runAs(*server_, QStringLiteral("shopowner"), QStringLiteral("shift"), grants), QString());
        QVERIFY2(reported_.isEmpty(), qPrintable(reported_.join(QLatin1Char('\n'))));
    }

    void init() { reported_.clear(); }

    void aDeskWorksAWholeShift()
    {
        auto desk = testutil::openDesk(as(QStringLiteral("desk1")));
        QVERIFY(desk->connection.isConnected());
        QVERIFY(desk->logCall(call(QStringLiteral("13911112222"))));
        QVERIFY(desk->logCall(call(QStringLiteral("021-3333 4444"))));

        // A customer gets new numbers, another is added: the number index
        // the triggers keep follows, though the desk may not write it.
        DataSet& customers = desk->customerTable;
        customers.first();
        QCOMPARE(customers.text(QStringLiteral("联系人")), QStringLiteral("张"));
        customers.edit();
        customers.setValue(QStringLiteral("电话"), QStringLiteral("021-3333 4444"));
        customers.setValue(QStringLiteral("手机"), QStringLiteral("13800001111"));
        customers.post();
        customers.append();
        customers.setValue(QStringLiteral("联系人"), QStringLiteral("王"));
        customers.setValue(QStringLiteral("宅电"), QStringLiteral("0755-1234 5678"));
        customers.post();
        QCOMPARE(rowsOf(desk->lookupTable, QStringLiteral("02133334444")), 1);
        QCOMPARE(desk->lookupTable.text(QStringLiteral("联系人")), QStringLiteral("张"));
        QCOMPARE(rowsOf(desk->lookupTable, QStringLiteral("13800001111")), 1);
        QCOMPARE(rowsOf(desk->lookupTable, QStringLiteral("075512345678")), 1);
        QCOMPARE(rowsOf(desk->lookupTable, QStringLiteral("01011112222")), 0);

        // A search of the call list, an export and the day's statistics.
        desk->lookupTable.setStatement(WrittenStatement::of(
            QStringLiteral("select * from 来电数据 where 电话 like '%3333%' or 手机 like '%3333%'"), QStringLiteral("来电数据")));
        desk->lookupTable.open();
        QCOMPARE(desk->lookupTable.recordCount(), 1);
        QTemporaryDir folder;
        ExportPlan plan;
        plan.statement = QStringLiteral("select * from 客户数据 order by id");
        plan.columns = QStringList{QStringLiteral("联系人"), QStringLiteral("电话")};
        plan.fileName = folder.filePath(QStringLiteral("客户.csv"));
        const ExportReport exported = writeWorkbooks(desk->connection.database(), plan, ExportSteps{});
        QCOMPARE(exportFailureText(exported), QString());
        QVERIFY(QFileInfo::exists(plan.fileName));
        const CallStatistics day = callStatistics(desk->connection.database(), kDay, kDay);
        QCOMPARE(day.total, 3);
        // A backup of the server may be made at a desk.
        QString why;
        bool stopped = false;
        QVERIFY2(serverfiles::dump(desk->databaseLocation(), 15, folder.filePath(QStringLiteral("备份.dump")), {}, &why,
                                   &stopped),
                 qPrintable(why));

        // A customer the desk adds by mistake goes again.
        customers.last();
        QCOMPARE(customers.text(QStringLiteral("联系人")), QStringLiteral("王"));
        customers.setBeforeDelete([](DataSet&) { return true; });
        QVERIFY(customers.remove());
        QCOMPARE(rowsOf(desk->lookupTable, QStringLiteral("075512345678")), 0);
        QVERIFY2(reported_.isEmpty(), qPrintable(reported_.join(QLatin1Char('\n'))));
    }

    void eachOwnersStepIsRefusedForADesk()
    {
        auto desk = testutil::openDesk(as(QStringLiteral("desk1")));
        auto owner = testutil::openDesk(as(QStringLiteral("shopowner")));
        const QSqlDatabase deskDb = desk->connection.database();
        QCOMPARE(serverrights::refusal(deskDb, serverrights::Step::ClearCalls),
                 QStringLiteral("这台电脑登录服务器所用的用户没有清空来电数据的权限，请用数据库的所有者登录。"));
        // Each step at the menus: tests/ui/app/test_deskrights.cpp.
        QCOMPARE(serverrights::refusal(owner->connection.database(), serverrights::Step::ClearCalls), QString());
        QVERIFY(serverrights::mayChangeTables(owner->connection.database()));
        // The grants leave the desk no way round the refusal.
        QSqlQuery q(desk->connection.database());
        QVERIFY(!q.exec(QStringLiteral("truncate 来电数据")));
        QVERIFY(!q.exec(QStringLiteral("drop table 客户号码")));
        QVERIFY(!q.exec(QStringLiteral("insert into 客户号码 (rowid, 电话) values (999, '1')")));
    }

    void aDeskOnAnEmptyDatabaseIsToldToLetTheOwnerStart()
    {
        const QString why = runAs(*server_, QStringLiteral("desk1"), QStringLiteral("fresh"), QStringLiteral("select 1"));
        QCOMPARE(why, QString());
        try {
            auto desk = testutil::openDesk(as(QStringLiteral("desk1"), QStringLiteral("fresh")));
            desk->connection.open();
            QFAIL("a desk's login made the tables");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("没有建立本程序的表的权限")), qPrintable(e.message()));
        }
    }

    void theGrantsNameOnlyAPlainLogin()
    {
        QString why;
        QVERIFY(serverGrants(QStringLiteral("desk'); drop table 客户数据; --"), &why).isEmpty());
        QVERIFY(why.contains(QStringLiteral("不能作为登录服务器的用户名")));
        QVERIFY(serverGrants(QStringLiteral("$grants$"), &why).isEmpty());
        QVERIFY(serverGrants(QStringLiteral("前台_2"), &why).contains(QStringLiteral("'前台_2'")));
    }

    void textsAreQuotedTheStandardWayWhateverTheServerSays()
    {
        testutil::PrivatePostgres old;
        old.setServerSettings({QStringLiteral("standard_conforming_strings=off")});
        QVERIFY(old.stop() && old.start());
        QVERIFY2(old.createDatabase(QStringLiteral("old")), qPrintable(old.error()));
        auto desk = testutil::openDesk(DatabaseLocation::ofUri(old.uri(QStringLiteral("old"))));
        QSqlQuery q(desk->connection.database());
        // A typed backslash before a quote stays text, not the quote's end.
        const QString typed = QStringLiteral("a\\'; select 1; --");
        QVERIFY2(q.exec(QStringLiteral("select '") + quotedValue(typed) + QLatin1Char('\'')), qPrintable(q.lastError().text()));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), typed);
        // And so on the connections of long work, made the same way.
        const auto engine = DatabaseEngine::standard(desk->databaseLocation());
        const QString name = QStringLiteral("work-") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase work = engine->connection(name, desk->databaseLocation(), 1000);
            QVERIFY(work.open());
            QSqlQuery w(work);
            QVERIFY(w.exec(QStringLiteral("show standard_conforming_strings")) && w.next());
            QCOMPARE(w.value(0).toString(), QStringLiteral("on"));
            work.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

QTEST_MAIN(TestServerRights)
#include "test_serverrights.moc"
