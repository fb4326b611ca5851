// Data-aware controls and the grid, driven with keys and mouse clicks.

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include "rules/errors/errorreport.h"
#include "data/connection/connection.h"
#include "ui/kit/dbcontrols.h"
#include "ui/kit/dbgrid.h"
#include "testutil.h"

class TestControls : public QObject {
    Q_OBJECT
    QString folder_;
    std::unique_ptr<Connection> conn_;
    std::unique_ptr<DataSet> customers_, calls_;

private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        const QString file = folder_ + QStringLiteral("data/web.mdb");
        testutil::addCustomers(file, 3);
        testutil::execute(file, QStringLiteral("insert into 来电数据 (电话, 联系人) values ('88886666', '来电人')"));
        conn_ = std::make_unique<Connection>(QStringLiteral("database"));
        conn_->setLocation(DatabaseLocation::ofFile(file));
        customers_ = std::make_unique<DataSet>(conn_.get(), QStringLiteral("customers"));
        customers_->setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        customers_->open();
        calls_ = std::make_unique<DataSet>(conn_.get(), QStringLiteral("calls"));
        calls_->setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        calls_->open();
    }
    void cleanup()
    {
        customers_.reset();
        calls_.reset();
        conn_.reset();
    }

    void aFailedWriteIsReportedInTheControl()
    {
        // A data set that refuses new records: typing into the empty list
        // fails inside the control's own handler, which reports it.
        DataSet refusing(conn_.get(), QStringLiteral("refusing"));
        refusing.setStatement(WrittenStatement::of(QStringLiteral("select * from 客户数据 where 1 = 0"), QStringLiteral("客户数据")));
        refusing.open();
        refusing.setAfterInsert([](DataSet&) { throw DbError(QStringLiteral("refused")); });
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        DataSource src(&refusing);
        DBEdit name;
        DBMemo memo;
        name.setDataSource(&src);
        name.setDataField(QStringLiteral("联系人"));
        memo.setDataSource(&src);
        memo.setDataField(QStringLiteral("事项"));
        QTest::keyClicks(&name, QStringLiteral("x"));
        refusing.cancel();
        QTest::keyClicks(&memo, QStringLiteral("y"));
        errorreport::setSink({});
        QCOMPARE(reports, (QStringList{"refused", "refused"}));
        QCOMPARE(name.text(), QString());  // the control shows the field again
    }

    void typingStartsAnEditAndMovesStoreIt()
    {
        DataSource src(customers_.get());
        DBEdit name, phone;
        name.setDataSource(&src);
        name.setDataField(QStringLiteral("联系人"));
        phone.setDataSource(&src);
        phone.setDataField(QStringLiteral("手机"));
        QCOMPARE(name.text(), QStringLiteral("客户3"));
        name.setFocus();
        name.selectAll();
        QTest::keyClicks(&name, QStringLiteral("Zhao"));
        QCOMPARE(customers_->state(), DataSet::State::Edit);
        QCOMPARE(customers_->text(QStringLiteral("联系人")), QStringLiteral("Zhao"));
        QCOMPARE(phone.text(), QStringLiteral("13900000003"));  // the other control is untouched
        customers_->next();
        QCOMPARE(name.text(), QStringLiteral("客户2"));
        customers_->first();
        QCOMPARE(name.text(), QStringLiteral("Zhao"));
    }

    void typingIntoAnEmptyTableStartsANewRecord()
    {
        testutil::execute(folder_ + QStringLiteral("data/web.mdb"), QStringLiteral("delete from 客户数据"));
        customers_->close();
        customers_->open();
        DataSource src(customers_.get());
        DBEdit name;
        name.setDataSource(&src);
        name.setDataField(QStringLiteral("联系人"));
        QTest::keyClicks(&name, QStringLiteral("abc"));
        QCOMPARE(customers_->state(), DataSet::State::Insert);
        QCOMPARE(name.text(), QStringLiteral("abc"));  // the first key is not lost to the new record
        customers_->post();
        QCOMPARE(customers_->text(QStringLiteral("联系人")), QStringLiteral("abc"));
    }

    void repointedSourceShowsTheOtherDataSet()
    {
        DataSource src(customers_.get());
        DBEdit name;
        DBComboBox cat;
        DBMemo memo;
        name.setDataSource(&src);
        name.setDataField(QStringLiteral("联系人"));
        cat.setDataSource(&src);
        cat.setDataField(QStringLiteral("分类1"));
        memo.setDataSource(&src);
        memo.setDataField(QStringLiteral("事项"));
        QCOMPARE(cat.currentText(), QStringLiteral("甲"));
        src.setDataSet(calls_.get());
        QCOMPARE(name.text(), QStringLiteral("来电人"));
        QCOMPARE(cat.currentText(), QString());
        // Edits now go to the call record.
        memo.setFocus();
        QTest::keyClicks(&memo, QStringLiteral("line 1"));
        QTest::keyClick(&memo, Qt::Key_Return);
        QTest::keyClicks(&memo, QStringLiteral("line 2"));
        calls_->post();
        QCOMPARE(calls_->text(QStringLiteral("事项")), QStringLiteral("line 1\r\nline 2"));
        QCOMPARE(customers_->state(), DataSet::State::Browse);
        // A pick from the combo box list is an edit too.
        src.setDataSet(customers_.get());
        cat.addItems({QStringLiteral("甲"), QStringLiteral("丙")});
        cat.showPopup();
        cat.setCurrentIndex(1);
        emit cat.textActivated(QStringLiteral("丙"));  // what a pick in the open list does
        QCOMPARE(customers_->state(), DataSet::State::Edit);
        QCOMPARE(customers_->text(QStringLiteral("分类1")), QStringLiteral("丙"));
    }

    void gridFollowsAndMovesTheDataSet()
    {
        DataSource src(customers_.get());
        DBGrid grid;
        grid.resize(600, 300);
        grid.setDataSource(&src);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(grid.model()->rowCount(), 3);
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ID"));
        QCOMPARE(grid.currentIndex().row(), 0);
        QCOMPARE(grid.model()->headerData(0, Qt::Vertical).toString(), QString(QChar(0x25B6)));

        // A click on the third row makes it the current record.
        const QRect cell = grid.visualRect(grid.model()->index(2, 1));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(customers_->recNo(), 3);
        // Moving the data set moves the grid.
        customers_->first();
        QCOMPARE(grid.currentIndex().row(), 0);
        // Appending shows a new row; cancelling removes it.
        customers_->append();
        QCOMPARE(grid.model()->rowCount(), 4);
        QCOMPARE(grid.currentIndex().row(), 3);
        QCOMPARE(grid.model()->headerData(3, Qt::Vertical).toString(), QStringLiteral("*"));
        customers_->cancel();
        QCOMPARE(grid.model()->rowCount(), 3);
        QCOMPARE(grid.currentIndex().row(), 2);
    }

    void gridEditsInPlaceAndLeavingTheRowStores()
    {
        DataSource src(customers_.get());
        DBGrid grid;
        grid.setDataSource(&src);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const int col = customers_->findField(QStringLiteral("联系人"));
        QVERIFY(grid.model()->setData(grid.model()->index(1, col), QStringLiteral("改名"), Qt::EditRole));
        QCOMPARE(customers_->recNo(), 2);
        QCOMPARE(customers_->state(), DataSet::State::Edit);
        grid.setCurrentIndex(grid.model()->index(0, col));
        QCOMPARE(customers_->state(), DataSet::State::Browse);
        customers_->close();
        customers_->open();
        customers_->next();
        QCOMPARE(customers_->text(col), QStringLiteral("改名"));
        QVERIFY(!(grid.model()->flags(grid.model()->index(0, 0)) & Qt::ItemIsEditable));  // the key is not typed
    }

    void gridInsertAndEscapeKeys()
    {
        DataSource src(customers_.get());
        DBGrid grid;
        grid.setDataSource(&src);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        const int col = customers_->findField(QStringLiteral("联系人"));
        grid.setCurrentIndex(grid.model()->index(1, col));
        // Insert opens a new row above the current one.
        QTest::keyClick(&grid, Qt::Key_Insert);
        QCOMPARE(customers_->state(), DataSet::State::Insert);
        QCOMPARE(grid.model()->rowCount(), 4);
        QCOMPARE(grid.currentIndex().row(), 1);
        QCOMPARE(grid.model()->headerData(1, Qt::Vertical).toString(), QStringLiteral("*"));
        // Escape abandons it: nothing stored, the old row current again.
        QTest::keyClick(&grid, Qt::Key_Escape);
        QCOMPARE(customers_->state(), DataSet::State::Browse);
        QCOMPARE(grid.model()->rowCount(), 3);
        QCOMPARE(customers_->recNo(), 2);
        QCOMPARE(grid.currentIndex().row(), 1);
        QCOMPARE(grid.model()->index(1, col).data().toString(), QStringLiteral("客户2"));
        // Escape also undoes a changed cell that was not stored yet.
        QVERIFY(grid.model()->setData(grid.model()->index(1, col), QStringLiteral("改名"), Qt::EditRole));
        QCOMPARE(customers_->state(), DataSet::State::Edit);
        QTest::keyClick(&grid, Qt::Key_Escape);
        QCOMPARE(customers_->state(), DataSet::State::Browse);
        QCOMPARE(grid.model()->index(1, col).data().toString(), QStringLiteral("客户2"));
        QCOMPARE(customers_->recordCount(), 3);
    }

    void draggingIntoRowsNotReadPaintsAtOnce()
    {
        const int total = 30000;
        testutil::addCustomers(folder_ + QStringLiteral("data/web.mdb"), total - 3);
        customers_->close();
        customers_->open();
        DataSource src(customers_.get());
        DBGrid grid;
        grid.resize(600, 300);
        grid.setDataSource(&src);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        // The reader is held: a paint that waited for it would not return.
        QSemaphore go;
        std::atomic<bool> held{false};
        DataSet::setWorkerPauses({{}, {}, {}, [&] {
                                      held = true;
                                      go.tryAcquire(1, 10000);
                                  }, {}});
        auto* model = grid.dataModel();
        const int name = customers_->findField(QStringLiteral("联系人"));
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        grid.recordScrollBar()->setValue(total / 2);
        grid.repaint();
        const int first = grid.rowAt(0);
        const QModelIndex cell = model->index(first, name);
        QCOMPARE(model->windowOffset() + first, total / 2);
        QVERIFY(!cell.data().isValid());
        QTRY_VERIFY(held);
        QCOMPARE(customers_->recNo(), 1);  // dragging does not move the record
        go.release(10);
        QTRY_VERIFY(!changed.isEmpty() && cell.data().isValid());
        // Newest first: row r is record total - r, the (total - r - 3)th added.
        QCOMPARE(cell.data().toString(), QStringLiteral("客户") + QString::number(total - total / 2 - 3));
        QCOMPARE(model->index(first + 20, name).data().toString(),
                 QStringLiteral("客户") + QString::number(total - total / 2 - 23));
        DataSet::setWorkerPauses({});
    }

    void largeTableShownAStretchAtATime()
    {
        const int total = DataSetModel::kWindow * 2 + 500;
        testutil::addCustomers(folder_ + QStringLiteral("data/web.mdb"), total - 3);
        customers_->close();
        customers_->open();
        DataSource src(customers_.get());
        DBGrid grid;
        grid.resize(600, 300);
        grid.setDataSource(&src);
        auto* model = grid.dataModel();
        // The table's length is known at once: one stretch of it is shown.
        QCOMPARE(model->rowCount(), DataSetModel::kWindow);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const int name = customers_->findField(QStringLiteral("联系人"));
        auto shownName = [&] { return grid.currentIndex().siblingAtColumn(name).data().toString(); };

        // The last record: the rows around it are shown, the grid is on it.
        customers_->last();
        QCOMPARE(customers_->recNo(), total);
        QCOMPARE(model->windowOffset() + grid.currentIndex().row(), total - 1);
        QCOMPARE(shownName(), customers_->text(name));
        // Scrolling to the top of the stretch brings the rows above it.
        const int offset = model->windowOffset();
        grid.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
        QTRY_VERIFY(model->windowOffset() < offset);
        QCOMPARE(customers_->recNo(), total);  // scrolling does not move the record
        // A click picks the record under it.
        const int clicked = model->windowOffset() + grid.rowAt(5);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                          grid.visualRect(model->index(grid.rowAt(5), name)).center());
        QCOMPARE(customers_->recNo(), clicked + 1);
        QCOMPARE(shownName(), customers_->text(name));
        // Appending from far away shows the new row at the end; abandoning
        // it returns to the record before.
        customers_->first();
        QCOMPARE(model->windowOffset(), 0);
        customers_->append();
        QCOMPARE(model->windowOffset() + grid.currentIndex().row(), total);
        QCOMPARE(model->headerData(grid.currentIndex().row(), Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("*"));
        customers_->cancel();
        QCOMPARE(customers_->recNo(), total);
        QCOMPARE(model->windowOffset() + grid.currentIndex().row(), total - 1);
        // Ctrl+Home goes to the first record of the table.
        QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(customers_->recNo(), 1);
        QCOMPARE(grid.currentIndex().row(), 0);
        // The Down key walks on past the last of the rows shown.
        grid.setCurrentIndex(model->index(model->rowCount() - 1, name));
        const int before = customers_->recNo();
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(customers_->recNo(), before + 1);
        QCOMPARE(shownName(), customers_->text(name));
    }

    void customColumnsAndMissingFields()
    {
        DataSource src(customers_.get());
        DBGrid grid;
        grid.setDataSource(&src);
        QCOMPARE(grid.columnLayout().size(), 18);
        grid.setColumnLayout({{QStringLiteral("联系人"), 120}, {QStringLiteral("没有的列"), -1}});
        QCOMPARE(grid.model()->columnCount(), 2);
        QCOMPARE(grid.columnWidth(0), 120);
        QCOMPARE(grid.columnWidth(1), DBGrid::kDefaultWidth);
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("没有的列"));
        QCOMPARE(grid.model()->data(grid.model()->index(0, 1)), QVariant());
        // Reopening keeps custom columns; a reset returns to the fields.
        customers_->close();
        customers_->open();
        QCOMPARE(grid.model()->columnCount(), 2);
        grid.resetColumns();
        QCOMPARE(grid.model()->columnCount(), 18);
        // Switching the source to a data set with other fields rebuilds default columns.
        src.setDataSet(calls_.get());
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("电话"));
    }
};

QTEST_MAIN(TestControls)
#include "test_controls.moc"
