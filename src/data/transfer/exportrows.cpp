#include "data/transfer/exportrows.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>
#include <memory>
#include <optional>

#include "data/engine/dberror.h"
#include "data/engine/engine.h"
#include "data/engine/sqliterows.h"
#include "data/transfer/rowhandoff.h"
#include "rules/errors/diskfull.h"
#include "rules/formats/exportfile.h"
#include "rules/transfer/spareprocessor.h"

ExportRows::ExportRows(const QSqlDatabase& db, const QString& sql) : q_(db)
{
    if (SqliteTextInsert::canRunOn(db)) {
        QSqlDatabase handle = db;
        try {
            raw_ = std::make_unique<SqliteTextRows>(handle, sql);
        } catch (const DbError& e) {
            throw DbError(QStringLiteral("读不出列表的记录：") + e.message());
        }
        return;
    }
    q_.setForwardOnly(true);
    if (!q_.exec(sql))
        throw DbError(QStringLiteral("读不出列表的记录：") + q_.lastError().text());
}

ExportRows::~ExportRows() = default;

bool ExportRows::selectColumns(const QStringList& names, QString* missing)
{
    columns_.clear();
    QStringList present;
    if (raw_) {
        for (int i = 0; i < raw_->columnCount(); ++i)
            present << raw_->columnName(i);
    } else {
        const QSqlRecord rec = q_.record();
        for (int i = 0; i < rec.count(); ++i)
            present << rec.fieldName(i);
    }
    for (const QString& n : names) {
        int found = -1;
        for (int i = 0; i < present.size(); ++i)
            if (present[i].compare(n, Qt::CaseInsensitive) == 0) {
                found = i;
                break;
            }
        if (found < 0) {
            if (missing)
                *missing = n;
            return false;
        }
        columns_.append(found);
    }
    return true;
}

bool ExportRows::stepRaw()
{
    bool more = false;
    try {
        more = raw_->next();
    } catch (const DbError& e) {
        done_ = true;
        throw DbError(QStringLiteral("读列表的记录时出错：") + e.message());
    }
    if (!more)
        done_ = true;
    return more;
}

bool ExportRows::nextUtf8(std::vector<QByteArrayView>* cells)
{
    if (done_ || !stepRaw())
        return false;
    cells->resize(size_t(columns_.size()));
    numbers_.resize(size_t(columns_.size()));
    for (qsizetype c = 0; c < columns_.size(); ++c) {
        const int column = columns_[c];
        if (raw_->isReal(column)) {
            numbers_[size_t(c)] = QVariant(raw_->real(column)).toString().toUtf8();
            (*cells)[size_t(c)] = numbers_[size_t(c)];
            continue;
        }
        const char* text = raw_->text(column);
        (*cells)[size_t(c)] = text ? QByteArrayView(text, raw_->size(column)) : QByteArrayView();
    }
    ++taken_;
    return true;
}

bool ExportRows::next(QStringList* values)
{
    if (done_)
        return false;
    if (raw_) {
        if (!stepRaw())
            return false;
        values->resize(columns_.size());
        for (qsizetype c = 0; c < columns_.size(); ++c) {
            const int column = columns_[c];
            // A number with a fraction is written as Qt writes it, as
            // through Qt's values (asked before the text, which turns it
            // into one).
            if (raw_->isReal(column)) {
                (*values)[c] = QVariant(raw_->real(column)).toString();
                continue;
            }
            // Decoded into the text's own memory when it has room (rows
            // come back from the writing to be filled again).
            QString& value = (*values)[c];
            const char* text = raw_->text(column);
            const int bytes = text ? raw_->size(column) : 0;
            value.resize(bytes);
            if (bytes > 0) {
                const QChar* end = utf8_.appendToBuffer(value.data(), QByteArrayView(text, bytes));
                value.truncate(end - value.constData());
            }
        }
        ++taken_;
        return true;
    }
    if (!q_.next()) {
        done_ = true;
        if (q_.lastError().isValid())
            throw DbError(QStringLiteral("读列表的记录时出错：") + q_.lastError().text());
        return false;
    }
    values->resize(columns_.size());
    for (qsizetype c = 0; c < columns_.size(); ++c) {
        const QVariant v = q_.value(columns_[c]);
        (*values)[c] = v.isNull() ? QString() : v.toString();
    }
    ++taken_;
    return true;
}

