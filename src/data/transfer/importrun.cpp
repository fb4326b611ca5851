#include "data/transfer/importrun.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVector>
#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "rules/statements/statementtext.h"
#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/engine/sqliterows.h"
#include "data/connection/rowcounts.h"
#include "data/numbers/numberindex.h"
#include "rules/transfer/fieldmapping.h"
#include "data/transfer/importsource.h"
#include "rules/formats/tablereader.h"
#include "rules/statements/tablenames.h"

namespace {

QString sqlError(const QSqlQuery& q)
{
    const QSqlError e = q.lastError();
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

QString nothingImported() { return QStringLiteral("没有导入任何数据。"); }

// An ID as the file gives it, as a whole number; false when it is none.
bool wholeNumber(const QString& text, qint64* id)
{
    bool ok = false;
    *id = text.trimmed().toLongLong(&ok);
    return ok;
}

// Progress is told once per this many rows (and at the end).
constexpr qint64 kProgressRows = 256;

// One prepared insert: through SQLite's own interface on a database file,
// through Qt's elsewhere.
class Insert {
public:
    Insert(const QSqlDatabase& db, const QString& sql)
    {
        if (SqliteTextInsert::canRunOn(db)) {
            raw_ = std::make_unique<SqliteTextInsert>(db, sql);
            ok_ = raw_->isValid();
        } else {
            query_.emplace(db);
            ok_ = query_->prepare(sql);
        }
    }
    bool isValid() const { return ok_; }
    void bind(int k, const QString& text)
    {
        if (raw_)
            raw_->bind(k, text);
        else
            query_->bindValue(k, text);
    }
    bool exec() { return raw_ ? raw_->exec() : query_->exec(); }
    QString error() const { return raw_ ? raw_->lastError() : sqlError(*query_); }

private:
    std::unique_ptr<SqliteTextInsert> raw_;
    std::optional<QSqlQuery> query_;
    bool ok_ = false;
};

// One import: the rows of the file into the target table, in one
// transaction, one prepared insert per set of fields a row fills.
class ImportRun {
public:
    ImportRun(QSqlDatabase db, const ImportMapping& m, RunOutcome& out) : db_(db), m_(m), out_(out)
    {
        values_.resize(m.standard.size());
        filled_.resize(m.standard.size());
    }

    // Per source column: the standard field it goes to, or -1; fields that
    // the table does not really have (a search may show computed columns)
    // are left out.  The rows bring keys of their own when a column goes to ID.
    void mapColumns()
    {
        QStringList tableFields;
        const QSqlRecord rec = db_.record(m_.target);
        for (int i = 0; i < rec.count(); ++i)
            tableFields << rec.fieldName(i).toLower();
        const QStringList& standard = m_.standard;
        target_ = QVector<int>(int(m_.numbers.size()), -1);
        for (int i = 0; i < target_.size(); ++i) {
            const int n = mapping::targetOf(m_.numbers[i]);
            if (n >= 0 && n < standard.size() && tableFields.contains(standard[n].toLower()))
                target_[i] = n;
        }
        for (int n : std::as_const(target_))
            if (n >= 0 && standard[n].compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0)
                idField_ = n;
    }

    bool rowsBringKeys() const { return idField_ >= 0; }

    // False with out.error when the existing keys cannot be looked up.
    bool prepareKeyCheck()
    {
        idTaken_ = QSqlQuery(db_);
        const QString following = DatabaseEngine::of(db_).keyFollowing();
        if (idField_ >= 0 && !following.isEmpty()) {
            keyFollows_.emplace(db_);
            if (!keyFollows_->prepare(following)) {
                idTaken_ = *keyFollows_;
                return false;
            }
        }
        return idField_ < 0 ||
               idTaken_.prepare(QStringLiteral("select 1 from ") + quotedIdentifier(m_.target) +
                                QStringLiteral(" where ") + quotedIdentifier(m_.standard[idField_]) +
                                QStringLiteral(" = ?"));
    }
    QString keyCheckError() const { return sqlError(idTaken_); }

    // One row of the file; false to stop reading.
    bool take(const QVariantList& row)
    {
        const bool any = fill(row);
        const qint64 rowNumber = out_.count + 1;
        bool store = any;
        if (idField_ >= 0 && filled_[idField_] && !checkKey(rowNumber, &store))
            return false;
        if (store && !storeRow(rowNumber))
            return false;
        ++out_.count;
        return true;
    }

    // False with *error when the server's keys could not be moved past the
    // rows' own.
    bool end(QString* error)
    {
        statements_.clear();
        idTaken_.finish();
        const bool ok = followKeys();
        if (!ok)
            *error = sqlError(*keyFollows_);
        keyFollows_.reset();
        return ok;
    }

    bool storeFailed = false;
    bool stopped = false;  // an ID already there stopped the import

private:
    // The row's values by standard field; false when it fills none.
    bool fill(const QVariantList& row)
    {
        values_.fill(QString());
        filled_.fill(false);
        bool any = false;
        for (int i = 0; i < target_.size() && i < row.size(); ++i) {
            if (target_[i] < 0)
                continue;
            const QString text = mapping::valueText(row[i]);
            if (text.isEmpty())
                continue;  // the field keeps its default
            values_[target_[i]] = text;
            filled_[target_[i]] = true;
            any = true;
        }
        return any;
    }

    bool fail(const QString& why)
    {
        out_.error = why;
        storeFailed = true;
        return false;
    }

    // The row's own key: a whole number, and what to do when it is taken.
    bool checkKey(qint64 rowNumber, bool* store)
    {
        qint64 id = 0;
        if (!wholeNumber(values_[idField_], &id))
            return fail(QStringLiteral("第%1行数据不能保存：ID“%2”不是整数，不能作为客户的记录号。")
                            .arg(QString::number(rowNumber), values_[idField_]));
        idTaken_.bindValue(0, id);
        if (!idTaken_.exec())
            return fail(QStringLiteral("第%1行数据不能保存：%2").arg(QString::number(rowNumber), sqlError(idTaken_)));
        const bool taken = idTaken_.next();
        idTaken_.finish();
        if (!taken)
            return true;
        switch (m_.existingIds) {
        case ExistingIds::Stop:
            out_.existingId = values_[idField_];
            out_.existingRow = rowNumber;
            stopped = true;
            return false;
        case ExistingIds::Skip:
            ++out_.skipped;
            *store = false;
            break;
        case ExistingIds::AsNew:
            ++out_.renumbered;
            filled_[idField_] = false;
            break;
        }
        return true;
    }

    bool storeRow(qint64 rowNumber)
    {
        const QStringList& standard = m_.standard;
        QByteArray key(standard.size(), '0');
        for (int f = 0; f < standard.size(); ++f)
            if (filled_[f])
                key[f] = '1';
        auto it = statements_.find(key);
        if (it == statements_.end()) {
            QStringList cols, marks;
            for (int f = 0; f < standard.size(); ++f)
                if (filled_[f]) {
                    cols << quotedIdentifier(standard[f]);
                    marks << QStringLiteral("?");
                }
            const QString table = quotedIdentifier(m_.target);
            auto insert = std::make_unique<Insert>(
                db_, cols.isEmpty() ? QStringLiteral("insert into ") + table + QStringLiteral(" default values")
                                    : QStringLiteral("insert into ") + table + QStringLiteral(" (") +
                                          cols.join(QLatin1Char(',')) + QStringLiteral(") values (") +
                                          marks.join(QLatin1Char(',')) + QLatin1Char(')'));
            if (!insert->isValid())
                return fail(insert->error());
            it = statements_.emplace(key, std::move(insert)).first;
        }
        // A key the table gives must not meet one a row brought before.
        if (idField_ >= 0 && !filled_[idField_] && !followKeys())
            return fail(QStringLiteral("第%1行数据不能保存：%2").arg(QString::number(rowNumber), sqlError(*keyFollows_)));
        Insert& q = *it->second;
        int k = 0;
        for (int f = 0; f < standard.size(); ++f)
            if (filled_[f])
                q.bind(k++, values_[f]);
        if (!q.exec())
            return fail(QStringLiteral("第%1行数据不能保存：%2").arg(QString::number(rowNumber), q.error()));
        if (keyFollows_ && filled_[idField_])
            keyToFollow_ = std::max(keyToFollow_, values_[idField_].trimmed().toLongLong());
        ++out_.stored;
        return true;
    }

    QSqlDatabase db_;
    const ImportMapping& m_;
    RunOutcome& out_;
    QVector<int> target_;
    int idField_ = -1;
    QSqlQuery idTaken_;
    // The server's keys move past the rows' own: once before a row without
    // a key, and at the end, past the highest key stored since.
    std::optional<QSqlQuery> keyFollows_;
    qint64 keyToFollow_ = 0;
    bool followKeys()
    {
        if (!keyFollows_ || keyToFollow_ == 0)
            return true;
        keyFollows_->bindValue(0, keyToFollow_);
        keyFollows_->bindValue(1, quotedIdentifier(m_.target));
        const bool ok = keyFollows_->exec();
        keyFollows_->finish();
        if (ok)
            keyToFollow_ = 0;
        return ok;
    }
    std::map<QByteArray, std::unique_ptr<Insert>> statements_;
    QVector<QString> values_;
    QVector<bool> filled_;
};

// The caller lookup's index and the table's kept row count take the new
// rows together at the end (the rows must not bring keys of their own).
struct ManyRows {
    std::optional<numberindex::BulkAppend> index;
    rowcounts::BulkStore count;
    ManyRows(const QSqlDatabase& db, const QString& table) : count(db, table)
    {
        if (table == tables::customers())
            index.emplace(db);
    }
    void finish()
    {
        if (index)
            index->finish();
        count.finish();
    }
};

}  // namespace

RunOutcome runImport(QSqlDatabase db, const ImportSource& source, const ImportMapping& m,
                     const std::function<bool()>& stopRequested, const RunProgress& progress)
{
    RunOutcome out;
    if (!source.reader) {
        out.error = QStringLiteral("请先选择表文件！");
        return out;
    }
    ImportRun run(db, m, out);
    run.mapColumns();
    if (!db.transaction()) {
        out.error = QStringLiteral("数据库正忙或不能写入，不能开始导入：") + db.lastError().text();
        return out;
    }
    auto abandon = [&](const QString& why) {
        db.rollback();
        out.error = why;
        out.stored = 0;
        out.skipped = 0;
        out.renumbered = 0;
        return out;
    };
    std::optional<ManyRows> bulk;
    if (!run.rowsBringKeys()) {
        try {
            bulk.emplace(db, m.target);
        } catch (const std::exception& e) {
            return abandon(QString::fromUtf8(e.what()));
        }
    }
    if (!run.prepareKeyCheck())
        return abandon(run.keyCheckError());

    const bool readOk = source.reader->readRows(source.table, [&](const QVariantList& row) {
        if (stopRequested && stopRequested()) {
            out.cancelled = true;
            return false;
        }
        if (!run.take(row))
            return false;
        if (progress && out.count % kProgressRows == 0)
            progress(out.count, source.rows);
        return true;
    });
    if (progress && out.count % kProgressRows != 0)
        progress(out.count, source.rows);
    const QString readError = readOk ? QString() : source.reader->error();
    QString keyError;
    const bool keysFollow = run.end(&keyError);

    if (!readOk) {
        // Nothing half-read is kept.
        out.count = 0;
        return abandon(readError + QChar(13) + nothingImported());
    }
    if (out.cancelled || run.stopped) {
        out.count = 0;
        abandon(QString());
        return out;
    }
    if (!keysFollow) {
        out.count = 0;
        return abandon(keyError + QChar(13) + nothingImported());
    }
    try {
        if (bulk)
            bulk->finish();
    } catch (const std::exception& e) {
        out.count = 0;
        return abandon(QString::fromUtf8(e.what()) + QChar(13) + nothingImported());
    }
    if (!db.commit()) {
        out.count = 0;
        return abandon(QStringLiteral("数据库正忙或不能写入，导入的数据没有保存：") + db.lastError().text());
    }
    if (run.storeFailed) {
        out.error += QChar(13) + QStringLiteral("此前的%1条数据已经导入。").arg(out.stored);
        return out;
    }
    out.finished = true;
    return out;
}

RunOutcome importRows(Connection& connection, const QString& table, ImportDataSet& source,
                      const QStringList& standard, const QStringList& numbers, const RunProgress& progress)
{
    connection.finishCounts();
    ImportMapping m;
    m.target = table;
    m.standard = standard;
    m.numbers = numbers;
    ImportSource src;
    if (source.isActive() && source.connection())
        src = ImportSource{source.connection()->reader(), source.tableName(), source.recordCount()};
    return runImport(connection.database(), src, m, {}, progress);
}

RunOutcome appendCustomers(QSqlDatabase db, const QString& statement, const ImportSource& target,
                           const QStringList& standard, const QStringList& numbers,
                           const std::function<bool()>& stopRequested, const RunProgress& progress)
{
    RunOutcome out;
    if (!target.reader) {
        out.error = QStringLiteral("请先选择表文件！");
        return out;
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(statement)) {
        out.error = sqlError(q);
        return out;
    }
    // Per column of the table: the customer field it gets, or -1.
    const QSqlRecord rec = q.record();
    const int columns = int(numbers.size());
    QVector<int> field(columns, -1);
    for (int i = 0; i < columns; ++i) {
        const int n = mapping::targetOf(numbers[i]);
        if (n < 0 || n >= standard.size())
            continue;
        for (int f = 0; f < rec.count() && field[i] < 0; ++f)
            if (rec.fieldName(f).compare(standard[n], Qt::CaseInsensitive) == 0)
                field[i] = f;
    }
    QList<QVariantList> rows;
    while (q.next()) {
        if (stopRequested && stopRequested()) {
            out.cancelled = true;
            out.count = 0;
            return out;
        }
        QVariantList row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row << (field[i] >= 0 ? QVariant(q.value(field[i]).toString()) : QVariant());
        rows << row;
        ++out.count;
        if (progress)
            progress(out.count, target.rows);
    }
    if (q.lastError().isValid()) {
        out.error = sqlError(q);
        out.count = 0;
        return out;
    }
    q.finish();
    if (!rows.isEmpty() && !target.reader->appendRows(target.table, rows, &out.error)) {
        out.count = 0;
        return out;
    }
    out.finished = true;
    return out;
}
