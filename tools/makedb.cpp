// makedb <schema.sql> <out.db>
// Creates a new, empty SQLite database from a schema file.  An existing
// database is never touched.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cstdio>

namespace {

void fail(const QString& message)
{
    std::fprintf(stderr, "makedb: %s\n", message.toLocal8Bit().constData());
}

// Splits the schema into statements at ';'.  Quoted text and "--" comments
// are respected, so a ';' inside them does not end a statement.
QStringList statements(const QString& sql)
{
    QStringList result;
    QString current;
    QChar quote;  // the open quote character, null outside quotes
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            current += c;
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('-') && i + 1 < sql.size() && sql.at(i + 1) == QLatin1Char('-')) {
            while (i < sql.size() && sql.at(i) != QLatin1Char('\n'))
                ++i;
            current += QLatin1Char('\n');
        } else if (c == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty())
                result << current.trimmed();
            current.clear();
        } else {
            if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`'))
                quote = c;
            current += c;
        }
    }
    if (!current.trimmed().isEmpty())
        result << current.trimmed();
    return result;
}

// Runs the statements in one transaction; returns an error text or an empty string.
QString build(const QString& dbPath, const QStringList& sql)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("makedb"));
    db.setDatabaseName(dbPath);
    if (!db.open())
        return db.lastError().text();
    QString error;
    db.transaction();
    QSqlQuery query(db);
    for (const QString& statement : sql) {
        if (!query.exec(statement)) {
            error = query.lastError().text() + QStringLiteral("\n  in: ") + statement;
            break;
        }
    }
    if (error.isEmpty() && !db.commit())
        error = db.lastError().text();
    query = QSqlQuery();
    db.close();
    return error;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        fail(QStringLiteral("usage: makedb <schema.sql> <out.db>"));
        return 2;
    }
    const QString schemaPath = args.at(1);
    const QString dbPath = args.at(2);

    if (QFileInfo::exists(dbPath)) {
        fail(QStringLiteral("%1 already exists, not overwriting it").arg(dbPath));
        return 1;
    }
    QFile schema(schemaPath);
    if (!schema.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read %1: %2").arg(schemaPath, schema.errorString()));
        return 1;
    }
    const QStringList sql = statements(QString::fromUtf8(schema.readAll()));
    if (sql.isEmpty()) {
        fail(QStringLiteral("%1 holds no statements").arg(schemaPath));
        return 1;
    }
    QDir().mkpath(QFileInfo(dbPath).absolutePath());

    QString error = build(dbPath, sql);
    QSqlDatabase::removeDatabase(QStringLiteral("makedb"));
    if (!error.isEmpty()) {
        QFile::remove(dbPath);
        fail(QStringLiteral("cannot create %1: %2").arg(dbPath, error));
        return 1;
    }
    return 0;
}
