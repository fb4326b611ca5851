#include "lists/reopen.h"

#include "db/dataset.h"

void reopenWith(DataSet& ds, const QString& sql)
{
    if (ds.isActive())
        ds.checkBrowseMode();
    ds.close();
    ds.setCommandText(sql);
    ds.open();
}
