#include "data/lists/reopen.h"

#include "rules/errors/errorreport.h"
#include "data/connection/connection.h"
#include "data/dataset/dataset.h"

WrittenStatement wholeList(const QString& table)
{
    WrittenStatement w = WrittenStatement::ordered(QStringLiteral("select * from ") + table,
                                                   QStringLiteral(" order by id desc"), table, QStringLiteral("ID"), true);
    w.wholeTable = true;
    return w;
}

listsearch::TextLike textLikeOf(const DataSet& ds)
{
    Connection* c = ds.connection();
    if (!c)
        return {};
    std::shared_ptr<const DatabaseEngine> engine = c->sharedEngine();
    return [engine](const QString& column, const QString& pattern) { return engine->textLike(column, pattern); };
}

void reopenWith(DataSet& ds, const WrittenStatement& statement)
{
    // The data set's own reopen; a store that fails has been reported there
    // and ends the search silently.
    if (!ds.reopen(statement))
        throw AbortOperation();
}
