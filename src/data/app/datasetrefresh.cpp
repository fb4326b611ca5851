// Reading a list anew while the program shows it.

#include "data/app/dataset.h"

namespace {
// How far a record may have moved down (rows stored above it meanwhile)
// and still be found again.
constexpr int kMovedAtMost = 200;
}  // namespace

bool DataSet::refresh()
{
    if (state() != State::Browse)
        return false;
    const int key = findField(QStringLiteral("ID"));
    const int row = currentRow();
    const QVariant was = key >= 0 && row >= 0 ? rowValue(row, key) : QVariant();
    close();
    open();
    if (was.isNull())
        return true;
    const int last = std::min(rowCount(), row + kMovedAtMost + 1);
    for (int r = std::max(0, row - kMovedAtMost); r < last; ++r)
        if (rowValue(r, key) == was) {
            if (r != currentRow())
                moveTo(r);
            break;
        }
    return true;
}
