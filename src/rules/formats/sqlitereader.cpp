// Databases of this program itself (a backup, another desk's data\web.mdb):
// SQLite files under the .mdb extension, read through SQLite, read-only.
// Their tables and views are listed as an Access file's are; SQLite's own
// tables and the caller lookup's index are not.
#include <sqlite3.h>

#include <QFile>
#include <QStringList>

#include "rules/statements/statementtext.h"
#include "rules/formats/readers.h"

namespace {

QString damaged(const QString& path)
{
    return QStringLiteral("数据库文件 %1 已损坏或不完整，不能读取。").arg(readers::shownName(path));
}

// One prepared statement, finalized when it goes.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql)
    {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st_, nullptr) != SQLITE_OK)
            st_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return st_; }
    explicit operator bool() const { return st_ != nullptr; }

private:
    sqlite3_stmt* st_ = nullptr;
};

QString columnText(sqlite3_stmt* st, int c)
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
    return QString::fromUtf8(p, sqlite3_column_bytes(st, c));
}

class SqliteReader : public TableReader {
public:
    SqliteReader(const QString& path, sqlite3* db) : path_(path), db_(db) {}
    ~SqliteReader() override { sqlite3_close_v2(db_); }

    bool init(QString* error)
    {
        // Tables and views of the file in the order they were made.
        Statement list(db_, QStringLiteral(
                                "select m.name from sqlite_master m join pragma_table_list t "
                                "on t.name = m.name and t.schema = 'main' "
                                "where t.type in ('table', 'view') and m.name not like 'sqlite\\_%' escape '\\' "
                                "order by m.rowid"));
        if (!list) {
            *error = damaged(path_);
            return false;
        }
        int rc;
        while ((rc = sqlite3_step(list.get())) == SQLITE_ROW)
            tables_ << columnText(list.get(), 0);
        if (rc != SQLITE_DONE) {
            *error = damaged(path_);
            return false;
        }
        return true;
    }

    QStringList tableNames() override { return tables_; }

    QStringList columnNames(const QString& table) override
    {
        QStringList names;
        if (!has(table))
            return names;
        Statement st(db_, QStringLiteral("select * from ") + quotedIdentifier(table));
        if (!st) {
            error_ = damaged(path_);
            return names;
        }
        for (int c = 0; c < sqlite3_column_count(st.get()); ++c)
            names << QString::fromUtf8(sqlite3_column_name(st.get(), c));
        return names;
    }

    qint64 rowCount(const QString& table) override
    {
        if (!has(table))
            return -1;
        Statement st(db_, QStringLiteral("select count(*) from ") + quotedIdentifier(table));
        if (!st || sqlite3_step(st.get()) != SQLITE_ROW) {
            error_ = damaged(path_);
            return -1;
        }
        return sqlite3_column_int64(st.get(), 0);
    }

    bool readRows(const QString& table,
                  const std::function<bool(const QVariantList&)>& row) override
    {
        if (!has(table))
            return false;
        Statement st(db_, QStringLiteral("select * from ") + quotedIdentifier(table));
        if (!st) {
            error_ = damaged(path_);
            return false;
        }
        const int n = sqlite3_column_count(st.get());
        QVariantList values;
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            values.clear();
            values.reserve(n);
            for (int c = 0; c < n; ++c) {
                switch (sqlite3_column_type(st.get(), c)) {
                case SQLITE_INTEGER:
                    values << QVariant(qint64(sqlite3_column_int64(st.get(), c)));
                    break;
                case SQLITE_FLOAT:
                    values << QVariant(sqlite3_column_double(st.get(), c));
                    break;
                case SQLITE_TEXT: {
                    const QString s = columnText(st.get(), c);
                    values << (s.isEmpty() ? QVariant() : QVariant(s));
                    break;
                }
                default:
                    values << QVariant();  // empty, or a picture: not data to import
                }
            }
            if (!row(values))
                return true;
        }
        if (rc != SQLITE_DONE) {
            error_ = rc == SQLITE_BUSY || rc == SQLITE_LOCKED
                         ? QStringLiteral("数据库文件 %1 正被其他程序使用，请稍后再试。").arg(readers::shownName(path_))
                         : damaged(path_);
            return false;
        }
        return true;
    }

    QString error() const override { return error_; }

    bool appendRows(const QString&, const QList<QVariantList>&, QString* error) override
    {
        *error = QStringLiteral("本软件的数据库文件只能从中导入，不能向其中导出数据。") + QChar(13) +
                 QStringLiteral("文件 %1 没有任何改动。").arg(readers::shownName(path_));
        return false;
    }

private:
    bool has(const QString& table)
    {
        if (tables_.contains(table))
            return true;
        error_ = QStringLiteral("数据库中没有表“%1”！").arg(table);
        return false;
    }

    QString path_;
    sqlite3* db_;
    QStringList tables_;
    QString error_;
};

}  // namespace

namespace readers {

bool isSqliteFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(16) == QByteArray("SQLite format 3\0", 16);
}

std::unique_ptr<TableReader> openSqlite(const QString& path, QString* error)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        *error = damaged(path);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    auto reader = std::make_unique<SqliteReader>(path, db);
    if (!reader->init(error))
        return nullptr;
    return reader;
}

}  // namespace readers
