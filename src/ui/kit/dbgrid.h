#pragma once
// A data-aware grid: the rows of a data set with its current record marked;
// choosing a row moves the data set there, editing a cell edits the record.
// Columns are either the data set's fields (default columns) or an explicit
// list naming fields, each with an optional width (custom columns).

#include <QAbstractTableModel>
#include <QPointer>
#include <QTableView>
#include <QScrollBar>
#include <QVector>

#include "data/dataset/datasource.h"

struct GridColumn {
    QString fieldName;
    int width = -1;  // -1: the default width
    bool operator==(const GridColumn&) const = default;
};

// The grid's rows are a window of at most kWindow rows of the data set
// (all of them for smaller tables): a view's cost grows with its rows, so a
// table of millions is shown a stretch at a time around the current record.
// The grid's scroll bar spans the whole data set all the same.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kWindow = 10000;
    int windowSize() const { return window_; }
    void setWindowSize(int rows);  // tests make it small

    explicit DataSetModel(QObject* parent = nullptr);

    void setDataSource(DataSource* src);
    DataSource* dataSource() const { return src_; }
    DataSet* dataSet() const { return src_ ? src_->dataSet() : nullptr; }

    // Column list: an empty custom list means default columns.
    void setCustomColumns(const QVector<GridColumn>& cols);
    void clearCustomColumns();
    bool hasCustomColumns() const { return custom_; }
    const QVector<GridColumn>& columns() const { return cols_; }
    void setColumnWidth(int column, int width);
    void moveColumn(int from, int to);
    int fieldOfColumn(int column) const;  // -1 when the data set lacks it
    bool reshaping() const { return reshaping_; }  // rows being inserted or removed
    // The data set row shown as the model's row 0, and all rows of the data set.
    int windowOffset() const { return offset_; }
    int totalRows() const;
    void setWindow(int offset);  // clamped; resets the model when it moves
    int windowAround(int row) const;  // the offset that has the row in the middle

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    void columnsRebuilt();
    void currentRowChanged(int row);
    // The rows shown or all the rows may have changed.
    void extentChanged();

private:
    void rebuild();
    void rebuildColumns();
    void onRecordChanged();
    int windowFor(int row, int count) const;
    int window_ = kWindow;
    QPointer<DataSource> src_;
    QVector<GridColumn> cols_;
    QVector<int> colField_;
    bool custom_ = false;
    int rows_ = 0;
    int offset_ = 0;
    int lastCurrent_ = -1;
    bool reshaping_ = false;
    QMetaObject::Connection links_[12];
};

class DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget* parent = nullptr);

    void setDataSource(DataSource* src);
    DataSource* dataSource() const { return model_->dataSource(); }
    DataSetModel* dataModel() const { return model_; }

    // The layout as shown, in display order, with explicit widths.
    QVector<GridColumn> columnLayout() const;
    void setColumnLayout(const QVector<GridColumn>& cols);  // custom columns; none: default ones
    void resetColumns();                                    // default columns
    bool hasCustomColumns() const { return model_->hasCustomColumns(); }
    void setColumnPixelWidth(int column, int width);

    static constexpr int kDefaultWidth = 64;  // a column whose field is missing
    int defaultWidthFor(const QString& fieldName) const;

    // The vertical scroll bar shown: it spans every row of the data set,
    // not only the rows the grid holds at the time (the view's own bar,
    // which does, is hidden).
    QScrollBar* recordScrollBar() const { return recordBar_; }

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void applyWidths();
    void keepWidth(int column, int width);
    void followCurrent(int row);
    void slideWindow();
    void moveWindow(int offset, int firstShown);
    void syncRecordBar();
    void recordBarMoved(int firstShown);
    DataSetModel* model_;
    QScrollBar* recordBar_;
    bool syncingBar_ = false;
    bool following_ = false;
    bool sliding_ = false;
};
