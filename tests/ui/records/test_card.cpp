// The customer card driven with keys and clicks, checked in the database.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

#include "rules/errors/errorreport.h"
#include "ui/shell/mainwindow.h"
#include "ui/kit/dbcontrols.h"
#include "ui/records/card.h"
#include "cardcontrols.h"
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
        const CardControls c(m.w.get());
        QVERIFY(!c.addButton->isVisibleTo(m.w.get()));
        QVERIFY(testutil::named<QLabel>(&*m, QStringLiteral("advertisingLine"))->isVisibleTo(m.w.get()));
        QCOMPARE(c.contactField->text(), QStringLiteral("客户2"));
        QCOMPARE(c.qqField->text(), QStringLiteral("10001"));  // QQ bound from the start
        QCOMPARE(c.contactField->geometry(), QRect(76, 56, 121, 21));
        QCOMPARE(c.replyField->geometry(), QRect(588, 140, 349, 81));
        QCOMPARE(c.cardSaveButton->geometry(), QRect(452, 208, 83, 20));
        QCOMPARE(c.lastButton->toolTip(), QStringLiteral("最后一条记录"));

        m->setCardMode(1);
        for (QPushButton* b : {c.addButton, c.saveButton, c.deleteButton, c.firstButton, c.priorButton, c.nextButton, c.lastButton})
            QVERIFY(b->isVisibleTo(m.w.get()));
        QVERIFY(!testutil::named<QLabel>(&*m, QStringLiteral("advertisingLine"))->isVisibleTo(m.w.get()));
        m->setCardMode(7);  // unknown mode: nothing changes
        QVERIFY(c.addButton->isVisibleTo(m.w.get()));
        QCOMPARE(m->cardMode(), 1);
        m->setCardMode(0);
        QVERIFY(!c.addButton->isVisibleTo(m.w.get()));
        QVERIFY(c.cardSaveButton->isVisibleTo(m.w.get()));
    }

    void typeSaveAndMoveWithTheButtons()
    {
        testutil::addCustomers(file_, 3);
        testutil::MainFixture m;
        m->activate();
        const CardControls c(m.w.get());
        m->setCardMode(1);
        c.contactField->setFocus();
        c.contactField->selectAll();
        type(c.contactField, QStringLiteral("新名字"));
        c.nextButton->click();  // next: the changed record is stored first
        QCOMPARE(stored(file_, QStringLiteral("select 联系人 from 客户数据 where id = 3")), QStringList{"新名字"});
        QCOMPARE(c.contactField->text(), QStringLiteral("客户2"));
        c.lastButton->click();
        QCOMPARE(c.contactField->text(), QStringLiteral("客户1"));
        c.priorButton->click();
        QCOMPARE(c.contactField->text(), QStringLiteral("客户2"));
        c.firstButton->click();
        QCOMPARE(c.contactField->text(), QStringLiteral("新名字"));

        c.addButton->click();  // 增加: a new record, focus on the contact
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Insert);
        type(c.phoneField, QStringLiteral("010-1"));
        c.cardSaveButton->click();  // the card's own 保存
        QCOMPARE(stored(file_, QStringLiteral("select 电话 from 客户数据 where id = 4")), QStringList{"010-1"});
        c.saveButton->click();  // 保存 on a browsed record stores it unchanged
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Browse);
        QVERIFY(reports_.isEmpty());
    }

    // 保存 on an empty table starts a new record with nothing in it: no
    // record, nothing stored, nothing said.
    void saveOnAnEmptyTableStoresNothing()
    {
        testutil::MainFixture m;
        m->activate();
        CardControls(m.w.get()).saveButton->click();
        QCOMPARE(stored(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"0"});
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Browse);
        QVERIFY(reports_.isEmpty());
    }

    void deleteAsksAndReportsAnEmptyTable()
    {
        testutil::addCustomers(file_, 1);
        testutil::MainFixture m;
        m->activate();
        const CardControls c(m.w.get());
        QString question;
        testutil::whenModal(QStringLiteral("否"), &question);
        c.deleteButton->click();
        QCOMPARE(question, QStringLiteral("删除当前客户记录?"));
        QVERIFY(reports_.isEmpty());  // a cancelled deletion is silent
        testutil::whenModal(QStringLiteral("是"));
        c.deleteButton->click();
        QCOMPARE(stored(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"0"});
        c.deleteButton->click();
        QCOMPARE(reports_, QStringList{"Cannot perform this operation on an empty dataset"});
        // A record just added and not stored goes without a question.
        c.addButton->click();
        c.deleteButton->click();
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Browse);
        QCOMPARE(reports_.size(), 1);
    }

    void buttonsActOnTheCardSource()
    {
        testutil::addCustomers(file_, 1);
        testutil::MainFixture m;
        m->activate();
        m->setCardSource(&m->dm().callSource);
        QCOMPARE(CardControls(m.w.get()).contactField->text(), QString());
        CardControls(m.w.get()).addButton->click();
        type(CardControls(m.w.get()).contactField, QStringLiteral("来电者"));
        CardControls(m.w.get()).saveButton->click();
        QCOMPARE(stored(file_, QStringLiteral("select 联系人 from 来电数据")), QStringList{"来电者"});
        QCOMPARE(stored(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"1"});
        m->setCardSource(&m->dm().customerSource);
        QCOMPARE(CardControls(m.w.get()).contactField->text(), QStringLiteral("客户1"));
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
        const CardControls c(m.w.get());
        DataSet& kehu = m->dm().customerTable;

        // Passing through with Enter or Tab, without typing, changes nothing.
        c.contactField->setFocus();
        QTest::keyClick(c.contactField, Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(kehu.state(), DataSet::State::Browse);
        QCOMPARE(c.departmentField->currentText(), QStringLiteral("sales"));
        c.positionField->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(kehu.state(), DataSet::State::Browse);
        QCOMPARE(kehu.text("职务"), QStringLiteral("sales"));

        // Typing "Ea" that the list completes: Enter stores the whole value.
        c.departmentField->setFocus();
        c.departmentField->lineEdit()->selectAll();
        QTest::keyClicks(c.departmentField->lineEdit(), QStringLiteral("Ea"));
        QCOMPARE(c.departmentField->currentText(), QStringLiteral("EastChina"));
        QTest::keyClick(c.departmentField->lineEdit(), Qt::Key_Return);
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
        const CardControls c(m.w.get());
        const QList<QWidget*> order = {c.contactField, c.phoneField, c.mobileField, c.homePhoneField, c.companyField, c.addressField,
                                       c.emailField, c.qqField, c.msnField, c.webField, c.departmentField,
                                       c.positionField, c.category1Field, c.category2Field, c.postCodeField, c.mattersField,
                                       c.replyField, c.addButton, c.saveButton, c.deleteButton, c.firstButton, c.priorButton,
                                       c.nextButton, c.lastButton, c.cardSaveButton};
        c.contactField->setFocus();
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
        const CardControls c(m.w.get());
        const QList<QWidget*> chain = {c.contactField, c.departmentField, c.positionField, c.phoneField, c.mobileField,
                                       c.homePhoneField, c.companyField, c.addressField, c.emailField, c.qqField,
                                       c.msnField, c.webField, c.postCodeField, c.category1Field, c.category2Field};
        for (int i = 0; i + 1 < chain.size(); ++i) {
            QTest::keyClick(chain[i], Qt::Key_Return, i % 2 ? Qt::ShiftModifier : Qt::NoModifier);
            QWidget* f = QApplication::focusWidget();
            QVERIFY(f && (f == chain[i + 1] || f->parentWidget() == chain[i + 1]));
        }
        // 分类2 on the first customer: moves to the next one.
        type(c.category2Field->lineEdit(), QStringLiteral("华北"));
        QTest::keyClick(c.category2Field, Qt::Key_Return);
        QCOMPARE(stored(file_, QStringLiteral("select 分类2 from 客户数据 where id = 2")), QStringList{"华北"});
        QCOMPARE(c.contactField->text(), QStringLiteral("客户1"));
        QVERIFY(c.contactField->hasFocus());
        // On the last customer: a new record, focus back on the contact.
        QTest::keyClick(c.category2Field, Qt::Key_Enter);
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Insert);
        QVERIFY(c.contactField->hasFocus());
        type(c.contactField, QStringLiteral("连续录入"));
        QTest::keyClick(c.category2Field, Qt::Key_Return);  // stored, then another new one
        QCOMPARE(stored(file_, QStringLiteral("select 联系人 from 客户数据 where id = 3")), QStringList{"连续录入"});
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Insert);

        // On the last call record only the focus moves.
        m->dm().customerTable.cancel();
        m->setCardSource(&m->dm().callSource);
        m->dm().callTable.append();
        m->dm().callTable.setValue(QStringLiteral("电话"), QStringLiteral("88886666"));  // an empty one is not stored
        m->dm().callTable.post();
        QTest::keyClick(c.category2Field, Qt::Key_Return);
        QCOMPARE(m->dm().callTable.state(), DataSet::State::Browse);
        QCOMPARE(m->dm().callTable.recordCount(), 1);
        QVERIFY(c.contactField->hasFocus());

        // Enter in a memo is a new line.
        c.mattersField->setFocus();
        QTest::keyClick(c.mattersField, Qt::Key_Return);
        QVERIFY(c.mattersField->hasFocus());
        QCOMPARE(c.mattersField->toPlainText(), QStringLiteral("\n"));
    }
};

QTEST_MAIN(TestCard)
#include "test_card.moc"
