#pragma once
// What the tests of the data set and its parts share: reading the table as
// another program would, a long call log, and holding a background reader.

#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <memory>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <atomic>

#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "testdb.h"

namespace datasettest {

// A database file made from the schema and the connection the data sets of a
// test open on; the test's init() and cleanup() call makeDatabase() and
// dropDatabase().
class DataSetFixture {
protected:
    void makeDatabase()
    {
        file_ = testutil::makeDatabase(dir_.path() + QStringLiteral("/web.mdb"));
        conn_ = std::make_unique<Connection>(QStringLiteral("database"));
        conn_->setLocation(DatabaseLocation::ofFile(file_));
    }
    void dropDatabase()
    {
        conn_.reset();
        QFile::remove(file_);
    }
    std::unique_ptr<DataSet> openCustomers(const Query& query = Query::ordered(QStringLiteral("客户数据"),
                                                                              QStringLiteral("ID"), true))
    {
        auto ds = std::make_unique<DataSet>(conn_.get(), QStringLiteral("customers"));
        ds->setQuery(query);
        ds->open();
        return ds;
    }
    std::unique_ptr<DataSet> openCustomers(const WrittenStatement& statement)
    {
        auto ds = std::make_unique<DataSet>(conn_.get(), QStringLiteral("customers"));
        ds->setStatement(statement);
        ds->open();
        return ds;
    }

    QTemporaryDir dir_;
    QString file_;
    std::unique_ptr<Connection> conn_;
};

// Reads the table through a connection of its own, as another program would.
inline QStringList column(const QString& file, const QString& sql)
{
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.exec(sql);
        while (q.next())
            out << (q.value(0).isNull() ? QStringLiteral("<null>") : q.value(0).toString());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return out;
}

// n calls 1 … n, 电话 "0755" followed by the number.
inline void addCalls(const QString& file, int n)
{
    testutil::execute(file, QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c where x < ") +
                                QString::number(n) +
                                QStringLiteral(") insert into 来电数据 (电话, 日期) select '0755' || x, '2008-7-5' from c"));
}

inline QStringList keysOf(DataSet& ds)
{
    QStringList out;
    for (int r = 0; r < ds.rowCount(); ++r)
        out << ds.rowValue(r, ds.fieldIndex(QStringLiteral("ID"))).toString();
    return out;
}

// Holds a background reader at one point until the test lets it go on.  A
// reader still held after a long time goes on by itself and says so, so
// that a window thread waiting for it fails the test instead of hanging it.
struct Hold {
    QSemaphore go;
    std::atomic<bool> held{false};
    std::atomic<bool> gaveUp{false};
    void wait()
    {
        held = true;
        if (!go.tryAcquire(1, 10000))
            gaveUp = true;
    }
};

}  // namespace datasettest
