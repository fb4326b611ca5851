// The data module's events, its questions and its two small windows.

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "rules/files/paths.h"
#include "data/module/datamodule.h"
#include "ui/kit/progresswindow.h"
#include "ui/kit/questionwindow.h"
#include "ui/kit/windowquestions.h"
#include "testutil.h"

using testutil::whenModal;

class TestDataModule : public QObject {
    Q_OBJECT
    QString folder_;

private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
    }

    void positionPanelFollowsBothDataSets()
    {
        testutil::addCustomers(folder_ + QStringLiteral("data/web.mdb"), 3);
        DataModule dm;
        QSignalSpy spy(&dm, &DataModule::recordPosition);
        dm.customerTable.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        dm.customerTable.open();
        QCOMPARE(spy.last().first().toString(), QStringLiteral("1/3"));
        dm.callTable.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        dm.callTable.open();
        QCOMPARE(spy.last().first().toString(), QStringLiteral("-1/0"));
        dm.customerTable.last();
        QCOMPARE(spy.last().first().toString(), QStringLiteral("3/3"));
        dm.callTable.append();  // a new record has no number yet
        QCOMPARE(spy.last().first().toString(), QStringLiteral("-1/0"));
        dm.callTable.setValue(QStringLiteral("电话"), QStringLiteral("88886666"));  // an empty one is not stored
        dm.callTable.post();  // once stored it has one
        QCOMPARE(spy.last().first().toString(), QStringLiteral("1/1"));
    }

    void databaseOfTheProgramFolderAndReconnect()
    {
        DataModule dm;
        dm.customerTable.setStatement(WrittenStatement::of(QStringLiteral("select * from 客户数据"), QStringLiteral("客户数据")));
        dm.customerTable.open();
        QCOMPARE(dm.connection.location(), DatabaseLocation::ofFile(folder_ + QStringLiteral("data/web.mdb")));
        dm.connection.close();
        QVERIFY(!dm.customerTable.isActive());
        // Another folder in between: the next open asks for the location again.
        const QString other = testutil::makeProgramFolder();
        testutil::addCustomers(other + QStringLiteral("data/web.mdb"), 2);
        dm.customerTable.open();
        QCOMPARE(dm.customerTable.recordCount(), 2);

        // A folder whose path holds ';', '\\' and spaces is a folder like any
        // other; what its path would be cut to at the ';' is a database too.
        dm.connection.close();
        QTemporaryDir dir;
        const QString odd = dir.filePath(QStringLiteral("程序 文件;2024\\新/"));
        testutil::makeDatabase(dir.filePath(QStringLiteral("程序 文件")));
        testutil::makeDatabase(odd + QStringLiteral("data/web.mdb"));
        QVERIFY(QDir().mkpath(odd + QStringLiteral("set")));
        testutil::addCustomers(odd + QStringLiteral("data/web.mdb"), 4);
        setProgramFolder(odd);
        dm.customerTable.open();
        QCOMPARE(dm.connection.location(), DatabaseLocation::ofFile(odd + QStringLiteral("data/web.mdb")));
        QCOMPARE(dm.customerTable.recordCount(), 4);
        dm.connection.close();
        setProgramFolder(folder_);
    }

    void deleteAsksAndOnlyYesDeletes()
    {
        testutil::addCustomers(folder_ + QStringLiteral("data/web.mdb"), 2);
        DataModule dm;
        dm.customerTable.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        dm.customerTable.open();
        // Without windows nothing is asked: no deletion, no window.
        QVERIFY(!dm.customerTable.remove());
        QCOMPARE(dm.customerTable.recordCount(), 2);
        WindowQuestions windows(dm, nullptr);
        dm.setQuestions(&windows);
        QString question, title;
        whenModal(QStringLiteral("否"), &question, &title);
        QVERIFY(!dm.customerTable.remove());
        QCOMPARE(question, QStringLiteral("删除当前客户记录?"));
        QCOMPARE(title, QStringLiteral("提示窗口"));

        // The close box answers no.
        whenModal(QString());
        QVERIFY(!dm.customerTable.remove());
        QCOMPARE(dm.customerTable.recordCount(), 2);

        whenModal(QStringLiteral("是"));
        QVERIFY(dm.customerTable.remove());
        QCOMPARE(dm.customerTable.recordCount(), 1);

        dm.callTable.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        dm.callTable.open();
        dm.callTable.append();
        dm.callTable.setValue(QStringLiteral("电话"), QStringLiteral("88886666"));
        dm.callTable.post();
        whenModal(QStringLiteral("是"), &question);
        QVERIFY(dm.callTable.remove());
        QCOMPARE(question, QStringLiteral("删除当前来电记录?"));
    }

    void newDictionaryRowGetsTheCurrentItem()
    {
        DataModule dm;
        dm.setDictionaryItem(QStringLiteral("部门"));
        dm.dictionaryTable.setStatement(WrittenStatement::of(QStringLiteral("Select * from 字典\r\nwhere 项目 = '部门'\r\n"), QStringLiteral("字典")));
        dm.dictionaryTable.open();
        dm.dictionaryTable.append();
        QCOMPARE(dm.dictionaryTable.text(QStringLiteral("项目")), QStringLiteral("部门"));
        dm.dictionaryTable.setValue(QStringLiteral("内容"), QStringLiteral("财务部"));
        dm.dictionaryTable.post();
        dm.dictionaryTable.close();
        dm.dictionaryTable.open();
        QCOMPARE(dm.dictionaryTable.recordCount(), 1);
        QVERIFY(dm.dictionaryTable.remove());  // no question for the dictionary
        QCOMPARE(dm.dictionaryTable.recordCount(), 0);
    }

    void windowsLookAndCentre()
    {
        QCOMPARE(centredCoordinate(1024, 356), 334);
        QCOMPARE(centredCoordinate(1024, 357), 334);  // 333.5 goes to the even 334
        QCOMPARE(centredCoordinate(1024, 355), 334);  // 334.5 goes to 334 as well
        QCOMPARE(centredCoordinate(300, 455), -78);   // -77.5: a window larger than the screen
        QCOMPARE(centredCoordinate(300, 457), -78);   // -78.5

        DataModule dm;
        QuestionWindow q;
        QCOMPARE(q.size(), QSize(356, 102));
        QCOMPARE(q.findChild<QPushButton*>(QStringLiteral("yesButton"))->geometry(), QRect(64, 60, 75, 25));
        QCOMPARE(q.findChild<QPushButton*>(QStringLiteral("noButton"))->geometry(), QRect(204, 60, 75, 25));
        QCOMPARE(q.findChild<QPushButton*>(QStringLiteral("yesButton"))->text(), QStringLiteral("是"));
        q.show();
        QVERIFY(QTest::qWaitForWindowActive(&q));
        QCOMPARE(QApplication::focusWidget(), q.findChild<QPushButton*>(QStringLiteral("yesButton")));  // Enter answers yes
        q.hide();
        // A long question (a path, a server) is shown whole: wrapped, the
        // window grown, the buttons below it.
        const QString longQuestion = QStringLiteral("把“/home/办公室/文档/各部门的客户资料/二〇二六年十二月的备份/web.mdb”中的客户数据、"
                                                    "来电数据和字典上传到服务器数据库“host=192.168.1.10 port=5432 dbname=tavrin user=office”吗?");
        q.setQuestion(longQuestion);
        auto* message = q.findChild<QLabel*>(QStringLiteral("message"));
        QVERIFY(q.rect().contains(message->geometry()));
        QVERIFY(message->heightForWidth(message->width()) <= message->height() || !message->wordWrap());
        QVERIFY(message->sizeHint().width() <= message->width() || message->wordWrap());
        for (const char* b : {"yesButton", "noButton"}) {
            const QRect button = q.findChild<QPushButton*>(QLatin1String(b))->geometry();
            QVERIFY(q.rect().contains(button));
            QVERIFY(button.top() > message->geometry().bottom());
        }
        q.setQuestion(QStringLiteral("恢复数据将覆盖现在的数据，继续吗?"));
        QCOMPARE(q.size(), QSize(356, 102));

        QString text, title;
        WindowQuestions windows(dm, nullptr);
        dm.setQuestions(&windows);
        whenModal(QStringLiteral("确定"), &text, &title);
        dm.showNotice(QStringLiteral("导出失败"));
        QCOMPARE(text, QStringLiteral("导出失败"));
        QCOMPARE(title, QStringLiteral("软件提示"));
        ProgressWindow n;
        QCOMPARE(n.size(), QSize(358, 123));
        QCOMPARE(n.findChild<QPushButton*>(QStringLiteral("okButton"))->geometry(), QRect(136, 72, 75, 25));
    }
};

QTEST_MAIN(TestDataModule)
#include "test_datamodule.moc"
