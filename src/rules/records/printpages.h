#pragma once
// What "打印客户资料" prints, as HTML a text document lays out on pages:
// the current customer's card (its fields in the card's order), or a list as
// it is shown (its columns and rows in the grid's order).

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// A card: a title and the fields with their values.
QString cardPage(const QString& title, const QList<QPair<QString, QString>>& fields);

// A list: a title, the columns and the rows (each as many texts as columns).
QString listPage(const QString& title, const QStringList& columns, const QList<QStringList>& rows);
