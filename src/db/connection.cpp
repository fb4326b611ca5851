#include "db/connection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include "db/dataset.h"

namespace {

// The call list's date search looks calls up by 日期; the index is made the
// first time a database without it is opened.  A database that cannot take
// it (read-only, no call table) is used as it is.
void ensureCallDateIndex(QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("create index if not exists 来电数据_日期 on 来电数据 (日期)"));
}

}  // namespace

Connection::Connection(const QString& name, QObject* parent)
    : QObject(parent), name_(name),
      sqlName_(name + QLatin1Char('_') + QUuid::createUuid().toString(QUuid::Id128))
{
}

Connection::~Connection()
{
    for (DataSet* ds : dataSets_)
        ds->close();
    if (QSqlDatabase::contains(sqlName_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(sqlName_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(sqlName_);
    }
}

QString Connection::dataSourceOf(const QString& cs)
{
    const QStringList parts = cs.split(QLatin1Char(';'));
    for (const QString& part : parts) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (part.left(eq).trimmed().compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0) {
            QString path = part.mid(eq + 1).trimmed();
            path.replace(QLatin1Char('\\'), QLatin1Char('/'));
            return QDir::cleanPath(path);
        }
    }
    return {};
}

bool Connection::isConnected() const
{
    return QSqlDatabase::contains(sqlName_) && QSqlDatabase::database(sqlName_, false).isOpen();
}

QSqlDatabase Connection::database() const { return QSqlDatabase::database(sqlName_, false); }

void Connection::open()
{
    if (isConnected())
        return;
    if (beforeConnect_)
        beforeConnect_(*this);
    const QString file = dataSourceOf(connectionString_);
    // SQLite would quietly create a missing file; a missing database is an
    // error here, and no empty file may appear in its place.
    if (file.isEmpty() || !QFileInfo(file).isFile())
        throw DbError(QStringLiteral("找不到数据库文件“%1”。").arg(QDir::toNativeSeparators(file)));
    QSqlDatabase db = QSqlDatabase::contains(sqlName_)
                          ? QSqlDatabase::database(sqlName_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), sqlName_);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        throw DbError(QStringLiteral("无法打开数据库“%1”：%2")
                          .arg(QDir::toNativeSeparators(file), db.lastError().text()));
    // Check at once that the file really is a database.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
        const QString why = probe.lastError().text();
        probe.finish();
        db.close();
        throw DbError(QStringLiteral("无法打开数据库“%1”：%2").arg(QDir::toNativeSeparators(file), why));
    }
    // Every stored record must be on disk when its store returns.
    probe.exec(QStringLiteral("pragma synchronous = full"));
    ensureCallDateIndex(db);
    emit connected();
}

void Connection::close()
{
    for (DataSet* ds : QVector<DataSet*>(dataSets_))
        ds->close();
    if (QSqlDatabase::contains(sqlName_)) {
        QSqlDatabase db = QSqlDatabase::database(sqlName_, false);
        if (db.isOpen()) {
            db.close();
            emit disconnected();
        }
    }
}

void Connection::execute(const QString& sql)
{
    open();
    QSqlQuery q(database());
    if (!q.exec(sql))
        throw DbError(q.lastError().text());
}

void Connection::attach(DataSet* ds)
{
    if (!dataSets_.contains(ds))
        dataSets_.append(ds);
}

void Connection::detach(DataSet* ds) { dataSets_.removeAll(ds); }
