// The maintenance entries of the menus: their questions, dialogs and
// messages, what they leave open, the clearing window, and the calls that
// come while they run.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstring>

#include "ui/calls/announcement.h"
#include "rules/errors/errorreport.h"
#include "rules/files/scratchfiles.h"
#include "ui/kit/message.h"
#include "ui/kit/statusbar.h"
#include "rules/calls/callrules.h"
#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "ui/kit/workwindow.h"
#include "data/maintenance/fakereader.h"
#include "data/maintenance/dbfiles.h"
#include "ui/maintenance/clearconfirmwindow.h"
#include "ui/maintenance/maintenance.h"
#include "testutil.h"

using testutil::whenModal;

namespace {

QByteArray bytesOf(const QString& file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// One value read from a database file through a connection of the test's own.
QString scalar(const QString& file, const QString& sql) { return testutil::valueOf(file, sql).toString(); }

// What a database holds, in a line that changes with any row.
QString contentOf(const QString& file)
{
    return scalar(file, QStringLiteral(
                            "select (select count(*) || ':' || total(ID) || ':' || "
                            "group_concat(ifnull(联系人, '') || ifnull(手机, ''), ',') from 客户数据) "
                            "|| '/' || (select count(*) || ':' || total(ID) from 来电数据) "
                            "|| '/' || (select count(*) from 字典)"));
}

// Spoils every page of a database file but the first.
void spoilPages(const QString& file)
{
    QFile f(file);
    f.open(QIODevice::ReadWrite);
    for (qint64 at = 4096; at < f.size(); at += 4096) {
        f.seek(at);
        f.write(QByteArray(4096, char(0x5a)));
    }
}

// Holds the work's thread at a step until let go.
struct StepGate {
    std::atomic<bool> reached{false};
    std::atomic<bool> open{false};
    void at(const QString& step)
    {
        const QByteArray name = step.toLatin1();
        dbfile::setStepHook([this, name](const char* s) {
            if (open || name != s)
                return;
            reached = true;
            while (!open)
                QThread::msleep(2);
        });
    }
    ~StepGate()
    {
        open = true;
        dbfile::setStepHook({});
    }
};

QByteArray jetHeader()
{
    return QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(4076, '\0');
}

}  // namespace

class TestMaintenance : public QObject {
    Q_OBJECT
    QString folder_, db_;
    QStringList messages_, reports_;
    std::unique_ptr<testutil::MainFixture> f_;
    int dialogs_ = 0;
    QList<Maintenance::FileRequest> requests_;

    Maintenance& m() { return *(*f_)->maintenance(); }
    DataModule& dm() { return *f_->dm; }
    QString statusText() { return (*f_)->panelText(MainWindow::MessagePanel); }

    // The next file dialogs answer with these names ("" = cancel).
    void answerFiles(QStringList names)
    {
        m().setFileDialog([this, names](const Maintenance::FileRequest& r) mutable {
            ++dialogs_;
            requests_ << r;
            return names.isEmpty() ? QString() : names.takeFirst();
        });
    }

    // Runs a menu handler; when it started long work, waits until the work
    // has ended and the program has said how.
    bool run(void (Maintenance::*handler)())
    {
        QSignalSpy ended(&m(), &Maintenance::workEnded);
        (m().*handler)();
        return !m().work() || ended.wait(30000);
    }
    bool waitForWork()
    {
        QSignalSpy ended(&m(), &Maintenance::workEnded);
        return !m().work() || ended.wait(30000);
    }

    // A call typed into the number field.
    void typeCall(const QString& number)
    {
        testutil::named<QLineEdit>(&**f_, QStringLiteral("numberField"))->setText(number);
        QTest::keyClick(testutil::named<QLineEdit>(&**f_, QStringLiteral("numberField")), Qt::Key_Return);
    }
    QString callsOf(const QString& number)
    {
        return scalar(db_, QStringLiteral("select count(*) from 来电数据 where 手机 = '") + number +
                               QLatin1Char('\''));
    }

private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        db_ = folder_ + QStringLiteral("data/web.mdb");
        testutil::addCustomers(db_, 40);
        testutil::execute(db_, QStringLiteral("insert into 来电数据 (手机) values ('13900000001')"));
        messages_.clear();
        reports_.clear();
        dialogs_ = 0;
        requests_.clear();
        setMessageSink([this](const QString& t) { messages_ << t; });
        errorreport::setSink([this](const QString& t) { reports_ << t; });
        f_ = std::make_unique<testutil::MainFixture>();
        (*f_)->activate();
        QVERIFY(reports_.isEmpty());
    }
    void cleanup()
    {
        dbfile::setStepHook({});
        if (f_ && m().work())
            waitForWork();
        f_.reset();
        setMessageSink({});
        errorreport::setSink({});
    }

