#pragma once
// The grids' column layouts: fitting the widths to the current row, saving
// the layout to its file and loading it back.

#include <QString>

class DBGrid;

namespace gridlayout {

// Writes the grid's columns, in display order, to the file (replaced only
// once the new file is complete).  Throws FileError when it cannot be written.
void save(const DBGrid& grid, const QString& path);

// Reads the file whole, then gives the grid exactly its columns.  A missing,
// unreadable or damaged file throws and leaves the grid's columns as they were.
void load(DBGrid& grid, const QString& path);

// Loads the file when it exists.  Returns false (grid unchanged) when it does
// not exist; errors are thrown as by load().
bool loadIfPresent(DBGrid& grid, const QString& path);

// Fits every column's width to its field's value in the current row, within
// the limit (see gridwidths::fitted).  A column whose field the data set
// lacks stops the fitting with the data layer's field-not-found error; the
// columns before it keep their new widths.
void fitWidths(DBGrid& grid, int limit);

}  // namespace gridlayout
