#include "data/maintenance/serverupload.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QVariant>
#include <memory>

#include "data/engine/dberror.h"
#include "data/engine/engine.h"
#include "data/engine/postgrescopy.h"
#include "data/engine/sqliterows.h"
#include "data/connection/rowcounts.h"
#include "data/numbers/numberindex.h"
#include "data/maintenance/dbfiles.h"
#include "data/maintenance/filesteps.h"
#include "rules/statements/statementtext.h"
#include "rules/statements/tablenames.h"

namespace serverupload {

namespace {

using dbfile::steps::shown;

// Thrown by the copy when a stop was asked for.
struct Stopped {};

// The tables in the order they are copied: the small one first, so that a
// refusal of the server shows at once.
const QStringList& uploadOrder()
{
    static const QStringList t = {tables::dictionary(), tables::customers(), tables::calls()};
    return t;
}

QSqlQuery exec(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Statements without values run as they are (the server prepares no
    // "begin" or "lock").
    bool ok = values.isEmpty() ? q.exec(sql) : q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!ok || (!values.isEmpty() && !q.exec()))
        throw DbError(q.lastError().text());
    return q;
}

QString thousands(qint64 n) { return QLocale(QLocale::English).toString(n); }

// The file's own connection, read-only, gone with the object.
class LocalFile {
public:
    explicit LocalFile(const QString& path)
        : name_(QStringLiteral("upload-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        const DatabaseLocation where = DatabaseLocation::ofFile(path);
        db_ = DatabaseEngine::standard(where)->connection(name_, where, 5000, DatabaseEngine::Access::ReadOnly);
        if (!db_.open())
            throw DbError(QStringLiteral("无法打开“") + shown(path) + QStringLiteral("”：") + db_.lastError().text());
    }
    ~LocalFile()
    {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlDatabase& db() { return db_; }

private:
    QString name_;
    QSqlDatabase db_;
};

// Where an ID sequence stood before the upload.  A sequence is no part of
// a transaction: a rollback leaves it where it was set.
struct Sequence {
    QString name;
    QVariant last;
    QVariant called;
};

// Sets the sequences back after a failed upload.
void putBack(QSqlDatabase& server, const QList<Sequence>& sequences)
{
    for (const Sequence& s : sequences) {
        QSqlQuery q(server);
        q.prepare(QStringLiteral("select setval(?, ?, ?)"));
        q.addBindValue(s.name);
        q.addBindValue(s.last);
        q.addBindValue(s.called);
        q.exec();
    }
}

// One upload: the file's rows into the server, in the transaction open on
// `server`.
class Upload {
public:
    Upload(QSqlDatabase& server, QSqlDatabase& local, const Progress& progress, QList<Sequence>* sequences)
        : server_(server), local_(local), progress_(progress), copy_(server), sequences_(sequences)
    {
    }

    void run(Counts* counts);

private:
    QStringList serverColumns(const QString& table);
    // The server's names of the file's columns, made where missing.
    QStringList matchColumns(const QString& table, const QStringList& local);
    qint64 copyTable(const QString& table);
    void sendRows(SqliteTextRows& rows, int columns);
    void tell(const QString& table);
    void setSequences();

    QSqlDatabase& server_;
    QSqlDatabase& local_;
    const Progress& progress_;
    PostgresCopyIn copy_;
    qint64 done_ = 0, total_ = 0;
    QElapsedTimer clock_;
    qint64 lastTold_ = -1000;
    QString table_;
    QList<Sequence>* sequences_;
};

QStringList Upload::serverColumns(const QString& table)
{
    QSqlQuery q = exec(server_,
                       QStringLiteral("select column_name from information_schema.columns where table_schema = current_schema() "
                                      "and table_name = ? order by ordinal_position"),
                       {table});
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

QStringList Upload::matchColumns(const QString& table, const QStringList& local)
{
    const QStringList have = serverColumns(table);
    QStringList out;
    for (const QString& c : local) {
        const int at = dbfile::steps::indexOfName(have, c);
        if (at >= 0) {
            out << have[at];
            continue;
        }
        // A column an import added: text, as the import makes it.
        exec(server_, QStringLiteral("alter table ") + quotedIdentifier(table) + QStringLiteral(" add column ") +
                          quotedIdentifier(c) + QStringLiteral(" text"));
        out << c;
    }
    return out;
}

void Upload::tell(const QString& table)
{
    if (progress_.report)
        progress_.report(done_, total_);
    const qint64 ms = clock_.elapsed();
    if (!progress_.text || (ms - lastTold_ < 500 && done_ < total_))
        return;
    lastTold_ = ms;
    progress_.text(QStringLiteral("正在上传") + table + QStringLiteral("：共 ") + thousands(done_) + QStringLiteral(" / ") +
                   thousands(total_) + QStringLiteral(" 行，每秒 ") + thousands(ms > 0 ? done_ * 1000 / ms : 0) +
                   QStringLiteral(" 行"));
}

void Upload::sendRows(SqliteTextRows& rows, int columns)
{
    QByteArray buffer;
    buffer.reserve(1 << 20);
    while (rows.next()) {
        for (int i = 0; i < columns; ++i) {
            if (i > 0)
                buffer += '\t';
            const char* text = rows.text(i);
            PostgresCopyIn::appendValue(buffer, text, text ? rows.size(i) : 0);
        }
        buffer += '\n';
        if (++done_ % 1000 == 0) {
            if (progress_.stopRequested && progress_.stopRequested())
                throw Stopped();
            tell(table_);
        }
        if (buffer.size() >= (1 << 20) - 4096)
            copy_.send(buffer);
    }
    if (!buffer.isEmpty())
        copy_.send(buffer);
}

qint64 Upload::copyTable(const QString& table)
{
    table_ = table;
    QStringList local;
    const QSqlRecord fields = local_.record(table);
    for (int i = 0; i < fields.count(); ++i)
        local << fields.fieldName(i);
    const QStringList remote = matchColumns(table, local);
    QStringList quotedLocal, quotedRemote;
    for (int i = 0; i < local.size(); ++i) {
        quotedLocal << quotedIdentifier(local[i]);
        quotedRemote << quotedIdentifier(remote[i]);
    }
    const qint64 before = done_;
    SqliteTextRows rows(local_, QStringLiteral("select ") + quotedLocal.join(QLatin1Char(',')) +
                                    QStringLiteral(" from ") + quotedIdentifier(table));
    copy_.start(QStringLiteral("copy ") + quotedIdentifier(table) + QStringLiteral(" (") +
                quotedRemote.join(QLatin1Char(',')) + QStringLiteral(") from stdin"));
    try {
        sendRows(rows, int(local.size()));
    } catch (...) {
        copy_.finish(true);
        throw;
    }
    copy_.finish(false);
    tell(table);
    return done_ - before;
}

// The next ID each table gives is past every uploaded one.  Done last:
// nothing can fail after it but the commit.
void Upload::setSequences()
{
    for (const QString& table : uploadOrder()) {
        QSqlQuery q = exec(server_, QStringLiteral("select pg_get_serial_sequence(?, 'id')"), {quotedIdentifier(table)});
        if (!q.next() || q.isNull(0))
            continue;
        Sequence s{q.value(0).toString(), {}, {}};
        // The name as the server writes it, quoted where it needs to be.
        q = exec(server_, QStringLiteral("select last_value, is_called from ") + s.name);
        if (q.next()) {
            s.last = q.value(0);
            s.called = q.value(1);
        }
        *sequences_ << s;
        exec(server_,
             QStringLiteral("select setval(?, coalesce(max(id), 0) + 1, false) from ") + quotedIdentifier(table),
             {s.name});
    }
}

void Upload::run(Counts* counts)
{
    clock_.start();
    for (const QString& table : uploadOrder()) {
        QSqlQuery q(local_);
        if (!q.exec(QStringLiteral("select count(*) from ") + quotedIdentifier(table)) || !q.next())
            throw DbError(q.lastError().text());
        total_ += q.value(0).toLongLong();
    }
    counts->dictionary = copyTable(tables::dictionary());
    {
        // The number index and a kept count take the customers at once at
        // the end instead of one row at a time.
        numberindex::BulkAppend index(server_);
        rowcounts::BulkStore count(server_, tables::customers());
        counts->customers = copyTable(tables::customers());
        count.finish();
        index.finish();
    }
    {
        // The other desks are told of every call stored; a million calls
        // moved in are not theirs to be told of one by one.
        exec(server_, QStringLiteral("alter table 来电数据 disable trigger user"));
        rowcounts::BulkStore count(server_, tables::calls());
        counts->calls = copyTable(tables::calls());
        exec(server_, QStringLiteral("alter table 来电数据 enable trigger user"));
        count.finish();
    }
    setSequences();
}

}  // namespace

QString fileProblem(const QString& file)
{
    const QString name = QStringLiteral("“") + shown(file) + QStringLiteral("”");
    switch (dbfile::kindOf(file)) {
    case dbfile::Kind::Missing:
        return QStringLiteral("找不到文件") + name + QStringLiteral("。");
    case dbfile::Kind::Ours:
        return {};
    case dbfile::Kind::Access:
        return name + QStringLiteral("是Access数据库，请先在本机数据库中用“恢复数据库”或“导入客户数据(Access格式）”转入，再上传。");
    case dbfile::Kind::Incomplete:
        return name + QStringLiteral("缺少本软件要用的列，不能上传。");
    case dbfile::Kind::TextKeys:
        return name + QStringLiteral("的ID不是整数编号，不是本软件写出的数据库，不能上传。");
    case dbfile::Kind::NotOurs:
    case dbfile::Kind::NotDatabase:
        break;
    }
    return name + QStringLiteral("不是本软件的数据库（应有客户数据、来电数据和字典三个表），不能上传。");
}

QStringList tablesWithRows(QSqlDatabase& server, QString* error)
{
    QStringList out;
    try {
        for (const QString& table : uploadOrder()) {
            QSqlQuery q = exec(server, QStringLiteral("select exists (select 1 from ") + quotedIdentifier(table) +
                                           QLatin1Char(')'));
            if (q.next() && q.value(0).toBool())
                out << table;
        }
    } catch (const std::exception& e) {
        *error = QString::fromUtf8(e.what());
    }
    return out;
}

bool upload(QSqlDatabase& server, const QString& file, const Progress& progress, Counts* counts, QString* error,
            bool* stopped)
{
    *stopped = false;
    *counts = {};
    if (const QString problem = fileProblem(file); !problem.isEmpty()) {
        *error = problem;
        return false;
    }
    QSqlQuery q(server);
    QList<Sequence> sequences;
    try {
        LocalFile local(file);
        exec(server, QStringLiteral("begin"));
        // No other desk stores a row until the upload is committed or gone.
        exec(server, QStringLiteral("lock table 客户数据, 来电数据, 字典 in exclusive mode"));
        QString why;
        const QStringList full = tablesWithRows(server, &why);
        if (!why.isEmpty())
            throw DbError(why);
        if (!full.isEmpty())
            throw DbError(QStringLiteral("服务器数据库里已经有数据（") + full.join(QStringLiteral("、")) +
                          QStringLiteral("），不能上传：上传只用于把本机数据移到一个还没有数据的服务器数据库。"));
        Upload(server, local.db(), progress, &sequences).run(counts);
        exec(server, QStringLiteral("commit"));
    } catch (const Stopped&) {
        q.exec(QStringLiteral("rollback"));
        putBack(server, sequences);
        *counts = {};
        *stopped = true;
        *error = dbfile::steps::stoppedText();
        return false;
    } catch (const std::exception& e) {
        q.exec(QStringLiteral("rollback"));
        putBack(server, sequences);
        *counts = {};
        *error = QString::fromUtf8(e.what());
        return false;
    }
    // The planner learns the new tables' sizes now rather than later.
    for (const QString& table : uploadOrder() + QStringList{QStringLiteral("客户号码")})
        q.exec(QStringLiteral("analyze ") + quotedIdentifier(table));
    return true;
}

}  // namespace serverupload
