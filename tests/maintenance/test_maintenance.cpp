// The maintenance entries of the menus: their questions, dialogs and
// messages, what they leave open, and the clearing window.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/errorreport.h"
#include "app/message.h"
#include "db/datam.h"
#include "fakereader.h"
#include "maintenance/dbfiles.h"
#include "maintenance/maintenance.h"
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

    Maintenance& m() { return *(*f_)->maintenance; }
    TDataModule1& dm() { return *f_->dm; }

    // The next file dialogs answer with these names ("" = cancel).
    void answerFiles(QStringList names)
    {
        m().setFileDialog([this, names](const Maintenance::FileRequest& r) mutable {
            ++dialogs_;
            requests_ << r;
            return names.isEmpty() ? QString() : names.takeFirst();
        });
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
        (*f_)->FormActivate();
        QVERIFY(reports_.isEmpty());
    }
    void cleanup()
    {
        f_.reset();
        setMessageSink({});
        errorreport::setSink({});
    }

    void compactKeepsTheSearchInForce()
    {
        testutil::addCustomers(db_, 3000);
        testutil::execute(db_, QStringLiteral("delete from 客户数据 where ID > 20"));
        const QString search =
            QStringLiteral("select * from 客户数据 where 联系人 like '%客户1%' order by id desc");
        dm().kehutable.close();
        dm().kehutable.setCommandText(search);
        dm().kehutable.open();
        const int found = dm().kehutable.recordCount();
        const qint64 size = QFileInfo(db_).size();
        writeFile(folder_ + QStringLiteral("data/new.MDB"), "left over");
        m().N6Click();
        QCOMPARE(messages_, QStringList{QStringLiteral("操作成功")});
        QVERIFY(reports_.isEmpty());
        QCOMPARE(dm().kehutable.commandText(), search);
        QCOMPARE(dm().kehutable.recordCount(), found);
        QVERIFY(dm().laidianTel.isActive());
        QVERIFY(QFileInfo(db_).size() < size);
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("data/new.MDB")));
    }

    void compactThatFailsChangesNothing()
    {
        QDir().mkpath(folder_ + QStringLiteral("data/new.MDB/locked"));
        const QByteArray before = bytesOf(db_);
        m().N6Click();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].startsWith(QStringLiteral("操作失败")));
        QVERIFY(bytesOf(db_) == before);
        QVERIFY(dm().kehutable.isActive());
        QCOMPARE(dm().kehutable.recordCount(), 40);
    }

    void backupMessagesAndQuestions()
    {
        answerFiles({QString()});
        m().N14Click();  // cancelled: nothing at all
        QVERIFY(messages_.isEmpty());
        QCOMPARE(requests_[0].title, QStringLiteral("请输入新生成的备份文件名称"));
        QCOMPARE(requests_[0].filter, QStringLiteral("Microsoft access(*.mdb)|*.mdb"));
        QCOMPARE(requests_[0].defaultSuffix, QStringLiteral("mdb"));

        const QString copy = folder_ + QStringLiteral("copy");
        answerFiles({copy});
        m().N14Click();  // typed without extension
        QCOMPARE(messages_, QStringList{QStringLiteral("备份成功！")});
        QCOMPARE(dbfile::kindOf(copy + QStringLiteral(".mdb")), dbfile::Kind::Ours);

        // Existing file: "否" leaves it and says nothing; "是" writes it anew.
        testutil::execute(db_, QStringLiteral("delete from 客户数据 where ID > 30"));
        const QByteArray old = bytesOf(copy + QStringLiteral(".mdb"));
        QString question;
        answerFiles({copy + QStringLiteral(".mdb")});
        whenModal(QStringLiteral("否"), &question);
        m().N14Click();
        QCOMPARE(question, QStringLiteral("文件已经存在，要覆盖吗?"));
        QCOMPARE(messages_.size(), 1);
        QVERIFY(bytesOf(copy + QStringLiteral(".mdb")) == old);
        answerFiles({copy + QStringLiteral(".mdb")});
        whenModal(QStringLiteral("是"));
        m().N14Click();
        QCOMPARE(messages_.last(), QStringLiteral("备份成功！"));
        QVERIFY(bytesOf(copy + QStringLiteral(".mdb")) != old);

        // A folder that is not there; the database file itself.
        answerFiles({folder_ + QStringLiteral("nowhere/b.mdb")});
        m().N14Click();
        QVERIFY(messages_.last().startsWith(QStringLiteral("备份失败！")));
        QVERIFY(QDir(folder_ + QStringLiteral("nowhere")).isEmpty());
        answerFiles({db_});
        whenModal(QStringLiteral("是"));
        m().N14Click();
        QVERIFY(messages_.last().startsWith(QStringLiteral("备份失败！")));
        QCOMPARE(dbfile::kindOf(db_), dbfile::Kind::Ours);
        QVERIFY(dm().kehutable.isActive());
    }

    void restoreRefusesWhatIsNotOurs()
    {
        QString question;
        whenModal(QStringLiteral("否"), &question);
        m().N15Click();
        QCOMPARE(question, QStringLiteral("恢复数据将覆盖现在的数据，继续吗?"));
        QCOMPARE(dialogs_, 0);

        answerFiles({QString()});
        whenModal(QStringLiteral("是"));
        m().N15Click();
        QCOMPARE(requests_[0].title, QStringLiteral("请选择一个过去备份的数据库文件"));
        QVERIFY(requests_[0].filter.startsWith(QStringLiteral("Microsoft Acsess 数据文件(*.mdb)|*.mdb")));
        QVERIFY(dm().kehutable.isActive() && dm().laidianTel.isActive());
        QVERIFY(messages_.isEmpty());

        const QByteArray before = bytesOf(db_);
        writeFile(folder_ + QStringLiteral("notes.mdb"), "only some text");
        testutil::execute(folder_ + QStringLiteral("other.mdb"), QStringLiteral("create table t (a)"));
        for (const char* name : {"notes.mdb", "other.mdb"}) {
            answerFiles({folder_ + QLatin1String(name)});
            whenModal(QStringLiteral("是"));
            m().N15Click();
            QVERIFY(messages_.last().contains(QStringLiteral("数据没有改动")));
            QVERIFY(bytesOf(db_) == before);
            QVERIFY(dm().kehutable.isActive());
            QCOMPARE(dm().kehutable.recordCount(), 40);
        }
        QCOMPARE(messages_.size(), 2);

        // A good backup that cannot be copied beside the database.
        answerFiles({folder_ + QStringLiteral("saved.mdb")});
        m().N14Click();
        QDir().mkpath(db_ + QStringLiteral(".new.tmp/locked"));
        answerFiles({folder_ + QStringLiteral("saved.mdb")});
        whenModal(QStringLiteral("是"));
        m().N15Click();
        QVERIFY(messages_.last().startsWith(QStringLiteral("恢复数据库失败，数据没有改动。")));
        QVERIFY(bytesOf(db_) == before);
        QVERIFY(dm().kehutable.isActive());
        QVERIFY(!QFileInfo::exists(db_ + QStringLiteral(".bak")));
        QVERIFY(reports_.isEmpty());
    }

    // Back up, clear the customers, restore: they are all there again, and
    // the cleared database is kept beside.
    void backupClearRestore()
    {
        const QString copy = folder_ + QStringLiteral("saved.mdb");
        answerFiles({copy});
        m().N14Click();
        whenModal(QStringLiteral("是"));
        m().N18Click();
        QCOMPARE(dm().kehutable.recordCount(), 0);
        // A search in force before the restore is dropped by it.
        dm().laidianTel.close();
        dm().laidianTel.setCommandText(QStringLiteral("select * from 来电数据 where 1 = 0"));
        dm().laidianTel.open();
        answerFiles({copy});
        whenModal(QStringLiteral("是"));
        m().N15Click();
        QCOMPARE(messages_, QStringList{QStringLiteral("备份成功！")});
        QVERIFY(reports_.isEmpty());
        QCOMPARE(dm().kehutable.recordCount(), 40);
        QCOMPARE(dm().laidianTel.recordCount(), 1);
        QCOMPARE(dm().kehutable.commandText(),
                 QStringLiteral("select * from 客户数据 order by id desc"));
        QCOMPARE(dbfile::kindOf(db_ + QStringLiteral(".bak")), dbfile::Kind::Ours);
        QVERIFY(!QFileInfo::exists(db_ + QStringLiteral(".new")));
        // The records are stored in the new file.
        dm().kehutable.first();
        dm().kehutable.edit();
        dm().kehutable.setValue(QStringLiteral("联系人"), QStringLiteral("恢复后"));
        dm().kehutable.post();
        QVERIFY(reports_.isEmpty());
    }

    void restoreFromAnAccessFile()
    {
        writeFile(folder_ + QStringLiteral("old.mdb"), jetHeader());
        m().setReaderOpener([](const QString&, QString*) {
            return std::unique_ptr<TableReader>(new FakeReader(FakeReader::oldDatabase()));
        });
        answerFiles({folder_ + QStringLiteral("old.mdb")});
        whenModal(QStringLiteral("是"));
        m().N15Click();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains(QStringLiteral("客户数据 2 条，来电数据 2 条，字典 1 条")));
        QCOMPARE(dm().kehutable.recordCount(), 2);
        QCOMPARE(dm().kehutable.text(QStringLiteral("联系人")), QStringLiteral("李四"));
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
        (*f_)->FormActivate();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains(QStringLiteral("坏文件")));
        QVERIFY(bytesOf(db_) == jet);
        QVERIFY(!QFileInfo::exists(db_ + QStringLiteral(".jet")));

        m().setReaderOpener([](const QString&, QString*) {
            return std::unique_ptr<TableReader>(new FakeReader(FakeReader::oldDatabase()));
        });
        (*f_)->FormActivate();
        QCOMPARE(messages_.size(), 2);
        QVERIFY(messages_[1].contains(QStringLiteral("客户数据 2 条，来电数据 2 条，字典 1 条")));
        QVERIFY(bytesOf(db_ + QStringLiteral(".jet")) == jet);
        QCOMPARE(dm().kehutable.recordCount(), 2);
        QCOMPARE(dm().laidianTel.recordCount(), 2);
        QVERIFY(reports_.isEmpty());
    }

    void clearingWindow()
    {
        QPoint pos;
        QSize size;
        QString title, label;
        bool closedByEscape = true;
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<Tdelete_queren*>(QApplication::activeModalWidget());
            QVERIFY(w);
            pos = w->pos();
            size = w->size();
            title = w->windowTitle();
            label = w->Label1->text();
            QCOMPARE(w->focusWidget(), w->Button1);
            QTest::keyClick(w, Qt::Key_Escape);
            closedByEscape = !w->isVisible();
            // Enter with the focus on "否" presses "否".
            w->Button2->setFocus();
            QTest::keyClick(w->Button2, Qt::Key_Return);
        });
        m().N19Click();
        QCOMPARE(pos, QPoint(326, 228));
        QCOMPARE(size, QSize(288, 128));
        QCOMPARE(title, QStringLiteral("删除所有数据吗？"));
        QCOMPARE(label, QStringLiteral("此操作将丢失来电数据！"));
        QVERIFY(!closedByEscape);
        QVERIFY(!m().clearingAnswer);
        QCOMPARE(dm().laidianTel.recordCount(), 1);

        whenModal(QString());  // the close box
        m().N18Click();
        QCOMPARE(dm().kehutable.recordCount(), 40);

        // Enter as soon as it opens presses "是".
        QString customerLabel;
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            customerLabel = w->findChild<QLabel*>(QStringLiteral("Label1"))->text();
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        });
        m().N18Click();
        QCOMPARE(customerLabel, QStringLiteral("此操作将丢失所有客户数据！"));
        QCOMPARE(dm().kehutable.recordCount(), 0);
        QCOMPARE(dm().laidianTel.recordCount(), 1);
        dm().zidian.setCommandText(QStringLiteral("select * from 字典"));
        dm().zidian.open();
        const int dictionary = dm().zidian.recordCount();

        // The calls go with "是"; an empty table is cleared without a word.
        const QString search = QStringLiteral("select * from 来电数据 where 手机 like '%139%'");
        dm().laidianTel.close();
        dm().laidianTel.setCommandText(search);
        dm().laidianTel.open();
        whenModal(QStringLiteral("是"));
        m().N19Click();
        QCOMPARE(dm().laidianTel.recordCount(), 0);
        QCOMPARE(dm().laidianTel.commandText(), search);
        whenModal(QStringLiteral("是"));
        m().N19Click();
        QVERIFY(dm().laidianTel.isActive());
        QCOMPARE(dm().zidian.recordCount(), dictionary);
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
        m().N18Click();
        QCOMPARE(reports_.size(), 1);
        QVERIFY(reports_[0].contains(QStringLiteral("不许删除")));
        QVERIFY(dm().kehutable.isActive());
        QCOMPARE(dm().kehutable.recordCount(), 40);
    }

    void pendingEditIsStoredBeforeTheDataIsReopened()
    {
        dm().kehutable.first();
        dm().kehutable.edit();
        dm().kehutable.setValue(QStringLiteral("联系人"), QStringLiteral("改过"));
        m().N6Click();
        QCOMPARE(dm().kehutable.text(QStringLiteral("联系人")), QStringLiteral("改过"));
        dm().laidianTel.first();
        dm().laidianTel.edit();
        dm().laidianTel.setValue(QStringLiteral("联系人"), QStringLiteral("来电改过"));
        whenModal(QStringLiteral("否"));
        m().N18Click();  // "否": nothing happens to the pending edit either
        QCOMPARE(dm().laidianTel.state(), DataSet::State::Edit);
        whenModal(QStringLiteral("是"));
        m().N18Click();
        QCOMPARE(dm().laidianTel.state(), DataSet::State::Edit);
        dm().laidianTel.post();
        QCOMPARE(dm().laidianTel.text(QStringLiteral("联系人")), QStringLiteral("来电改过"));
    }
};

QTEST_MAIN(TestMaintenance)
#include "test_maintenance.moc"
