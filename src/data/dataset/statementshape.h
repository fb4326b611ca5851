#pragma once
// What a data set reads: the statement as run, the same without its order,
// the table it stores into and the column it is ordered by, as the
// statement's parts (query.h) or its writer say.

#include <QString>

#include "data/dataset/keypaging.h"
#include "rules/statements/query.h"

struct StatementShape {
    BoundStatement whole;
    BoundStatement base;  // without its order (when it has one)
    QString table;
    QString orderColumn;
    KeyPaging::Order order = KeyPaging::Order::None;
    // Every row of the table, each once: the list is as long as the table.
    bool wholeTable = false;
};

StatementShape shapeOf(const Query& query);
StatementShape shapeOf(const WrittenStatement& statement);
