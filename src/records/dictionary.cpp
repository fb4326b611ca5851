#include "records/dictionary.h"

#include "app/tmain.h"
#include "db/datam.h"
#include "db/dbcontrols.h"
#include "app/statementtext.h"
#include "records/card.h"
#include "records/zidian.h"

QStringList itemQueryLines(const QString& field)
{
    return {QStringLiteral("Select * from 字典"),
            QStringLiteral("where 项目 = '") + quotedValue(field) + QLatin1Char('\'')};
}

void runItemQuery(Tmain& main, const QString& field)
{
    DataSet& zidian = main.dm().zidian;
    zidian.close();
    zidian.setCommandText(composeStatement(main.Memo1, itemQueryLines(field)));
    zidian.open();
}

void SetField_List_Value(Tmain& main)
{
    DataSet& zidian = main.dm().zidian;
    CustomerCard& card = *main.Card;
    for (DBComboBox* combo : {card.DBComboBox1, card.DBComboBox2, card.DBComboBox3, card.DBComboBox4}) {
        runItemQuery(main, combo->dataField());
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

void editDictionary(Tmain& main, DBComboBox& field)
{
    runItemQuery(main, field.dataField());
    main.dm().currentDictItem = field.dataField();
    {
        Tzidianw editor(main.dm(), &main);
        editor.exec();
    }
    SetField_List_Value(main);
}
