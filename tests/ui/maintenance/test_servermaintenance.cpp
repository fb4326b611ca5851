// The maintenance entries of a desk on the server: backup and restore with
// their questions and messages, the files restore refuses, and the upload
// of the desk's own database from its menu entry.

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "data/module/datamodule.h"
#include "rules/errors/errorreport.h"
#include "rules/calls/callrules.h"
#include "ui/kit/message.h"
#include "ui/maintenance/maintenance.h"
#include "ui/maintenance/servermaintenance.h"
#include "testpg.h"
#include "testutil.h"

using testutil::whenModal;

class TestServerMaintenance : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    std::unique_ptr<testutil::MainFixture> f_;
    QTemporaryDir dir_;
    QString folder_;
    QStringList messages_, reports_;
    QList<Maintenance::FileRequest> requests_;
    int databases_ = 0;

    Maintenance& m() { return *(*f_)->maintenance(); }
    DataModule& dm() { return *f_->dm; }

    void answerFiles(QStringList names)
    {
        m().setFileDialog([this, names](const Maintenance::FileRequest& r) mutable {
            requests_ << r;
            return names.isEmpty() ? QString() : names.takeFirst();
        });
    }
    bool run(void (Maintenance::*handler)())
    {
        QSignalSpy ended(&m(), &Maintenance::workEnded);
        (m().*handler)();
        return !m().work() || ended.wait(60000);
    }
    // The main window over a fresh database of the server (or the local file).
    void openDesk(bool onServer)
    {
        f_ = std::make_unique<testutil::MainFixture>();
        if (onServer) {
            const QString name = QStringLiteral("台") + QString::number(++databases_);
            QVERIFY(server_->createDatabase(name));
            f_->dm->setDatabaseLocation(DatabaseLocation::ofUri(server_->uri(name)));
        }
        (*f_)->activate();
    }
    // What was reported.
    QStringList ownReports() const { return reports_; }
    void sql(const QString& statement)
    {
        QSqlQuery q(dm().connection.database());
        QVERIFY2(q.exec(statement), qPrintable(statement));
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        testutil::addCustomers(folder_ + QStringLiteral("data/web.mdb"), 40);
        messages_.clear();
        reports_.clear();
        requests_.clear();
        setMessageSink([this](const QString& t) { messages_ << t; });
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup()
    {
        f_.reset();
        setMessageSink({});
        errorreport::setSink({});
    }

    void backupAndRestoreFromTheMenus()
    {
        openDesk(true);
        sql(QStringLiteral("insert into 客户数据 (联系人, 手机) values ('王先生', '13912345678'), ('李小姐', '13800001111')"));
        dm().customerTable.reopen();
        QCOMPARE(dm().customerTable.recordCount(), 2);
        const QString target = dir_.filePath(QStringLiteral("服务器备份"));
        answerFiles({target});
        QVERIFY(run(&Maintenance::backUp));
        QCOMPARE(messages_, QStringList{QStringLiteral("备份成功！")});
        QCOMPARE(requests_[0].title, QStringLiteral("请输入新生成的备份文件名称"));
        QCOMPARE(requests_[0].filter, ServerMaintenance::backupFilter());
        QVERIFY(QFileInfo::exists(target + QStringLiteral(".dump")));

        // Stored after the backup: gone once it is restored, and the lists
        // show the restored rows.
        sql(QStringLiteral("insert into 客户数据 (联系人) values ('后来的')"));
        dm().customerTable.reopen();
        QCOMPARE(dm().customerTable.recordCount(), 3);
        QString question;
        answerFiles({target + QStringLiteral(".dump")});
        whenModal(QStringLiteral("是"), &question);
        QSignalSpy ended(&m(), &Maintenance::workEnded);
        m().restore();
        QVERIFY(m().work());
        // A call while the restore runs waits for it and is then logged
        // into the restored database, not into the one it replaces.
        QVERIFY(!dm().logCall(callRecord(QStringLiteral("13912345678"), QDateTime::currentDateTime())));
        QCOMPARE(dm().callsWaiting(), 1);
        QSignalSpy waiting(&dm(), &DataModule::callsWaitingChanged);
        QVERIFY(ended.wait(60000));
        // The journal hands it to the server once the restore has let go.
        while (dm().callsWaiting() > 0)
            QVERIFY(waiting.wait(30000));
        QCOMPARE(question, QStringLiteral("恢复数据将覆盖现在的数据，继续吗?"));
        QSqlQuery calls(dm().connection.database());
        QVERIFY(calls.exec(QStringLiteral("select count(*) from 来电数据 where 手机 = '13912345678'")) && calls.next());
        QCOMPARE(calls.value(0).toInt(), 1);
        QCOMPARE(requests_[1].title, QStringLiteral("请选择一个过去备份的数据库文件"));
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(ownReports().isEmpty(), qPrintable(reports_.join('\n')));
        QVERIFY(dm().customerTable.isActive() && dm().callTable.isActive());
        QCOMPARE(dm().customerTable.recordCount(), 2);
        // The desk goes on storing on the restored database.
        sql(QStringLiteral("insert into 客户数据 (联系人) values ('再来的')"));
    }

    void restoreRefusesWhatIsNoBackupOfTheServer()
    {
        openDesk(true);
        sql(QStringLiteral("insert into 客户数据 (联系人) values ('留下')"));
        dm().customerTable.reopen();
        const QString text = dir_.filePath(QStringLiteral("notes.dump"));
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just a note");
        f.close();
        const QString local = folder_ + QStringLiteral("data/web.mdb");
        for (const QString& file : {local, text}) {
            answerFiles({file});
            whenModal(QStringLiteral("是"));
            m().restore();
            QVERIFY(!m().work());
        }
        QCOMPARE(messages_.size(), 2);
        QVERIFY2(messages_[0].contains(QStringLiteral("上传本机数据到服务器")), qPrintable(messages_[0]));
        QVERIFY(messages_[1].contains(QStringLiteral("不是服务器数据库的备份文件")));
        for (const QString& said : messages_)
            QVERIFY(said.endsWith(QStringLiteral("数据没有改动。")));
        QCOMPARE(dm().customerTable.recordCount(), 1);
    }

    void uploadFromTheMenu()
    {
        // Not on a server: nothing to upload to.
        openDesk(false);
        m().upload();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].startsWith(QStringLiteral("现在使用的是本机数据库")));
        f_.reset();

        openDesk(true);
        QCOMPARE(dm().customerTable.recordCount(), 0);
        const QString local = folder_ + QStringLiteral("data/web.mdb");
        answerFiles({QString()});
        m().upload();
        QCOMPARE(requests_.size(), 1);
        QCOMPARE(QFileInfo(requests_[0].selected), QFileInfo(local));
        QCOMPARE(messages_.size(), 1);

        QString question;
        answerFiles({local});
        whenModal(QStringLiteral("是"), &question);
        QVERIFY(run(&Maintenance::upload));
        QVERIFY(question.contains(QStringLiteral("上传到服务器数据库")));
        QVERIFY2(ownReports().isEmpty(), qPrintable(reports_.join('\n')));
        QCOMPARE(messages_.last(), QStringLiteral("已上传到服务器：客户数据 40 条，来电数据 0 条，字典 0 条。"));
        QCOMPARE(dm().customerTable.recordCount(), 40);

        // Once there are rows, a second upload is refused before any question.
        m().upload();
        QVERIFY(messages_.last().contains(QStringLiteral("已经有数据（客户数据）")));
        QCOMPARE(requests_.size(), 2);
    }
};

QTEST_MAIN(TestServerMaintenance)
#include "test_servermaintenance.moc"
