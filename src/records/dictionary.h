#pragma once
// The dictionary: the values offered by the card's four choice fields, one
// row of 字典 per value, 项目 naming the field it belongs to.

#include <QString>
#include <QStringList>

class DBComboBox;
class Tmain;

// The two lines of the item query for the field.
QStringList itemQueryLines(const QString& field);

// Re-queries the dictionary data set for one field's values; the statement
// is composed in the main window's statement buffer.
void runItemQuery(Tmain& main, const QString& field);

// Rebuilds the lists of the four choice fields, 部门, 职务, 分类1, 分类2.
void SetField_List_Value(Tmain& main);

// A double click on a choice field: its values in the dictionary editor,
// then every list rebuilt.
void editDictionary(Tmain& main, DBComboBox& field);
