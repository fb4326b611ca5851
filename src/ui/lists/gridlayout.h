#pragma once
// The grids' column layouts: fitting the widths to the current row, saving
// the layout to its file, loading it back, and the three buttons under each
// list tab's side panel ("平均列宽", "保存设置", "初始化").

#include <QObject>
#include <QString>

class DBGrid;
class QPushButton;
class QWidget;

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

// The three layout buttons of one grid.  The width limit is the side panel's
// width divided by `divisor`, taken when "平均列宽" is pressed.
class GridLayoutButtons : public QObject {
    Q_OBJECT
public:
    GridLayoutButtons(DBGrid& grid, const QWidget& sidePanel, int divisor, QString fileName,
                      QPushButton* fit, QPushButton* save, QPushButton* reset, QObject* parent);

    QString filePath() const;  // program folder + set/<file name>
    void fitClick();
    void saveClick();
    void resetClick();

private:
    DBGrid& grid_;
    const QWidget& panel_;
    int divisor_;
    QString fileName_;
};
