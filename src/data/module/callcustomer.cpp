#include "data/module/callcustomer.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <QVariant>

#include "data/module/datamodule.h"
#include "rules/calls/callrules.h"
#include "rules/statements/tablenames.h"

namespace {

const QStringList& numberFields()
{
    static const QStringList f = {QStringLiteral("手机"), QStringLiteral("电话"), QStringLiteral("宅电")};
    return f;
}

// Customers the lookup offers that are looked at for a number of exactly
// the same digits (the lookup also finds longer numbers holding it).
constexpr int kLookedAt = 200;

}  // namespace

qint64 customerWithNumber(DataModule& dm, const QString& number, QString* name)
{
    const QString digits = numberDigits(number);
    if (lookupNumber(number).isEmpty() || digits.isEmpty())
        return 0;
    DataSet found(&dm.connection, QStringLiteral("customerWithNumber"));
    found.setStatement(WrittenStatement::of(
        dm.connection.hasNumberIndex() ? indexedLookupStatement(number) : digitsLookupStatement(number),
        tables::customers()));
    found.open();
    for (int seen = 0; !found.eof() && seen < kLookedAt; ++seen, found.next()) {
        for (const QString& field : numberFields()) {
            if (found.findField(field) < 0 || numberDigits(found.text(field)) != digits)
                continue;
            if (name)
                *name = QStringList{found.text(QStringLiteral("联系人")), found.text(QStringLiteral("公司名称"))}
                            .join(QLatin1Char(' '))
                            .trimmed();
            return found.value(QStringLiteral("ID")).toLongLong();
        }
    }
    return 0;
}

SavedAsCustomer saveCallAsCustomer(DataModule& dm)
{
    SavedAsCustomer result;
    DataSet& calls = dm.callTable;
    if (!calls.isActive() || !calls.endPendingEdit() || calls.currentRow() < 0 || !calls.recordReadable())
        return result;
    for (const QString& field : numberFields()) {
        if (calls.findField(field) < 0 || calls.text(field).trimmed().isEmpty())
            continue;
        if (const qint64 key = customerWithNumber(dm, calls.text(field), &result.knownName)) {
            result.outcome = SavedAsCustomer::Outcome::Known;
            result.knownKey = key;
            result.knownNumber = calls.text(field);
            return result;
        }
    }
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
    result.outcome = SavedAsCustomer::Outcome::Saved;
    return result;
}
