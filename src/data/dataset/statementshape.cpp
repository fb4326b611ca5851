#include "data/dataset/statementshape.h"

StatementShape shapeOf(const Query& query)
{
    StatementShape sh;
    sh.whole = query.render();
    sh.base = query.unordered().render();
    sh.table = query.table;
    sh.orderColumn = query.orderBy;
    if (!sh.orderColumn.isEmpty())
        sh.order = query.descending ? KeyPaging::Order::Descending : KeyPaging::Order::Ascending;
    sh.wholeTable = query.conditions.isEmpty();
    return sh;
}

StatementShape shapeOf(const WrittenStatement& statement)
{
    StatementShape sh;
    sh.whole.sql = statement.text;
    sh.table = statement.table;
    sh.wholeTable = statement.wholeTable;
    if (!statement.orderColumn.isEmpty()) {
        sh.base.sql = statement.unordered;
        sh.orderColumn = statement.orderColumn;
        sh.order = statement.descending ? KeyPaging::Order::Descending : KeyPaging::Order::Ascending;
    }
    return sh;
}
