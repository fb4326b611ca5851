#pragma once
// The field mapping of the import windows: the standard field list, the
// correspondence numbers typed for each source column, and how a source
// value becomes the text of a customer field.

#include <QString>
#include <QStringList>
#include <QVariant>

namespace mapping {

// Columns beyond this number get no mapping row.
constexpr int kMaxRows = 60;

// The customer fields offered as targets: the data set's field names in
// order without `leftOut` ("序号" or "ID") and "ADODataSet7".
QStringList standardFields(const QStringList& fieldNames, const QString& leftOut);

// The numbers a fresh set of mapping rows starts with: for each of the first
// kMaxRows columns "0", or the number of the standard field of that name.
QStringList prefilledNumbers(const QStringList& columns, const QStringList& standard);

// Whether any box holds something other than exactly "0".
bool anyMapped(const QStringList& numbers);

// The first box (from 0) whose text is neither "0" nor the number of a
// standard field ("00", "-1", "99", letters, ""), or -1 when all are sound.
int firstInvalid(const QStringList& numbers, int standardCount);

// The standard field (from 0) that box i sends its column to, -1 for none.
// Only for numbers that passed firstInvalid().
int targetOf(const QString& number);

// The value of a source cell as it is stored into a customer field: texts
// as they are, whole numbers without a decimal point, other numbers in
// their shortest exact form, dates as "yyyy-M-d" (the form the call list's
// date search uses), times as "H:mm:ss".  A null value gives "".
QString valueText(const QVariant& v);

// Excel's own limit of a cell: the grid and the mapping rows show a text
// up to this many characters and cut it there with "…".
constexpr int kShownChars = 32767;
QString shownText(const QString& text);

// The messages of the import windows.
QString noTableMessage();     // 请先选择表文件！
QString noMappingMessage();   // the two lines, joined by a carriage return
QString invalidNumberMessage(int row, const QString& column, const QString& number, int standardCount);
QString importDoneMessage(qint64 count);
QString exportDoneMessage(qint64 count);

}  // namespace mapping