// ---------------------------------------------------------------------------

qint64 ExportReport::cutTotal() const
{
    qint64 n = 0;
    for (const auto& c : cut)
        n += c.second;
    return n;
}

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

qint64 scalar(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql) || !q.next())
        throw DbError(QStringLiteral("读不出列表的记录：") + q.lastError().text());
    return q.value(0).toLongLong();
}

// Temporaries written so far; whatever is still listed when the export
// ends early is removed.
struct Temporaries {
    QList<QPair<QString, QString>> files;  // temporary, target
    ~Temporaries()
    {
        for (const auto& f : std::as_const(files))
            QFile::remove(f.first);
    }
};

// Ends the read transaction however the export ends.
struct ReadTransaction {
    QSqlDatabase db;
    bool open = false;
    explicit ReadTransaction(const QSqlDatabase& d) : db(d)
    {
        if (!db.transaction())
            throw DbError(QStringLiteral("不能开始读列表：") + db.lastError().text());
        open = true;
    }
    void end()
    {
        open = false;
        if (!db.commit())
            throw DbError(QStringLiteral("读列表的事务没有正常结束：") + db.lastError().text());
    }
    ~ReadTransaction()
    {
        if (open)
            db.rollback();  // a read only: nothing to keep or lose
    }
};

// The rows going into the workbooks one after another.
struct WorkbookRun {
    ExportRows& rows;
    const ExportPlan& plan;
    const ExportSteps& steps;
    qint64 total = 0;
    qint64 per = 0;  // records per workbook; 0: all in one
    exportfile::Format format;
    int limit = 0;  // characters a cell takes at most; 0: no limit
    QVector<qint64> cut;
    qint64 done = 0;
    QStringList values;
    std::vector<QByteArrayView> cells;
    std::vector<QByteArray> cutCells;

    // The next workbook into `tmp`; *n gets the records it took.  The rows
    // are read here and written here or on a thread of their own.
    bool write(const QString& tmp, qint64* n, QString* error)
    {
        const std::unique_ptr<exportfile::TableWriter> writer = exportfile::makeWriter(format);
        if (!writer->open(tmp, error))
            return false;
        writer->beginSheet(plan.sheetName, plan.columns);
        // Written on a thread of their own when the machine has a processor
        // for it; on a busy one the handing over would cost more than it
        // saves.
        const bool spare = writer->worthAThread() && spareprocessor::available();
        if (!spare && writer->takesUtf8() && rows.readsUtf8())
            writeUtf8(*writer, n);
        else
            writeTexts(*writer, n, spare);
        return writer->finish(error);
    }

    void writeTexts(exportfile::TableWriter& writer, qint64* n, bool beside)
    {
        std::optional<RowHandoff> handoff;
        if (beside)
            handoff.emplace([&writer](const QStringList& row) { writer.addRow(row); });
        while ((per == 0 || *n < per) && rows.next(&values)) {
            if (limit > 0)
                for (qsizetype c = 0; c < values.size(); ++c)
                    if (values[c].size() > limit) {
                        values[c] = exportfile::cutText(values[c], limit);
                        ++cut[c];
                    }
            if (handoff)
                handoff->add(values);
            else
                writer.addRow(values);
            ++*n;
            counted();
        }
        if (handoff)
            handoff->finish();
    }

    // The database's texts go into the file as they are, without being
    // decoded into QString and encoded back cell by cell.
    void writeUtf8(exportfile::TableWriter& writer, qint64* n)
    {
        while ((per == 0 || *n < per) && rows.nextUtf8(&cells)) {
            if (limit > 0)
                for (size_t c = 0; c < cells.size(); ++c)
                    if (cells[c].size() > limit) {  // never fewer bytes than characters
                        const QString text = QString::fromUtf8(cells[c]);
                        if (text.size() > limit) {
                            cutCells.resize(cells.size());
                            cutCells[c] = exportfile::cutText(text, limit).toUtf8();
                            cells[c] = cutCells[c];
                            ++cut[qsizetype(c)];
                        }
                    }
            writer.addUtf8Row(cells.data(), qsizetype(cells.size()));
            ++*n;
            counted();
        }
    }

