// Access databases (.mdb of Jet 3/4, .accdb of Access 2007 and later) read
// through libmdb.  libmdb only reads; user tables are listed, system tables
// are not.
#include <glib.h>
#include <mdbtools.h>

#include <QFile>
#include <QStringList>
#include <QVector>
#include <vector>

#include "rules/formats/readers.h"

namespace {

// Bound text buffers: libmdb copies a memo into its buffer up to this size.
constexpr size_t kBindSize = 256 * 1024;

QString damaged(const QString& path)
{
    return QStringLiteral("数据库文件 %1 已损坏或不完整，不能读取。").arg(readers::shownName(path));
}

class AccessReader : public TableReader {
public:
    AccessReader(const QString& path, MdbHandle* mdb) : path_(path), mdb_(mdb)
    {
        mdb_set_bind_size(mdb_, kBindSize);
        mdb_set_boolean_fmt_numbers(mdb_);
        mdb_set_date_fmt(mdb_, "%Y-%m-%d %H:%M:%S");
    }
    ~AccessReader() override { mdb_close(mdb_); }

    bool readCatalog(QString* error)
    {
        if (!mdb_read_catalog(mdb_, MDB_TABLE)) {
            *error = damaged(path_);
            return false;
        }
        for (guint i = 0; i < mdb_->num_catalog; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
            if (e->object_type != MDB_TABLE || !mdb_is_user_table(e))
                continue;
            tables_ << QString::fromUtf8(e->object_name);
            entries_.push_back(e);
        }
        return true;
    }

    QStringList tableNames() override { return tables_; }

    QStringList columnNames(const QString& table) override
    {
        QStringList names;
        Table t(this, table);
        if (!t.def)
            return names;
        for (guint c = 0; c < t.def->num_cols; ++c)
            names << QString::fromUtf8(column(t.def, c)->name);
        return names;
    }

    qint64 rowCount(const QString& table) override
    {
        Table t(this, table);
        return t.def ? qint64(t.def->num_rows) : -1;
    }

    // A column's value from libmdb's text of it.
    static QVariant valueOf(int type, const QByteArray& bytes)
    {
        switch (type) {
        case MDB_BOOL:
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
            return bytes.toLongLong();
        case MDB_MONEY:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_NUMERIC:
            return bytes.toDouble();
        case MDB_DATETIME:
            return QDateTime::fromString(QString::fromLatin1(bytes), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case MDB_OLE:
        case MDB_BINARY:
        case MDB_COMPLEX:
            return {};  // pictures and attachments are not data to import
        default:
            return QString::fromUtf8(bytes);
        }
    }

    bool readRows(const QString& table,
                  const std::function<bool(const QVariantList&)>& row) override
    {
        Table t(this, table);
        if (!t.def)
            return false;
        const int n = int(t.def->num_cols);
        std::vector<QByteArray> buffers(n);
        std::vector<int> lengths(n, 0);
        std::vector<int> types(n);
        bool hasDates = false;
        for (int c = 0; c < n; ++c) {
            buffers[c].resize(qsizetype(kBindSize) + 1);
            buffers[c].fill('\0');
            types[c] = column(t.def, c)->col_type;
            hasDates = hasDates || types[c] == MDB_DATETIME;
            mdb_bind_column(t.def, c + 1, buffers[c].data(), &lengths[c]);
        }
        std::vector<MdbField> fields(n + 1);
        mdb_rewind_table(t.def);
        const qint64 expected = qint64(t.def->num_rows);
        qint64 count = 0;
        QVariantList values;
        while (mdb_fetch_row(t.def)) {
            if (++count > expected) {
                // More rows than the table says it has: the pages are damaged.
                error_ = damaged(path_);
                return false;
            }
            // Dates come out of the row itself: libmdb's own text of a date
            // is wrong before 1900 and in the year 9999.
            bool cracked = false;
            if (hasDates) {
                int start = 0;
                size_t size = 0;
                if (mdb_find_row(mdb_, int(t.def->cur_row) - 1, &start, &size) == 0)
                    cracked = mdb_crack_row(t.def, start, size, fields.data()) == n;
            }
            values.clear();
            values.reserve(n);
            for (int c = 0; c < n; ++c) {
                const char* text = buffers[c].constData();
                const int len = lengths[c];
                if (types[c] == MDB_DATETIME && cracked) {
                    const MdbField& f = fields[c];
                    if (f.is_null || f.siz < 8)
                        values << QVariant();
                    else
                        values << readers::fromSerialDate(mdb_get_double(f.value, 0));
                    continue;
                }
                if (len <= 0) {
                    values << QVariant();
                    continue;
                }
                values << valueOf(types[c], QByteArray(text, len));
            }
            if (!row(values))
                return true;
        }
        if (count < expected) {
            // Pages of the table are missing (a file cut short).
            error_ = damaged(path_);
            return false;
        }
        return true;
    }

    QString error() const override { return error_; }

    bool appendRows(const QString&, const QList<QVariantList>&, QString* error) override
    {
        *error = QStringLiteral("Access数据库文件只能读取，本软件不能向其中写入数据。") + QChar(13) +
                 QStringLiteral("文件 %1 没有任何改动。").arg(readers::shownName(path_));
        return false;
    }

private:
    static MdbColumn* column(MdbTableDef* t, guint i)
    {
        return static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
    }

    // One table definition read for an operation and freed after it.
    struct Table {
        Table(AccessReader* r, const QString& name)
        {
            const qsizetype i = r->tables_.indexOf(name);
            if (i < 0) {
                r->error_ = QStringLiteral("数据库中没有表“%1”！").arg(name);
                return;
            }
            def = mdb_read_table(r->entries_[size_t(i)]);
            if (def && !mdb_read_columns(def)) {
                mdb_free_tabledef(def);
                def = nullptr;
            }
            if (!def)
                r->error_ = damaged(r->path_);
        }
        ~Table()
        {
            if (def)
                mdb_free_tabledef(def);
        }
        MdbTableDef* def = nullptr;
    };

    QString path_;
    MdbHandle* mdb_;
    QStringList tables_;
    std::vector<MdbCatalogEntry*> entries_;
    QString error_;
};

}  // namespace

namespace readers {

std::unique_ptr<TableReader> openAccess(const QString& path, QString* error)
{
    // The header names the engine; anything else is not a database at all.
    QFile f(path);
    QByteArray head;
    qint64 size = 0;
    if (f.open(QIODevice::ReadOnly)) {
        head = f.read(4096);
        size = f.size();
    }
    const bool jet = head.mid(4, 15) == "Standard Jet DB";
    const bool ace = head.mid(4, 15) == "Standard ACE DB";
    if (!jet && !ace) {
        *error = QStringLiteral("文件 %1 不是Access数据库文件，不能读取。").arg(shownName(path));
        return nullptr;
    }
    // Jet 3 pages are 2 KB, later ones 4 KB; a file cut off in a page is damaged.
    const int version = head.size() > 0x14 ? uchar(head[0x14]) : 0;
    const qint64 page = version == 0 ? 2048 : 4096;
    if (size < 2 * page || size % page != 0) {
        *error = damaged(path);
        return nullptr;
    }
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb) {
        *error = damaged(path);
        return nullptr;
    }
    auto reader = std::make_unique<AccessReader>(path, mdb);
    if (!reader->readCatalog(error))
        return nullptr;
    return reader;
}

}  // namespace readers
