#pragma once
// The dictionary: the values offered by the card's four choice fields, one
// row of 字典 per value, 项目 naming the field it belongs to.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class DBComboBox;
class StatementBuffer;
class QWidget;
class DataModule;

// The two lines of the item query for the field.
QStringList itemQueryLines(const QString& field);

// The controls and services the dictionary works with.
struct DictionaryParts {
    DataModule* dm = nullptr;
    StatementBuffer* statementBuffer = nullptr;
    QWidget* owner = nullptr;           // of the editor window
    QVector<DBComboBox*> choiceFields;  // 部门, 职务, 分类1, 分类2
};

class Dictionary : public QObject {
    Q_OBJECT
public:
    Dictionary(const DictionaryParts& parts, QObject* parent);

    // Re-queries the dictionary data set for one field's values; the
    // statement is composed in the statement buffer.
    void runItemQuery(const QString& field);
    // Rebuilds the lists of the four choice fields.
    void refreshChoiceLists();
    // A double click on a choice field: its values in the dictionary
    // editor, then every list rebuilt.
    void editDictionary(DBComboBox& field);

private:
    DictionaryParts p_;
};
