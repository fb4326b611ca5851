#include "db/connection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include "db/dataset.h"
#include "db/numberindex.h"

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
    indexBuild_.reset();
    // No data set outlives its connection: each is closed and let go.
    for (DataSet* ds : QVector<DataSet*>(dataSets_))
        ds->connectionGone();
    dataSets_.clear();
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
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
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
    probe.finish();
    ensureCallDateIndex(db);
    ensureNumberIndex(db);
    emit connected();
}

// The caller lookup's index, built once for a database that lacks it.  A
// database that cannot take it (read-only, full disk) still opens: the
// lookup then runs without the index.
void Connection::ensureNumberIndex(QSqlDatabase& db)
{
    numberIndex_ = false;
    indexBuild_.reset();
    try {
        numberindex::addDigitsFunction(db);
        indexBuild_ = numberindex::Build::start(db, this, [this](const QString& error) {
            indexBuild_.reset();
            numberIndex_ = error.isEmpty();
            if (!error.isEmpty())
                errorreport::report(error);
        });
    } catch (const std::exception& e) {
        errorreport::report(QString::fromUtf8(e.what()));
    }
}

void Connection::close()
{
    indexBuild_.reset();  // goes on where it stopped at the next open
    numberIndex_ = false;
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

void Connection::finishCounts()
{
    for (DataSet* ds : QVector<DataSet*>(dataSets_))
        ds->finishCount();
}

void Connection::finishCountsBefore(int openedAs)
{
    for (DataSet* ds : QVector<DataSet*>(dataSets_))
        if (ds->countPending() && ds->openedAs() < openedAs)
            ds->finishCount();
}

void Connection::execute(const QString& sql)
{
    open();
    finishCounts();
    QSqlQuery q(database());
    const bool ok = q.exec(sql);
    noteOutcome(q.lastError());
    if (!ok)
        throw DbError(isBusy(q.lastError())
                          ? QStringLiteral("数据库正忙（可能有其他程序正在使用），请稍后再试。\n%1")
                                .arg(q.lastError().databaseText())
                          : q.lastError().text());
}

bool Connection::isBusy(const QSqlError& error)
{
    // SQLITE_BUSY and SQLITE_LOCKED, with or without extended codes.
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok && ((code & 0xff) == 5 || (code & 0xff) == 6);
}

void Connection::noteOutcome(const QSqlError& error)
{
    const bool busy = isBusy(error);
    if (busy == busy_ || (!busy && error.isValid()))
        return;
    busy_ = busy;
    emit busyChanged(busy);
}

void Connection::attach(DataSet* ds)
{
    if (!dataSets_.contains(ds))
        dataSets_.append(ds);
}

void Connection::detach(DataSet* ds) { dataSets_.removeAll(ds); }
