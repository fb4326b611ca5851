#include "records/dictionary.h"

#include "db/datam.h"
#include "db/dbcontrols.h"
#include "app/statementtext.h"
#include "records/zidian.h"

QStringList itemQueryLines(const QString& field)
{
    return {QStringLiteral("Select * from 字典"),
            QStringLiteral("where 项目 = '") + quotedValue(field) + QLatin1Char('\'')};
}

Dictionary::Dictionary(const DictionaryParts& parts, QObject* parent) : QObject(parent), p_(parts) {}

void Dictionary::runItemQuery(const QString& field)
{
    p_.dm->zidian.reopen(composeStatement(p_.Memo1, itemQueryLines(field)));
}

void Dictionary::SetField_List_Value()
{
    DataSet& zidian = p_.dm->zidian;
    for (DBComboBox* combo : p_.choiceFields) {
        runItemQuery(combo->dataField());
        QStringList values;
        const int content = zidian.fieldIndex(QStringLiteral("内容"));
        zidian.first();
        while (!zidian.eof()) {
            values << zidian.text(content);
            zidian.next();
        }
        combo->setList(values);
    }
}

void Dictionary::editDictionary(DBComboBox& field)
{
    runItemQuery(field.dataField());
    p_.dm->currentDictItem = field.dataField();
    {
        Tzidianw editor(*p_.dm, p_.owner);
        editor.exec();
    }
    // A row still pending in the editor is dropped, as closing it promises.
    if (p_.dm->zidian.isActive() && p_.dm->zidian.state() != DataSet::State::Browse)
        p_.dm->zidian.cancel();
    SetField_List_Value();
}
