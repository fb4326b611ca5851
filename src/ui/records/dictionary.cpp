#include "ui/records/dictionary.h"

#include "data/module/datamodule.h"
#include "ui/kit/dbcontrols.h"
#include "rules/statements/statementbuffer.h"
#include "rules/statements/statementtext.h"
#include "ui/records/dictionarywindow.h"
#include "rules/statements/tablenames.h"

QStringList itemQueryLines(const QString& field)
{
    return {QStringLiteral("Select * from 字典"),
            QStringLiteral("where 项目 = '") + quotedValue(field) + QLatin1Char('\'')};
}

Dictionary::Dictionary(const DictionaryParts& parts, QObject* parent) : QObject(parent), p_(parts) {}

void Dictionary::runItemQuery(const QString& field)
{
    p_.dm->dictionaryTable.reopen(
        WrittenStatement::of(p_.statementBuffer->compose(itemQueryLines(field)), tables::dictionary()));
}

void Dictionary::refreshChoiceLists()
{
    DataSet& dictionaryTable = p_.dm->dictionaryTable;
    for (DBComboBox* combo : p_.choiceFields) {
        runItemQuery(combo->dataField());
        QStringList values;
        const int content = dictionaryTable.fieldIndex(QStringLiteral("内容"));
        dictionaryTable.first();
        while (!dictionaryTable.eof()) {
            values << dictionaryTable.text(content);
            dictionaryTable.next();
        }
        combo->setList(values);
    }
}

void Dictionary::editDictionary(DBComboBox& field)
{
    runItemQuery(field.dataField());
    p_.dm->setDictionaryItem(field.dataField());
    {
        DictionaryWindow editor(*p_.dm, p_.owner);
        editor.exec();
    }
    // A row still pending in the editor is dropped, as closing it promises.
    if (p_.dm->dictionaryTable.isActive() && p_.dm->dictionaryTable.state() != DataSet::State::Browse)
        p_.dm->dictionaryTable.cancel();
    refreshChoiceLists();
}
