#include "rules/statements/statementtext.h"

#include <QSet>

namespace {

// The keywords of SQLite and PostgreSQL (reserved or not) that a bare name
// could be read as: such a name is always quoted.
const QSet<QString>& keywords()
{
    static const QSet<QString> words = [] {
        const char* const list[] = {
            "abort", "action", "add", "after", "all", "alter", "always", "analyse", "analyze", "and", "any",
            "array", "as", "asc", "asymmetric", "attach", "authorization", "autoincrement", "before", "begin",
            "between", "bigint", "binary", "bit", "boolean", "both", "by", "cascade", "case", "cast", "char",
            "character", "check", "coalesce", "collate", "collation", "column", "commit", "concurrently",
            "conflict", "constraint", "create", "cross", "current", "current_catalog", "current_date",
            "current_role", "current_schema", "current_time", "current_timestamp", "current_user", "database",
            "dec", "decimal", "default", "deferrable", "deferred", "delete", "desc", "detach", "distinct", "do",
            "drop", "each", "else", "end", "escape", "except", "exclude", "exclusive", "exists", "explain",
            "extract", "fail", "false", "fetch", "filter", "first", "float", "following", "for", "foreign",
            "freeze", "from", "full", "generated", "glob", "grant", "greatest", "group", "grouping", "groups",
            "having", "if", "ignore", "ilike", "immediate", "in", "index", "indexed", "initially", "inner",
            "inout", "insert", "instead", "int", "integer", "intersect", "interval", "into", "is", "isnull",
            "join", "key", "last", "lateral", "leading", "least", "left", "like", "limit", "localtime",
            "localtimestamp", "match", "materialized", "national", "natural", "nchar", "no", "none",
            "normalize", "not", "nothing", "notnull", "null", "nullif", "nulls", "numeric", "of", "offset",
            "on", "only", "or", "order", "others", "out", "outer", "over", "overlaps", "overlay", "partition",
            "placing", "plan", "position", "pragma", "preceding", "precision", "primary", "query", "raise",
            "range", "real", "recursive", "references", "regexp", "reindex", "release", "rename", "replace",
            "restrict", "returning", "right", "rollback", "row", "rowid", "rows", "savepoint", "select",
            "session_user", "set", "setof", "similar", "smallint", "some", "substring", "symmetric", "system_user",
            "table", "tablesample", "temp", "temporary", "then", "ties", "time", "timestamp", "to", "trailing",
            "transaction", "treat", "trigger", "trim", "true", "unbounded", "union", "unique", "update", "user",
            "using", "vacuum", "values", "varchar", "variadic", "verbose", "view", "virtual", "when", "where",
            "window", "with", "without"};
        QSet<QString> s;
        for (const char* w : list)
            s.insert(QString::fromLatin1(w));
        return s;
    }();
    return words;
}

bool isPlainWord(const QString& name)
{
    if (name.isEmpty() || name.size() > 63)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool letter = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                            (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('_');
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!letter && !(digit && i > 0))
            return false;
    }
    return !keywords().contains(name.toLower());
}

}  // namespace


QString quotedValue(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\''), QLatin1String("''"));
    return v;
}

QString statementText(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}


QString quotedIdentifier(const QString& name)
{
    if (isPlainWord(name))
        return name;
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}
