#include "data/calls/callcustomer.h"

#include <QList>
#include <QPair>
#include <QVariant>

#include "data/app/datamodule.h"

bool saveCallAsCustomer(DataModule& dm)
{
    DataSet& calls = dm.callTable;
    if (!calls.isActive() || !calls.endPendingEdit() || calls.currentRow() < 0 || !calls.recordReadable())
        return false;
    DataSet& customers = dm.customerTable;
    customers.open();
    // Every column both tables have, but the key: the numbers, the names,
    // the address and the notes.
    QList<QPair<QString, QVariant>> values;
    for (const QString& field : calls.fieldNames())
        if (field.compare(QLatin1String("ID"), Qt::CaseInsensitive) != 0 && customers.findField(field) >= 0)
            values.append({field, calls.value(field)});
    customers.append();
    try {
        for (const auto& [field, value] : values)
            customers.setValue(field, value);
        customers.post();
    } catch (...) {
        customers.cancel();
        throw;
    }
    return true;
}