    void counted()
    {
        if ((++done & 255) == 0) {
            steps.checkStop();
            steps.progress(done, total);
        }
    }

    // The records meant for a workbook that failed are passed over, so that
    // the next one holds its own.
    void skip(qint64 n)
    {
        while (n < per && rows.next(&values)) {
            ++n;
            if ((++done & 255) == 0)
                steps.checkStop();
        }
    }
};

}  // namespace

ExportReport writeWorkbooks(const QSqlDatabase& db, const ExportPlan& plan, const ExportSteps& steps)
{
    ExportReport report;
    ReadTransaction read(db);
    // The first read fixes the transaction's view of the database: from here
    // on nothing the window writes reaches the export.
    QString why;
    if (!DatabaseEngine::of(db).fixView(db, &why))
        throw DbError(QStringLiteral("读不出列表的记录：") + why);
    steps.viewTaken();

    const qint64 total = scalar(db, QStringLiteral("select count(*) from (") + plan.statement + QStringLiteral(") as 列表"));
    report.records = total;
    ExportRows rows(db, plan.statement);
    QString missing;
    if (!rows.selectColumns(plan.columns, &missing))
        throw AppError(QStringLiteral("导出字段“") + missing + QStringLiteral("”不在列表的列中，没有写任何文件。"));

    const exportfile::Format format = exportfile::formatOf(plan.fileName);
    WorkbookRun run{rows, plan, steps, total, plan.perWorkbook > 0 ? plan.perWorkbook : 0, format,
                    exportfile::cellTextLimit(format), QVector<qint64>(plan.columns.size(), 0)};
    const qint64 count = run.per == 0 ? 1 : (total + run.per - 1) / run.per;
    Temporaries temporaries;
    steps.progress(0, total);
    for (qint64 k = 1; k <= count; ++k) {
        steps.checkStop();
        const QString name = run.per == 0 ? plan.fileName : exportfile::numberedName(plan.fileName, k);
        if (count > 1)
            steps.text(QStringLiteral("正在导出第 ") + QString::number(k) + QStringLiteral(" 个文件（共 ") +
                       QString::number(count) + QStringLiteral(" 个）：") + shown(name));
        QString error;
        qint64 n = 0;
        bool ok = false;
        const QString tmp = exportfile::temporaryBeside(name, &error);
        if (!tmp.isEmpty()) {
            temporaries.files.append({tmp, name});
            ok = run.write(tmp, &n, &error);
            if (!ok) {
                QFile::remove(tmp);
                temporaries.files.removeLast();
                // The writers name the file they were given: the operator
                // knows it by the name chosen.
                error.replace(tmp, shown(name));
            }
        }
        if (!ok) {
            report.failures << error;
            run.skip(n);
        }
        steps.progress(run.done, total);
    }
    read.end();

    // Everything is written: the workbooks take their names.
    for (const auto& f : std::as_const(temporaries.files)) {
        QString error;
        if (exportfile::moveIntoPlace(f.first, f.second, &error))
            report.written << f.second;
        else
            report.failures << error;
    }
    temporaries.files.clear();
    for (qsizetype c = 0; c < run.cut.size(); ++c)
        if (run.cut[c] > 0)
            report.cut.append({plan.columns[c], run.cut[c]});
    return report;
}

QString exportFailureText(const ExportReport& report)
{
    if (report.failures.isEmpty())
        return QString();
    // A full disk is no file held by another program: said as what it is.
    const bool full = !report.failures.filter(diskFullText()).isEmpty();
    return (full ? QStringLiteral("导出没有完成：") + diskFullText() : exportfile::failureHeadline()) +
           QLatin1Char('\n') + report.failures.join(QLatin1Char('\n'));
}

QString exportCutText(const ExportReport& report)
{
    if (report.cut.isEmpty())
        return QString();
    QStringList parts;
    for (const auto& c : report.cut)
        parts << QStringLiteral("“%1”%2 个").arg(c.first, QString::number(c.second));
    return QStringLiteral("有 %1 个文字超过了 Excel 一个单元格最多能放的 %2 个字符，只导出了前 %2 个字符（%3）。")
        .arg(QString::number(report.cutTotal()), QString::number(exportfile::kCellTextLimit),
             parts.join(QStringLiteral("，")));
}