    void compactKeepsTheSearchInForce()
    {
        testutil::addCustomers(db_, 3000);
        testutil::execute(db_, QStringLiteral("delete from 客户数据 where ID > 20"));
        const WrittenStatement search = WrittenStatement::ordered(
            QStringLiteral("select * from 客户数据 where 联系人 like '%客户1%'"), QStringLiteral(" order by id desc"),
            QStringLiteral("客户数据"), QStringLiteral("ID"), true);
        dm().customerTable.close();
        dm().customerTable.setStatement(search);
        dm().customerTable.open();
        const int found = dm().customerTable.recordCount();
        const QString content = contentOf(db_);
        // Pages in use or free, wherever they are (the file or its log).
        const int pages = scalar(db_, QStringLiteral("pragma page_count")).toInt();
        writeFile(folder_ + QStringLiteral("data/new.MDB"), "left over");
        QVERIFY(run(&Maintenance::compact));
        QCOMPARE(messages_, QStringList{QStringLiteral("操作成功")});
        QVERIFY(reports_.isEmpty());
        QCOMPARE(dm().customerTable.commandText(), search.text);
        QCOMPARE(dm().customerTable.recordCount(), found);
        QVERIFY(dm().callTable.isActive());
        QCOMPARE(contentOf(db_), content);
        QVERIFY(scalar(db_, QStringLiteral("pragma page_count")).toInt() < pages / 2);
        QCOMPARE(scalar(db_, QStringLiteral("pragma freelist_count")), QStringLiteral("0"));
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("data/new.MDB")));
    }

    void compactThatFailsChangesNothing()
    {
        QDir().mkpath(folder_ + QStringLiteral("data/new.MDB/locked"));
        testutil::execute(db_, QStringLiteral("delete from 客户数据 where ID > 30"));
        const QString before = contentOf(db_);
        const int pages = scalar(db_, QStringLiteral("pragma page_count")).toInt();
        QVERIFY(run(&Maintenance::compact));
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].startsWith(QStringLiteral("操作失败")));
        QCOMPARE(contentOf(db_), before);
        QCOMPARE(scalar(db_, QStringLiteral("pragma page_count")).toInt(), pages);
        QVERIFY(dm().customerTable.isActive());
    }

    void backupMessagesAndQuestions()
    {
        answerFiles({QString()});
        QVERIFY(run(&Maintenance::backUp));  // cancelled: nothing at all
        QVERIFY(messages_.isEmpty());
        QCOMPARE(requests_[0].title, QStringLiteral("请输入新生成的备份文件名称"));
        QCOMPARE(requests_[0].filter, QStringLiteral("Microsoft access(*.mdb)|*.mdb"));
        QCOMPARE(requests_[0].defaultSuffix, QStringLiteral("mdb"));

        const QString copy = folder_ + QStringLiteral("copy");
        answerFiles({copy});
        QVERIFY(run(&Maintenance::backUp));  // typed without extension
        QCOMPARE(messages_, QStringList{QStringLiteral("备份成功！")});
        QCOMPARE(dbfile::kindOf(copy + QStringLiteral(".mdb")), dbfile::Kind::Ours);

        // Existing file: "否" leaves it and says nothing; "是" writes it anew.
        // The same name typed without extension is asked about too.
        testutil::execute(db_, QStringLiteral("delete from 客户数据 where ID > 30"));
        const QByteArray old = bytesOf(copy + QStringLiteral(".mdb"));
        for (const QString& typed : {copy, copy + QStringLiteral(".mdb")}) {
            QString question;
            answerFiles({typed});
            whenModal(QStringLiteral("否"), &question);
            QVERIFY(run(&Maintenance::backUp));
            QCOMPARE(question, QStringLiteral("文件已经存在，要覆盖吗?"));
            QCOMPARE(messages_.size(), 1);
            QVERIFY(bytesOf(copy + QStringLiteral(".mdb")) == old);
        }
        answerFiles({copy + QStringLiteral(".mdb")});
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::backUp));
        QCOMPARE(messages_.last(), QStringLiteral("备份成功！"));
        QCOMPARE(contentOf(copy + QStringLiteral(".mdb")), contentOf(db_));
        QVERIFY(!QFileInfo::exists(copy + QStringLiteral(".mdb-wal")));

        // A folder that is not there; the database file itself.
        answerFiles({folder_ + QStringLiteral("nowhere/b.mdb")});
        QVERIFY(run(&Maintenance::backUp));
        QVERIFY(messages_.last().startsWith(QStringLiteral("备份失败！")));
        QVERIFY(QDir(folder_ + QStringLiteral("nowhere")).isEmpty());
        answerFiles({db_});
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::backUp));
        QVERIFY(messages_.last().startsWith(QStringLiteral("备份失败！")));
        QCOMPARE(dbfile::kindOf(db_), dbfile::Kind::Ours);
        QVERIFY(dm().customerTable.isActive());
    }

    void restoreRefusesWhatIsNotOurs()
    {
        QString question;
        whenModal(QStringLiteral("否"), &question);
        m().restore();
        QCOMPARE(question, QStringLiteral("恢复数据将覆盖现在的数据，继续吗?"));
        QCOMPARE(dialogs_, 0);

        answerFiles({QString()});
        whenModal(QStringLiteral("是"));
        m().restore();
        QCOMPARE(requests_[0].title, QStringLiteral("请选择一个过去备份的数据库文件"));
        QVERIFY(requests_[0].filter.startsWith(QStringLiteral("Microsoft Acsess 数据文件(*.mdb)|*.mdb")));
        QVERIFY(dm().customerTable.isActive() && dm().callTable.isActive());
        QVERIFY(messages_.isEmpty());

        const QString before = contentOf(db_);
        writeFile(folder_ + QStringLiteral("notes.mdb"), "only some text");
        testutil::execute(folder_ + QStringLiteral("other.mdb"), QStringLiteral("create table t (a)"));
        for (const char* name : {"notes.mdb", "other.mdb"}) {
            answerFiles({folder_ + QLatin1String(name)});
            whenModal(QStringLiteral("是"));
            m().restore();
            QVERIFY(!m().work());
            QVERIFY(messages_.last().contains(QStringLiteral("数据没有改动")));
            QCOMPARE(contentOf(db_), before);
            QVERIFY(dm().customerTable.isActive());
            QCOMPARE(dm().customerTable.recordCount(), 40);
        }
        QCOMPARE(messages_.size(), 2);

        // A good backup that cannot be copied beside the database.
        answerFiles({folder_ + QStringLiteral("saved.mdb")});
        QVERIFY(run(&Maintenance::backUp));
        QDir().mkpath(db_ + QStringLiteral(".new.tavrin-tmp/locked"));
        answerFiles({folder_ + QStringLiteral("saved.mdb")});
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::restore));
        QVERIFY(messages_.last().startsWith(QStringLiteral("恢复数据库失败，数据没有改动。")));
        QCOMPARE(contentOf(db_), before);
        QVERIFY(dm().customerTable.isActive());
        QVERIFY(!QFileInfo::exists(db_ + QStringLiteral(".bak")));
        QVERIFY(reports_.isEmpty());
    }

    // A database with the three tables but not the columns the program
    // uses is refused before anything is touched, naming what it lacks.
    void restoreRefusesADatabaseWithoutTheColumns()
    {
        const QString thin = folder_ + QStringLiteral("thin.mdb");
        testutil::execute(thin, QStringLiteral("create table 客户数据 (ID integer primary key, 联系人, 电话)"));
        testutil::execute(thin, QStringLiteral("create table 来电数据 (ID integer primary key, 电话, 手机, 日期, 时间)"));
        testutil::execute(thin, QStringLiteral("create table 字典 (ID integer primary key, 项目, 内容)"));
        testutil::execute(thin, QStringLiteral("insert into 客户数据 (联系人) values ('只有名字')"));
        const QString before = contentOf(db_);
        answerFiles({thin});
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::restore));
        QCOMPARE(messages_.size(), 1);
        const QString said = messages_[0];
        QVERIFY2(said.contains(QStringLiteral("数据没有改动")), qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("客户数据表缺少")) && said.contains(QStringLiteral("“手机”")) &&
                     said.contains(QStringLiteral("“答复”")),
                 qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("来电数据表缺少")) && said.contains(QStringLiteral("“联系人”")),
                 qPrintable(said));
        QVERIFY2(!said.contains(QStringLiteral("字典表")), qPrintable(said));
        QCOMPARE(contentOf(db_), before);
        QVERIFY(dm().customerTable.isActive());
        QCOMPARE(dm().customerTable.recordCount(), 40);
        QVERIFY(reports_.isEmpty());
    }

    // A database with every column but text IDs ('id1') is refused before
    // anything is touched: taken in, it would hang the number index's
    // build at every start.
    void restoreRefusesTextKeys()
    {
        const QString textKeys = folder_ + QStringLiteral("textkeys.mdb");
        testutil::makeDatabase(textKeys);
        testutil::execute(textKeys, QStringLiteral("alter table 客户数据 rename to 旧"));
        testutil::execute(textKeys, QStringLiteral("create table 客户数据 as select * from 旧 where 0"));
        testutil::execute(textKeys, QStringLiteral("drop table 旧"));
        testutil::execute(textKeys, QStringLiteral("insert into 客户数据 (ID, 手机) values ('id1', '13900000001'), "
                                                   "('id2', '13900000002'), (3, '13900000003')"));
        const QString before = contentOf(db_);
        answerFiles({textKeys});
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::restore));
        QVERIFY(!m().work());
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].contains(QStringLiteral("客户数据表的ID不是整数编号")) &&
                     messages_[0].contains(QStringLiteral("数据没有改动")) && !messages_[0].contains(QStringLiteral("来电数据")),
                 qPrintable(messages_[0]));
        QCOMPARE(contentOf(db_), before);
        QCOMPARE(dm().customerTable.recordCount(), 40);
        QVERIFY(reports_.isEmpty());
    }

    // Back up, clear the customers, restore: they are all there again, and
    // the cleared database is kept beside.
    void backupClearRestore()
    {
        const QString copy = folder_ + QStringLiteral("saved.mdb");
        answerFiles({copy});
        QVERIFY(run(&Maintenance::backUp));
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::clearCustomers));
        QCOMPARE(dm().customerTable.recordCount(), 0);
        // A search in force before the restore is dropped by it.
        dm().callTable.close();
        dm().callTable.setStatement(WrittenStatement::of(QStringLiteral("select * from 来电数据 where 1 = 0"), QStringLiteral("来电数据")));
        dm().callTable.open();
        answerFiles({copy});
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::restore));
        QCOMPARE(messages_, QStringList{QStringLiteral("备份成功！")});
        QVERIFY(reports_.isEmpty());
        QCOMPARE(dm().customerTable.recordCount(), 40);
        QCOMPARE(dm().callTable.recordCount(), 1);
        QCOMPARE(dm().customerTable.commandText(),
                 QStringLiteral("select * from 客户数据 order by id desc"));
        QCOMPARE(dbfile::kindOf(db_ + QStringLiteral(".bak")), dbfile::Kind::Ours);
        QCOMPARE(scalar(db_ + QStringLiteral(".bak"), QStringLiteral("select count(*) from 客户数据")),
                 QStringLiteral("0"));
        QVERIFY(!QFileInfo::exists(db_ + QStringLiteral(".new")));
        // The records are stored in the new file.
        dm().customerTable.first();
        dm().customerTable.edit();
        dm().customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("恢复后"));
        dm().customerTable.post();
        QVERIFY(reports_.isEmpty());
        QCOMPARE(scalar(db_, QStringLiteral("select count(*) from 客户数据 where 联系人 = '恢复后'")),
                 QStringLiteral("1"));
    }

    void restoreFromAnAccessFile()
    {
        writeFile(folder_ + QStringLiteral("old.mdb"), jetHeader());
        m().setReaderOpener([](const QString&, QString*) {
            return std::unique_ptr<TableReader>(new FakeReader(FakeReader::oldDatabase()));
        });
        answerFiles({folder_ + QStringLiteral("old.mdb")});
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::restore));
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains(QStringLiteral("客户数据 2 条，来电数据 2 条，字典 1 条")));
        QCOMPARE(dm().customerTable.recordCount(), 2);
        QCOMPARE(dm().customerTable.text(QStringLiteral("联系人")), QStringLiteral("李四"));
    }

    void oldAccessDatabaseMovesInAtStart()
    {
        f_.reset();
        const QByteArray jet = jetHeader();
        writeFile(db_, jet);
        f_ = std::make_unique<testutil::MainFixture>();
        m().setReaderOpener([](const QString&, QString* error) {
            *error = QStringLiteral("坏文件");
            return std::unique_ptr<TableReader>();
        });
        (*f_)->activate();
        QVERIFY(waitForWork());
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains(QStringLiteral("坏文件")));
        QVERIFY(bytesOf(db_) == jet);
        QVERIFY(!QFileInfo::exists(db_ + QStringLiteral(".jet")));
        QVERIFY(!dm().customerTable.isActive());

        m().setReaderOpener([](const QString&, QString*) {
            return std::unique_ptr<TableReader>(new FakeReader(FakeReader::oldDatabase()));
        });
        (*f_)->activate();
        QVERIFY(waitForWork());
        QCOMPARE(messages_.size(), 2);
        QVERIFY(messages_[1].contains(QStringLiteral("客户数据 2 条，来电数据 2 条，字典 1 条")));
        QVERIFY(bytesOf(db_ + QStringLiteral(".jet")) == jet);
        QCOMPARE(dm().customerTable.recordCount(), 2);
        QCOMPARE(dm().callTable.recordCount(), 2);
        QVERIFY(reports_.isEmpty());
    }

    void clearingWindow()
    {
        QPoint pos;
        QSize size;
        QString title, label;
        bool closedByEscape = true;
        bool answeredYes = true;
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<ClearConfirmWindow*>(QApplication::activeModalWidget());
            QVERIFY(w);
            pos = w->pos();
            size = w->size();
            title = w->windowTitle();
            label = testutil::named<QLabel>(w, QStringLiteral("message"))->text();
            QCOMPARE(w->focusWidget(), testutil::named<QPushButton>(w, QStringLiteral("yesButton")));
            QTest::keyClick(w, Qt::Key_Escape);
            closedByEscape = !w->isVisible();
            // Enter with the focus on "否" presses "否".
            auto* no = testutil::named<QPushButton>(w, QStringLiteral("noButton"));
            no->setFocus();
            QTest::keyClick(no, Qt::Key_Return);
            answeredYes = w->answeredYes();
        });
        QVERIFY(run(&Maintenance::clearCalls));
        QCOMPARE(pos, QPoint(326, 228));
        QCOMPARE(size, QSize(288, 128));
        QCOMPARE(title, QStringLiteral("删除所有数据吗？"));
        QCOMPARE(label, QStringLiteral("此操作将丢失来电数据！"));
        QVERIFY(!closedByEscape);
        QVERIFY(!answeredYes);
        QCOMPARE(dm().callTable.recordCount(), 1);

        whenModal(QString());  // the close box
        QVERIFY(run(&Maintenance::clearCustomers));
        QCOMPARE(dm().customerTable.recordCount(), 40);
        QVERIFY(Maintenance::clearingBackups().isEmpty());

        // Enter as soon as it opens presses "是".
        QString customerLabel;
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            customerLabel = w->findChild<QLabel*>(QStringLiteral("message"))->text();
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        });
        QVERIFY(run(&Maintenance::clearCustomers));
        QCOMPARE(customerLabel, QStringLiteral("此操作将丢失所有客户数据！"));
        QCOMPARE(dm().customerTable.recordCount(), 0);
        QCOMPARE(dm().callTable.recordCount(), 1);
        dm().dictionaryTable.setStatement(WrittenStatement::of(QStringLiteral("select * from 字典"), QStringLiteral("字典")));
        dm().dictionaryTable.open();
        const int dictionary = dm().dictionaryTable.recordCount();

        // The calls go with "是"; an empty table is cleared without a word.
        const WrittenStatement search =
            WrittenStatement::of(QStringLiteral("select * from 来电数据 where 手机 like '%139%'"), QStringLiteral("来电数据"));
        dm().callTable.close();
        dm().callTable.setStatement(search);
        dm().callTable.open();
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::clearCalls));
        QCOMPARE(dm().callTable.recordCount(), 0);
        QCOMPARE(dm().callTable.commandText(), search.text);
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::clearCalls));
        QVERIFY(dm().callTable.isActive());
        dm().dictionaryTable.close();
        dm().dictionaryTable.open();
        QCOMPARE(dm().dictionaryTable.recordCount(), dictionary);
        QVERIFY(messages_.isEmpty());
        QVERIFY(reports_.isEmpty());
    }

    // A delete the database refuses is reported, and the list shows the
    // records that are still there instead of going blank.
    void clearingThatFailsShowsTheRecordsAgain()
    {
        testutil::execute(db_, QStringLiteral("create trigger keep before delete on 客户数据 "
                                              "begin select raise(abort, '不许删除'); end"));
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::clearCustomers));
        QCOMPARE(reports_.size(), 1);
        QVERIFY(reports_[0].contains(QStringLiteral("不许删除")));
        QVERIFY(dm().customerTable.isActive());
        QCOMPARE(dm().customerTable.recordCount(), 40);
        QCOMPARE(scalar(db_, QStringLiteral("select count(*) from 客户数据")), QStringLiteral("40"));
    }

    // The copy made before the clearing fails its check: the table is not
    // cleared, no copy is kept, and the operator hears why.
    void clearingWhoseBackupFailsClearsNothing()
    {
        const QString data = folder_ + QStringLiteral("data/");
        dbfile::setStepHook([data](const char* s) {
            if (std::strcmp(s, "backup-written") != 0)
                return;
            const QString scratch = scratch::nameFor(QStringLiteral("清空前备份-*"));
            for (const QString& name : QDir(data).entryList({scratch}, QDir::Files))
                spoilPages(data + name);
        });
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::clearCustomers));
        dbfile::setStepHook({});
        QCOMPARE(reports_.size(), 1);
        QVERIFY2(reports_[0].startsWith(QStringLiteral("清空前的备份没有做成，数据没有清空。")), qPrintable(reports_[0]));
        QCOMPARE(scalar(db_, QStringLiteral("select count(*) from 客户数据")), QStringLiteral("40"));
        QVERIFY(dm().customerTable.isActive());
        QCOMPARE(dm().customerTable.recordCount(), 40);
        QCOMPARE(Maintenance::clearingBackups(), QStringList());
        QCOMPARE(QDir(data).entryList({scratch::nameFor(QStringLiteral("*"))}), QStringList());
        QVERIFY2(!statusText().startsWith(QStringLiteral("已清空")), qPrintable(statusText()));
    }

    // Before a table is emptied the database is copied into data/, checked,
    // under the date and time; the status bar says where, the newest three
    // are kept, and "恢复数据库" brings the records back.  What was typed on
    // the card is in the copy.
    void clearingWritesACheckedBackupFirst()
    {
        for (int i = 0; i < 3; ++i) {
            whenModal(QStringLiteral("是"));
            QVERIFY(run(&Maintenance::clearCalls));
        }
        QStringList backups = Maintenance::clearingBackups();
        QCOMPARE(backups.size(), 3);
        const QString oldest = backups[0];
        QCOMPARE(scalar(oldest, QStringLiteral("select count(*) from 来电数据")), QStringLiteral("1"));

        dm().customerTable.first();
        dm().customerTable.edit();
        dm().customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("清空前改过"));
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::clearCustomers));
        QCOMPARE(dm().customerTable.recordCount(), 0);
        QCOMPARE(scalar(db_, QStringLiteral("select count(*) from 客户数据")), QStringLiteral("0"));
        backups = Maintenance::clearingBackups();
        QCOMPARE(backups.size(), Maintenance::kClearingBackupsKept);
        QVERIFY(!backups.contains(oldest));
        QVERIFY(!QFileInfo::exists(oldest));
        const QString newest = backups.last();
        QVERIFY(QFileInfo(newest).fileName().startsWith(
            QStringLiteral("清空前备份-") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
        QCOMPARE(QFileInfo(newest).absolutePath(), QFileInfo(db_).absolutePath());
        QString why;
        QVERIFY2(dbfile::verifyDatabase(newest, &why), qPrintable(why));
        QCOMPARE(scalar(newest, QStringLiteral("select count(*) from 客户数据")), QStringLiteral("40"));
        QCOMPARE(scalar(newest, QStringLiteral("select count(*) from 客户数据 where 联系人 = '清空前改过'")),
                 QStringLiteral("1"));
        QVERIFY2(statusText().contains(QDir::toNativeSeparators(newest)), qPrintable(statusText()));
        QVERIFY(statusText().contains(QStringLiteral("恢复数据库")));
        QCOMPARE(QDir(folder_ + QStringLiteral("data")).entryList({QStringLiteral("*.tmp"), QStringLiteral("*.tavrin-tmp*")}), QStringList());

        // The mistaken Enter undone.
        answerFiles({newest});
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::restore));
        QCOMPARE(dm().customerTable.recordCount(), 40);
        QCOMPARE(scalar(db_, QStringLiteral("select count(*) from 客户数据 where 联系人 = '清空前改过'")),
                 QStringLiteral("1"));
        QVERIFY(messages_.isEmpty());
        QVERIFY(reports_.isEmpty());
    }

    void pendingEditIsStoredBeforeTheDataIsReopened()
    {
        dm().customerTable.first();
        dm().customerTable.edit();
        dm().customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("改过"));
        QVERIFY(run(&Maintenance::compact));
        QCOMPARE(dm().customerTable.text(QStringLiteral("联系人")), QStringLiteral("改过"));
        dm().callTable.first();
        dm().callTable.edit();
        dm().callTable.setValue(QStringLiteral("联系人"), QStringLiteral("来电改过"));
        whenModal(QStringLiteral("否"));
        QVERIFY(run(&Maintenance::clearCustomers));  // "否": nothing happens to the pending edit either
        QCOMPARE(dm().callTable.state(), DataSet::State::Edit);
        whenModal(QStringLiteral("是"));
        QVERIFY(run(&Maintenance::clearCustomers));
        QCOMPARE(dm().callTable.state(), DataSet::State::Edit);
        dm().callTable.post();
        QCOMPARE(dm().callTable.text(QStringLiteral("联系人")), QStringLiteral("来电改过"));
    }

    // A copy that does not pass its integrity check is never kept nor put
    // in the database's place, and the operator hears that it failed.
    void aSpoiledCopyIsNeverKept_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("backup") << "backup";
        QTest::newRow("compact") << "compact";
        QTest::newRow("restore") << "restore";
    }
    void aSpoiledCopyIsNeverKept()
    {
        QFETCH(QString, operation);
        const QString saved = folder_ + QStringLiteral("saved.mdb");
        QString why;
        QVERIFY2(dbfile::backupDatabase(db_, saved, &why), qPrintable(why));
        testutil::execute(db_, QStringLiteral("delete from 客户数据 where ID > 30"));
        const QString before = contentOf(db_);
        QString spoiled, said;
        if (operation == QLatin1String("backup")) {
            spoiled = folder_ + QStringLiteral("copy.mdb.tavrin-tmp");
            answerFiles({folder_ + QStringLiteral("copy.mdb")});
            said = QStringLiteral("备份失败！");
        } else if (operation == QLatin1String("compact")) {
            spoiled = folder_ + QStringLiteral("data/new.MDB");
            said = QStringLiteral("操作失败");
        } else {
            spoiled = db_ + QStringLiteral(".new.tavrin-tmp");
            answerFiles({saved});
            whenModal(QStringLiteral("是"));
            said = QStringLiteral("恢复数据库失败，数据没有改动。");
        }
        dbfile::setStepHook([spoiled](const char* s) {
            if (std::strcmp(s, "backup-written") == 0 || std::strcmp(s, "compact-written") == 0)
                spoilPages(spoiled);
        });
        QVERIFY(run(operation == QLatin1String("backup")    ? &Maintenance::backUp
                    : operation == QLatin1String("compact") ? &Maintenance::compact
                                                            : &Maintenance::restore));
        dbfile::setStepHook({});
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].startsWith(said), qPrintable(messages_[0]));
        QVERIFY2(messages_[0].contains(QStringLiteral("完整性检查")) ||
                     messages_[0].contains(QStringLiteral("不是可用的数据库")),
                 qPrintable(messages_[0]));
        QVERIFY(!QFileInfo::exists(spoiled));
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("copy.mdb")));
        QCOMPARE(contentOf(db_), before);
        QVERIFY(dm().customerTable.isActive());
        QVERIFY(reports_.isEmpty());
    }

    // Long work on a large database: the window goes on, a call typed
    // meanwhile is announced at once and logged exactly once (into the
    // database as it is after the work), and the status bar says when it
    // waits.  A second work is refused meanwhile.
    void aCallDuringLongWork_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("waits");
        QTest::newRow("backup") << "backup" << "backup-page" << false;
        QTest::newRow("compact") << "compact" << "compact-written" << true;
        QTest::newRow("restore") << "restore" << "backup-written" << true;
        QTest::newRow("clear calls") << "clear calls" << "backup-written" << true;
    }
    void aCallDuringLongWork()
    {
        QFETCH(QString, operation);
        QFETCH(QString, step);
        QFETCH(bool, waits);
        testutil::execute(db_, QStringLiteral(
                                   "with recursive n(i) as (select 1 union all select i + 1 from n where i < 60000) "
                                   "insert into 来电数据 (手机, 日期, 时间, 事项) "
                                   "select '1380000' || i, '2026-12-8', '9:00:00', hex(randomblob(60)) from n"));
        const QString saved = folder_ + QStringLiteral("saved.mdb");
        QString why;
        QVERIFY2(dbfile::backupDatabase(db_, saved, &why), qPrintable(why));
        void (Maintenance::*handler)() = &Maintenance::backUp;
        if (operation == QLatin1String("backup")) {
            answerFiles({folder_ + QStringLiteral("copy.mdb")});
        } else if (operation == QLatin1String("compact")) {
            handler = &Maintenance::compact;
        } else if (operation == QLatin1String("restore")) {
            handler = &Maintenance::restore;
            answerFiles({saved});
            whenModal(QStringLiteral("是"));
        } else {
            handler = &Maintenance::clearCalls;
            whenModal(QStringLiteral("是"));
        }
        const QString number = QStringLiteral("13900000007");  // 客户7
        const QString before = callsOf(number);
        QCOMPARE(before, QStringLiteral("0"));

        // What the work says comes after the calls held meanwhile are logged.
        int waitingWhenTold = -1;
        setMessageSink([&](const QString& t) {
            messages_ << t;
            waitingWhenTold = dm().callsWaiting();
        });
        StepGate gate;
        gate.at(step);
        QSignalSpy ended(&m(), &Maintenance::workEnded);
        (m().*handler)();
        QVERIFY(m().work());
        QTRY_VERIFY_WITH_TIMEOUT(gate.reached, 20000);
        // The window is free: the call is announced and the lookup done.
        testutil::named<Announcement>(&**f_, QStringLiteral("announcement"))->clear();
        typeCall(number);
        QCOMPARE(testutil::named<Announcement>(&**f_, QStringLiteral("announcement"))->text(), knownCallerText);
        QTRY_COMPARE(dm().customerTable.recordCount(), 1);
        if (waits) {
            QTRY_COMPARE(dm().callsWaiting(), 1);
            QVERIFY2(statusText().startsWith(QStringLiteral("来电已记下（1 个），等")), qPrintable(statusText()));
            QCOMPARE(callsOf(number), QStringLiteral("0"));
        } else {
            QTRY_COMPARE(callsOf(number), QStringLiteral("1"));
        }
        // One long work at a time.
        m().compact();
        QCOMPARE(messages_, QStringList{QStringLiteral("还有一项工作没有完成，请等它完成后再试。")});
        messages_.clear();

        gate.open = true;
        QVERIFY(ended.wait(60000));
        QVERIFY(reports_.isEmpty());
        QCOMPARE(dm().callsWaiting(), 0);
        QCOMPARE(callsOf(number), QStringLiteral("1"));
        if (operation == QLatin1String("clear calls"))
            QCOMPARE(scalar(db_, QStringLiteral("select count(*) from 来电数据")), QStringLiteral("1"));
        else
            QCOMPARE(scalar(db_, QStringLiteral("select count(*) from 来电数据")), QStringLiteral("60002"));
        if (waits && operation != QLatin1String("clear calls"))
            QCOMPARE(statusText(), QStringLiteral("来电已全部记入来电数据。"));
        if (operation == QLatin1String("backup") || operation == QLatin1String("compact")) {
            QCOMPARE(messages_.size(), 1);
            QCOMPARE(waitingWhenTold, 0);
        } else {
            QVERIFY(messages_.isEmpty());
        }
        QVERIFY(dm().callTable.isActive());
        QVERIFY(dm().callTable.recordCount() >= 1);
        QVERIFY(!QFileInfo::exists(db_ + QStringLiteral(".new")));
    }

    // Typing left pending on the card while a compact or a restore runs is
    // stored before the data is closed: by a compact into the database it
    // leaves as it was, by a restore into the file kept beside.
    void typingDuringTheWorkIsNotLost()
    {
        const QString saved = folder_ + QStringLiteral("saved.mdb");
        QString why;
        QVERIFY2(dbfile::backupDatabase(db_, saved, &why), qPrintable(why));
        for (const QString& operation : {QStringLiteral("compact"), QStringLiteral("restore")}) {
            messages_.clear();
            const QString typed = QStringLiteral("打字于") + operation;
            StepGate gate;
            gate.at(operation == QLatin1String("compact") ? QStringLiteral("compact-written")
                                                          : QStringLiteral("backup-written"));
            QSignalSpy ended(&m(), &Maintenance::workEnded);
            if (operation == QLatin1String("compact")) {
                m().compact();
            } else {
                answerFiles({saved});
                whenModal(QStringLiteral("是"));
                m().restore();
            }
            QTRY_VERIFY_WITH_TIMEOUT(gate.reached, 20000);
            dm().customerTable.first();
            dm().customerTable.edit();
            dm().customerTable.setValue(QStringLiteral("联系人"), typed);
            gate.open = true;
            QVERIFY(ended.wait(30000));
            const QString stored = QStringLiteral("select count(*) from 客户数据 where 联系人 = '") + typed + "'";
            if (operation == QLatin1String("compact")) {
                QCOMPARE(messages_.size(), 1);
                QVERIFY2(messages_[0].startsWith(QStringLiteral("操作失败")), qPrintable(messages_[0]));
                QCOMPARE(scalar(db_, stored), QStringLiteral("1"));
                QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("data/new.MDB")));
            } else {
                QVERIFY(messages_.isEmpty());
                QCOMPARE(scalar(db_ + QStringLiteral(".bak"), stored), QStringLiteral("1"));
                QCOMPARE(scalar(db_, stored), QStringLiteral("0"));
            }
            QCOMPARE(dm().customerTable.state(), DataSet::State::Browse);
        }
        QVERIFY(reports_.isEmpty());
    }

    // "停止" ends a backup or a compact with nothing left behind and nothing said.
    void stoppedWorkLeavesNothing()
    {
        testutil::execute(db_, QStringLiteral(
                                   "with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) "
                                   "insert into 来电数据 (手机, 事项) select '1380000' || i, hex(randomblob(60)) from n"));
        testutil::execute(db_, QStringLiteral("delete from 来电数据 where ID % 2 = 0"));
        const QString before = contentOf(db_);
        const int pages = scalar(db_, QStringLiteral("pragma page_count")).toInt();
        for (const char* step : {"backup-page", "compact-page"}) {
            StepGate gate;
            gate.at(QLatin1String(step));
            QSignalSpy ended(&m(), &Maintenance::workEnded);
            if (std::strcmp(step, "backup-page") == 0) {
                answerFiles({folder_ + QStringLiteral("copy.mdb")});
                m().backUp();
            } else {
                m().compact();
            }
            QTRY_VERIFY_WITH_TIMEOUT(gate.reached, 20000);
            QTRY_VERIFY(currentWorkWindow());
            QVERIFY(currentWorkWindow()->stopOffered());
            currentWorkWindow()->pressStop();
            gate.open = true;
            QVERIFY(ended.wait(30000));
        }
        QVERIFY(messages_.isEmpty());
        QVERIFY(reports_.isEmpty());
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("copy.mdb")));
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("copy.mdb.tavrin-tmp")));
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("data/new.MDB")));
        QCOMPARE(contentOf(db_), before);
        QCOMPARE(scalar(db_, QStringLiteral("pragma page_count")).toInt(), pages);
        QVERIFY(dm().customerTable.isActive() && dm().callTable.isActive());
    }
};

QTEST_MAIN(TestMaintenance)
#include "test_maintenance.moc"
