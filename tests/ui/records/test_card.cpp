// The customer card driven with keys and clicks, checked in the database.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

#include "rules/app/errorreport.h"
#include "ui/app/mainwindow.h"
#include "ui/app/dbcontrols.h"
#include "ui/records/card.h"
#include "testutil.h"

namespace {

QString db() { return testutil::makeProgramFolder() + QStringLiteral("data/web.mdb"); }

// Sends text the way typing does (key events carrying the text).
void type(QWidget* w, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

QStringList stored(const QString& file, const QString& sql)
{
    QStringList out;
    const QString name = QStringLiteral("peek");
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        d.setDatabaseName(file);
        d.open();
        QSqlQuery q(d);
        q.exec(sql);
        while (q.next())
            out << q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

}  // namespace

class TestCard : public QObject {
    Q_OBJECT
    QString file_;
    QStringList reports_;

private slots:
    void init()
    {
        file_ = db();
        reports_.clear();
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup() { errorreport::setSink({}); }

    void startLookAndModes()
    {
        testutil::addCustomers(file_, 2);
        testutil::execute(file_, QStringLiteral("update 客户数据 set QQ = '10001' where id = 2"));
        testutil::MainFixture m;
        m->activate();
        CustomerCard& c = *m->card();
        QVERIFY(!c.BitBtn7->isVisibleTo(m.w.get()));
        QVERIFY(testutil::named<QLabel>(&*m, QStringLiteral("advertisingLine"))->isVisibleTo(m.w.get()));
        QCOMPARE(c.DBEdit1->text(), QStringLiteral("客户2"));
        QCOMPARE(c.DBEdit8->text(), QStringLiteral("10001"));  // QQ bound from the start
        QCOMPARE(c.DBEdit1->geometry(), QRect(76, 56, 121, 21));
        QCOMPARE(c.DBMemo2->geometry(), QRect(588, 140, 349, 81));
        QCOMPARE(c.BitBtn11->geometry(), QRect(452, 208, 83, 20));
        QCOMPARE(c.BitBtn31->toolTip(), QStringLiteral("最后一条记录"));

        m->setCardMode(1);
        for (QPushButton* b : {c.BitBtn7, c.BitBtn8, c.BitBtn9, c.BitBtn28, c.BitBtn29, c.BitBtn30, c.BitBtn31})
            QVERIFY(b->isVisibleTo(m.w.get()));
        QVERIFY(!testutil::named<QLabel>(&*m, QStringLiteral("advertisingLine"))->isVisibleTo(m.w.get()));
        m->setCardMode(7);  // unknown mode: nothing changes
        QVERIFY(c.BitBtn7->isVisibleTo(m.w.get()));
        QCOMPARE(m->cardMode(), 1);
        m->setCardMode(0);
        QVERIFY(!c.BitBtn7->isVisibleTo(m.w.get()));
        QVERIFY(c.BitBtn11->isVisibleTo(m.w.get()));
    }

    void typeSaveAndMoveWithTheButtons()
    {
        testutil::addCustomers(file_, 3);
        testutil::MainFixture m;
        m->activate();
        CustomerCard& c = *m->card();
        m->setCardMode(1);
        c.DBEdit1->setFocus();
        c.DBEdit1->selectAll();
        type(c.DBEdit1, QStringLiteral("新名字"));
        c.BitBtn30->click();  // next: the changed record is stored first
        QCOMPARE(stored(file_, QStringLiteral("select 联系人 from 客户数据 where id = 3")), QStringList{"新名字"});
        QCOMPARE(c.DBEdit1->text(), QStringLiteral("客户2"));
        c.BitBtn31->click();
        QCOMPARE(c.DBEdit1->text(), QStringLiteral("客户1"));
        c.BitBtn29->click();
        QCOMPARE(c.DBEdit1->text(), QStringLiteral("客户2"));
        c.BitBtn28->click();
        QCOMPARE(c.DBEdit1->text(), QStringLiteral("新名字"));

        c.BitBtn7->click();  // 增加: a new record, focus on the contact
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Insert);
        type(c.DBEdit2, QStringLiteral("010-1"));
        c.BitBtn11->click();  // the card's own 保存
        QCOMPARE(stored(file_, QStringLiteral("select 电话 from 客户数据 where id = 4")), QStringList{"010-1"});
        c.BitBtn8->click();  // 保存 on a browsed record stores it unchanged
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Browse);
        QVERIFY(reports_.isEmpty());
    }

    void saveOnAnEmptyTableStoresOneEmptyRecord()
    {
        testutil::MainFixture m;
        m->activate();
        m->card()->BitBtn8->click();
        QCOMPARE(stored(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"1"});
    }

    void deleteAsksAndReportsAnEmptyTable()
    {
        testutil::addCustomers(file_, 1);
        testutil::MainFixture m;
        m->activate();
        CustomerCard& c = *m->card();
        QString question;
        testutil::whenModal(QStringLiteral("否"), &question);
        c.BitBtn9->click();
        QCOMPARE(question, QStringLiteral("删除当前客户记录?"));
        QVERIFY(reports_.isEmpty());  // a cancelled deletion is silent
        testutil::whenModal(QStringLiteral("是"));
        c.BitBtn9->click();
        QCOMPARE(stored(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"0"});
        c.BitBtn9->click();
        QCOMPARE(reports_, QStringList{"Cannot perform this operation on an empty dataset"});
        // A record just added and not stored goes without a question.
        c.BitBtn7->click();
        c.BitBtn9->click();
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Browse);
        QCOMPARE(reports_.size(), 1);
    }

