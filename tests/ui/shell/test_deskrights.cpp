// At a desk whose login has only a desk's rights, each of the owner's steps
// in the menus (清空, 压缩, 恢复, 上传) is refused before anything is asked or
// done, in words that name the right it lacks; the data stay as they were.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "data/module/datamodule.h"
#include "data/engine/serverrights.h"
#include "rules/errors/errorreport.h"
#include "rules/statements/servergrants.h"
#include "ui/kit/message.h"
#include "ui/maintenance/maintenance.h"
#include "testpg.h"
#include "testutil.h"

namespace {

QString runAs(const testutil::PrivatePostgres& server, const QString& role, const QString& database, const QString& sql)
{
    const QString name = QStringLiteral("rights-") + QUuid::createUuid().toString(QUuid::Id128);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(server.host());
        db.setPort(server.port());
        db.setUserName(role);
        db.setDatabaseName(database);
        QSqlQuery q(db);
        if (!db.open())
            error = db.lastError().text();
        else if (!q.exec(sql))
            error = q.lastError().text();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

}  // namespace

class TestDeskRights : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    QStringList messages_, reports_;

    DatabaseLocation as(const QString& role)
    {
        QString uri = server_->uri(QStringLiteral("office"));
        uri.replace(QStringLiteral("://") + server_->user() + QLatin1Char('@'), QStringLiteral("://") + role + QLatin1Char('@'));
        return DatabaseLocation::ofUri(uri);
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
        for (const char* sql : {"create role shopowner login", "create role desk1 login", "create database office owner shopowner"})
            QCOMPARE(runAs(*server_, server_->user(), QStringLiteral("postgres"), QLatin1String(sql)), QString());
        testutil::makeProgramFolder();
        {
            testutil::MainFixture owner;
            owner.dm->setDatabaseLocation(as(QStringLiteral("shopowner")));
            owner.dm->connection.open();
        }
        QCOMPARE(runAs(*server_, QStringLiteral("shopowner"), QStringLiteral("office"),
                       QStringLiteral("insert into 客户数据 (联系人, 电话) values ('甲', '010-1'); "
                                      "insert into 来电数据 (电话) values ('010-1')")),
                 QString());
        QString why;
        QCOMPARE(runAs(*server_, QStringLiteral("shopowner"), QStringLiteral("office"),
                       serverGrants(QStringLiteral("desk1"), &why)),
                 QString());
        setMessageSink([this](const QString& t) { messages_ << t; });
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }

    void cleanupTestCase()
    {
        setMessageSink({});
        errorreport::setSink({});
    }

    void eachOwnersStepIsRefusedBeforeItStarts()
    {
        testutil::makeProgramFolder();
        testutil::MainFixture f;
        f.dm->setDatabaseLocation(as(QStringLiteral("desk1")));
        f.dm->connection.open();
        f->activate();
        QVERIFY(f.dm->customerTable.isActive() && f.dm->callTable.isActive());
        Maintenance& m = *f->maintenance();
        const struct {
            void (Maintenance::*handler)();
            serverrights::Step step;
        } steps[] = {{&Maintenance::clearCalls, serverrights::Step::ClearCalls},
                     {&Maintenance::clearCustomers, serverrights::Step::ClearCustomers},
                     {&Maintenance::compact, serverrights::Step::Compact},
                     {&Maintenance::restore, serverrights::Step::Restore},
                     {&Maintenance::upload, serverrights::Step::Upload}};
        for (const auto& s : steps) {
            messages_.clear();
            (m.*s.handler)();  // nothing asked: a question would wait here
            QCOMPARE(messages_.size(), 1);
            QCOMPARE(messages_[0], QStringLiteral("这台电脑登录服务器所用的用户没有") + serverrights::stepName(s.step) +
                                       QStringLiteral("的权限，请用数据库的所有者登录。"));
            QVERIFY(!m.work());
        }
        QCOMPARE(f.dm->customerTable.recordCount(), 1);
        QCOMPARE(f.dm->callTable.recordCount(), 1);
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestDeskRights)
#include "test_deskrights.moc"
