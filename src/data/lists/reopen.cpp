#include "data/lists/reopen.h"

#include "rules/app/errorreport.h"
#include "data/app/dataset.h"

void reopenWith(DataSet& ds, const QString& sql)
{
    // The data set's own reopen; a store that fails has been reported there
    // and ends the search silently.
    if (!ds.reopen(sql))
        throw AbortOperation();
}