    void buttonsActOnTheCardSource()
    {
        testutil::addCustomers(file_, 1);
        testutil::MainFixture m;
        m->activate();
        m->setCardSource(&m->dm().callSource);
        QCOMPARE(m->card()->DBEdit1->text(), QString());
        m->card()->BitBtn7->click();
        type(m->card()->DBEdit1, QStringLiteral("来电者"));
        m->card()->BitBtn8->click();
        QCOMPARE(stored(file_, QStringLiteral("select 联系人 from 来电数据")), QStringList{"来电者"});
        QCOMPARE(stored(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"1"});
        m->setCardSource(&m->dm().customerSource);
        QCOMPARE(m->card()->DBEdit1->text(), QStringLiteral("客户1"));
    }

    void choiceBoxStoresWhatItShows()
    {
        testutil::addCustomers(file_, 2);
        testutil::execute(file_, QStringLiteral("update 客户数据 set 部门 = 'sales', 职务 = 'sales'"));
        testutil::execute(file_, QStringLiteral("insert into 字典 (项目, 内容) values ('部门', 'Sales'), "
                                                "('部门', 'EastChina'), ('职务', 'Sales')"));
        testutil::MainFixture m;
        m.w->show();
        QApplication::setActiveWindow(m.w.get());
        QVERIFY(QTest::qWaitForWindowActive(m.w.get()));
        m->activate();
        CustomerCard& c = *m->card();
        DataSet& kehu = m->dm().customerTable;

        // Passing through with Enter or Tab, without typing, changes nothing.
        c.DBEdit1->setFocus();
        QTest::keyClick(c.DBEdit1, Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(kehu.state(), DataSet::State::Browse);
        QCOMPARE(c.DBComboBox1->currentText(), QStringLiteral("sales"));
        c.DBComboBox2->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(kehu.state(), DataSet::State::Browse);
        QCOMPARE(kehu.text("职务"), QStringLiteral("sales"));

        // Typing "Ea" that the list completes: Enter stores the whole value.
        c.DBComboBox1->setFocus();
        c.DBComboBox1->lineEdit()->selectAll();
        QTest::keyClicks(c.DBComboBox1->lineEdit(), QStringLiteral("Ea"));
        QCOMPARE(c.DBComboBox1->currentText(), QStringLiteral("EastChina"));
        QTest::keyClick(c.DBComboBox1->lineEdit(), Qt::Key_Return);
        QCOMPARE(kehu.text("部门"), QStringLiteral("EastChina"));
        kehu.post();
        QCOMPARE(stored(file_, QStringLiteral("select 部门 from 客户数据 where id = 2")), QStringList{"EastChina"});
        QVERIFY(reports_.isEmpty());
    }

    void tabWalksTheCardInItsOrder()
    {
        testutil::addCustomers(file_, 1);
        testutil::MainFixture m;
        m.w->show();
        QApplication::setActiveWindow(m.w.get());
        QVERIFY(QTest::qWaitForWindowActive(m.w.get()));
        m->activate();
        m->setCardMode(1);  // the bottom strip's buttons shown
        CustomerCard& c = *m->card();
        const QList<QWidget*> order = {c.DBEdit1, c.DBEdit2, c.DBEdit3, c.DBEdit4, c.DBEdit5, c.DBEdit6,
                                       c.DBEdit7, c.DBEdit8, c.DBEdit9, c.DBEdit10, c.DBComboBox1,
                                       c.DBComboBox2, c.DBComboBox3, c.DBComboBox4, c.DBEdit11, c.DBMemo1,
                                       c.DBMemo2, c.BitBtn7, c.BitBtn8, c.BitBtn9, c.BitBtn28, c.BitBtn29,
                                       c.BitBtn30, c.BitBtn31, c.BitBtn11};
        c.DBEdit1->setFocus();
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* f = QApplication::focusWidget();
            if (f && f->parentWidget() == order[i])
                f = f->parentWidget();  // a combo box's edit
            QVERIFY2(f == order[i], qPrintable(QStringLiteral("step %1: %2").arg(i).arg(f ? f->objectName() : "none")));
        }
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Browse);  // walking changes nothing
    }

    void enterWalksTheChainAndAppendsAtTheEnd()
    {
        testutil::addCustomers(file_, 2);
        testutil::MainFixture m;
        m.w->show();
        QApplication::setActiveWindow(m.w.get());
        QVERIFY(QTest::qWaitForWindowActive(m.w.get()));
        m->activate();
        CustomerCard& c = *m->card();
        const QList<QWidget*> chain = {c.DBEdit1, c.DBComboBox1, c.DBComboBox2, c.DBEdit2, c.DBEdit3,
                                       c.DBEdit4, c.DBEdit5, c.DBEdit6, c.DBEdit7, c.DBEdit8,
                                       c.DBEdit9, c.DBEdit10, c.DBEdit11, c.DBComboBox3, c.DBComboBox4};
        for (int i = 0; i + 1 < chain.size(); ++i) {
            QTest::keyClick(chain[i], Qt::Key_Return, i % 2 ? Qt::ShiftModifier : Qt::NoModifier);
            QWidget* f = QApplication::focusWidget();
            QVERIFY(f && (f == chain[i + 1] || f->parentWidget() == chain[i + 1]));
        }
        // 分类2 on the first customer: moves to the next one.
        type(c.DBComboBox4->lineEdit(), QStringLiteral("华北"));
        QTest::keyClick(c.DBComboBox4, Qt::Key_Return);
        QCOMPARE(stored(file_, QStringLiteral("select 分类2 from 客户数据 where id = 2")), QStringList{"华北"});
        QCOMPARE(c.DBEdit1->text(), QStringLiteral("客户1"));
        QVERIFY(c.DBEdit1->hasFocus());
        // On the last customer: a new record, focus back on the contact.
        QTest::keyClick(c.DBComboBox4, Qt::Key_Enter);
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Insert);
        QVERIFY(c.DBEdit1->hasFocus());
        type(c.DBEdit1, QStringLiteral("连续录入"));
        QTest::keyClick(c.DBComboBox4, Qt::Key_Return);  // stored, then another new one
        QCOMPARE(stored(file_, QStringLiteral("select 联系人 from 客户数据 where id = 3")), QStringList{"连续录入"});
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Insert);

        // On the last call record only the focus moves.
        m->dm().customerTable.cancel();
        m->setCardSource(&m->dm().callSource);
        m->dm().callTable.append();
        m->dm().callTable.post();
        QTest::keyClick(c.DBComboBox4, Qt::Key_Return);
        QCOMPARE(m->dm().callTable.state(), DataSet::State::Browse);
        QCOMPARE(m->dm().callTable.recordCount(), 1);
        QVERIFY(c.DBEdit1->hasFocus());

        // Enter in a memo is a new line.
        c.DBMemo1->setFocus();
        QTest::keyClick(c.DBMemo1, Qt::Key_Return);
        QVERIFY(c.DBMemo1->hasFocus());
        QCOMPARE(c.DBMemo1->toPlainText(), QStringLiteral("\n"));
    }
};

QTEST_MAIN(TestCard)
#include "test_card.moc"
