#include "ui/kit/dbgrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <cstdlib>

#include "rules/errors/errorreport.h"

// --- DataSetModel -------------------------------------------------------------

DataSetModel::DataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

void DataSetModel::setDataSource(DataSource* src)
{
    for (auto& c : links_)
        disconnect(c);
    src_ = src;
    if (src) {
        links_[0] = connect(src, &DataSource::dataSetChanged, this, &DataSetModel::rebuild);
        links_[1] = connect(src, &DataSource::layoutChanged, this, &DataSetModel::rebuild);
        links_[2] = connect(src, &DataSource::rowInserted, this, [this](int r) {
            DataSet* ds = dataSet();
            if (!ds)
                return;
            if (r < offset_) {
                ++offset_;  // the rows shown moved down with it
                return;
            }
            // Already shown when the window was laid out around the new row.
            if (offset_ + rows_ >= ds->rowCount())
                return;
            r -= offset_;
            if (r > rows_)
                return;  // beyond the rows shown
            reshaping_ = true;
            beginInsertRows({}, r, r);
            ++rows_;
            endInsertRows();
            reshaping_ = false;
        });
        links_[3] = connect(src, &DataSource::rowRemoved, this, [this](int r) {
            if (r < offset_) {
                --offset_;
                return;
            }
            r -= offset_;
            if (r >= rows_) {
                DataSet* ds = dataSet();
                if (ds && offset_ + rows_ > ds->rowCount())
                    rebuild();
                return;
            }
            reshaping_ = true;
            beginRemoveRows({}, r, r);
            --rows_;
            endRemoveRows();
            reshaping_ = false;
        });
        links_[4] = connect(src, &DataSource::rowChanged, this, [this](int r) {
            r -= offset_;
            if (r >= 0 && r < rows_) {
                emit dataChanged(index(r, 0), index(r, std::max(0, columnCount() - 1)));
                emit headerDataChanged(Qt::Vertical, r, r);
            }
        });
        links_[11] = connect(src, &DataSource::rowsRead, this, [this](int first, int count) {
            // Rows painted empty while they were read: paint them again.
            const int from = std::max(first - offset_, 0);
            const int to = std::min(first + count - offset_, rows_);
            if (from < to)
                emit dataChanged(index(from, 0), index(to - 1, std::max(0, columnCount() - 1)), {Qt::DisplayRole});
        });
        links_[7] = connect(src, &DataSource::rowsAppended, this, [this](int first, int count) {
            // The count came: rows after the known ones, shown up to a window.
            if (first != offset_ + rows_ || rows_ >= window_)
                return;
            const int add = std::min(count, window_ - rows_);
            beginInsertRows({}, rows_, rows_ + add - 1);
            rows_ += add;
            endInsertRows();
        });
        links_[5] = connect(src, &DataSource::recordChanged, this, &DataSetModel::onRecordChanged);
        links_[6] = connect(src, &DataSource::stateChanged, this, &DataSetModel::onRecordChanged);
        // After the rows above have been dealt with: the count may have come
        // or a row gone where none is shown.
        links_[8] = connect(src, &DataSource::rowsAppended, this, &DataSetModel::extentChanged);
        links_[9] = connect(src, &DataSource::rowInserted, this, &DataSetModel::extentChanged);
        links_[10] = connect(src, &DataSource::rowRemoved, this, &DataSetModel::extentChanged);
    }
    rebuild();
}

void DataSetModel::rebuild()
{
    DataSet* ds = dataSet();
    const int count = ds && ds->isActive() ? ds->rowCount() : 0;
    const int cur = ds && ds->isActive() ? ds->currentRow() : -1;
    beginResetModel();
    offset_ = windowFor(cur, count);
    rows_ = std::min(count - offset_, window_);
    rebuildColumns();
    lastCurrent_ = -1;
    endResetModel();
    emit columnsRebuilt();
    emit extentChanged();
    onRecordChanged();
}

int DataSetModel::windowFor(int row, int count) const
{
    if (count <= window_)
        return 0;
    return std::clamp(row - window_ / 2, 0, count - window_);
}

int DataSetModel::windowAround(int row) const { return windowFor(row, totalRows()); }

void DataSetModel::setWindowSize(int rows)
{
    window_ = std::max(1, rows);
    rebuild();
}

void DataSetModel::setWindow(int offset)
{
    DataSet* ds = dataSet();
    const int count = ds && ds->isActive() ? ds->rowCount() : 0;
    offset = std::clamp(offset, 0, std::max(0, count - window_));
    const int rows = std::min(count - offset, window_);
    if (offset == offset_ && rows_ == rows)
        return;
    const int shift = offset - offset_;
    if (shift != 0 && std::abs(shift) < rows_ && std::abs(shift) < rows) {
        // A slide by part of the window: the rows still shown stay, the
        // rows that leave go and the new ones come (cheaper than a reset,
        // and the view keeps its place).
        reshaping_ = true;
        if (shift > 0) {
            beginRemoveRows({}, 0, shift - 1);
            offset_ += shift;
            rows_ -= shift;
            endRemoveRows();
        } else {
            beginInsertRows({}, 0, -shift - 1);
            offset_ += shift;
            rows_ -= shift;
            endInsertRows();
        }
        if (rows_ < rows) {
            beginInsertRows({}, rows_, rows - 1);
            rows_ = rows;
            endInsertRows();
        } else if (rows_ > rows) {
            beginRemoveRows({}, rows, rows_ - 1);
            rows_ = rows;
            endRemoveRows();
        }
        reshaping_ = false;
        emit extentChanged();
        return;
    }
    beginResetModel();
    offset_ = offset;
    rows_ = std::min(count - offset_, window_);
    lastCurrent_ = -1;
    endResetModel();
    emit columnsRebuilt();
    emit extentChanged();
}

int DataSetModel::totalRows() const
{
    DataSet* ds = dataSet();
    return ds && ds->isActive() ? ds->rowCount() : 0;
}

void DataSetModel::rebuildColumns()
{
    DataSet* ds = dataSet();
    if (!custom_) {
        cols_.clear();
        if (ds)
            for (const QString& f : ds->fieldNames())
                cols_.append(GridColumn{f, -1});
    }
    colField_.clear();
    for (const GridColumn& c : cols_)
        colField_.append(ds ? ds->findField(c.fieldName) : -1);
}

void DataSetModel::setCustomColumns(const QVector<GridColumn>& cols)
{
    // No custom column left: the grid shows its data set's fields, as after
    // a reset (a layout saved from a grid without columns loads this way).
    if (cols.isEmpty()) {
        clearCustomColumns();
        return;
    }
    beginResetModel();
    custom_ = true;
    cols_ = cols;
    rebuildColumns();
    endResetModel();
    emit columnsRebuilt();
    onRecordChanged();
}

void DataSetModel::clearCustomColumns()
{
    beginResetModel();
    custom_ = false;
    rebuildColumns();
    endResetModel();
    emit columnsRebuilt();
    onRecordChanged();
}

void DataSetModel::setColumnWidth(int column, int width)
{
    if (column >= 0 && column < cols_.size())
        cols_[column].width = width;
}

void DataSetModel::moveColumn(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= cols_.size() || to >= cols_.size())
        return;
    QVector<GridColumn> cols = cols_;
    cols.move(from, to);
    setCustomColumns(cols);
}

int DataSetModel::fieldOfColumn(int column) const
{
    return column >= 0 && column < colField_.size() ? colField_[column] : -1;
}

int DataSetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(cols_.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    DataSet* ds = dataSet();
    const int f = fieldOfColumn(index.column());
    if (!ds || f < 0 || index.row() >= rows_)
        return {};
    // Painting never waits: a row not read yet shows empty and is painted
    // again once it has been read in the background (rowsRead).  An editor
    // starts from the record's value, read now if need be.
    const int row = offset_ + index.row();
    const QVariant v = role == Qt::EditRole ? ds->rowValue(row, f) : ds->shownValue(row, f);
    if (v.isNull())
        return role == Qt::EditRole ? QVariant(QString()) : QVariant();
    QString t = v.toString();
    if (role == Qt::DisplayRole)
        t.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t;
}

QVariant DataSetModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (o == Qt::Horizontal)
        return section < cols_.size() ? QVariant(cols_[section].fieldName) : QVariant();
    // The row indicator: current record, record being edited, new record.
    DataSet* ds = dataSet();
    if (!ds || !ds->isActive() || offset_ + section != ds->currentRow())
        return {};
    switch (ds->state()) {
    case DataSet::State::Insert: return QStringLiteral("*");
    case DataSet::State::Edit: return QStringLiteral("I");
    default: return QString(QChar(0x25B6));
    }
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags fl = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    DataSet* ds = dataSet();
    const int f = fieldOfColumn(index.column());
    if (ds && f >= 0 && ds->fieldNames()[f].compare(QLatin1String("ID"), Qt::CaseInsensitive) != 0)
        fl |= Qt::ItemIsEditable;
    return fl;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole)
        return false;
    DataSet* ds = dataSet();
    const int f = fieldOfColumn(index.column());
    if (!ds || f < 0)
        return false;
    return guarded([&] {
        if (ds->currentRow() != offset_ + index.row())
            ds->moveTo(offset_ + index.row());
        if (ds->text(f) == value.toString())
            return;
        if (ds->state() == DataSet::State::Browse)
            ds->edit();
        ds->setValue(f, value);
    });
}

void DataSetModel::onRecordChanged()
{
    DataSet* ds = dataSet();
    int cur = ds && ds->isActive() ? ds->currentRow() : -1;
    // A new record right after the rows shown is about to be added to them.
    const bool outside = cur < offset_ || cur > offset_ + rows_ ||
                         (cur == offset_ + rows_ && ds->state() != DataSet::State::Insert);
    if (cur >= 0 && outside) {
        // The record went beyond the rows shown: show the rows around it.
        setWindow(windowFor(cur, ds->rowCount()));
    }
    cur = cur >= 0 ? cur - offset_ : -1;
    if (cur >= rows_)
        cur = -1;
    if (lastCurrent_ >= 0 && lastCurrent_ < rows_)
        emit headerDataChanged(Qt::Vertical, lastCurrent_, lastCurrent_);
    if (cur >= 0 && cur < rows_)
        emit headerDataChanged(Qt::Vertical, cur, cur);
    lastCurrent_ = cur;
    emit currentRowChanged(cur);
}

// --- DBGrid ---------------------------------------------------------------------

DBGrid::DBGrid(QWidget* parent)
    : QTableView(parent), model_(new DataSetModel(this)), recordBar_(new QScrollBar(Qt::Vertical, this))
{
    setModel(model_);
    // The bar shown spans the whole data set; the view's own bar, hidden
    // beside it, still scrolls the rows held and takes the wheel.
    recordBar_->setObjectName(QStringLiteral("recordScrollBar"));
    addScrollBarWidget(recordBar_, Qt::AlignTop);
    verticalScrollBar()->hide();
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &DBGrid::syncRecordBar);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &DBGrid::syncRecordBar);
    connect(model_, &DataSetModel::extentChanged, this, &DBGrid::syncRecordBar);
    connect(recordBar_, &QScrollBar::valueChanged, this, &DBGrid::recordBarMoved);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    auto* vh = verticalHeader();
    vh->setSectionResizeMode(QHeaderView::Fixed);
    vh->setDefaultSectionSize(fontMetrics().height() + 4);
    vh->setFixedWidth(14);
    vh->setDefaultAlignment(Qt::AlignCenter);
    auto* hh = horizontalHeader();
    hh->setSectionsMovable(true);
    hh->setHighlightSections(false);
    hh->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(model_, &DataSetModel::columnsRebuilt, this, &DBGrid::applyWidths);
    connect(model_, &DataSetModel::currentRowChanged, this, &DBGrid::followCurrent);
    // Scrolling by hand to either end of the rows shown brings the next
    // stretch (once the scroll bar has taken its new place).
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { QMetaObject::invokeMethod(this, &DBGrid::slideWindow, Qt::QueuedConnection); });
    connect(hh, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (following_)
            return;
        keepWidth(logical, size);
    });
    connect(hh, &QHeaderView::sectionMoved, this, [this](int, int from, int to) {
        if (following_)
            return;
        // Keep the header in model order; the model takes the new order.
        following_ = true;
        horizontalHeader()->moveSection(to, from);
        following_ = false;
        model_->moveColumn(from, to);
    });
}

void DBGrid::setDataSource(DataSource* src) { model_->setDataSource(src); }

int DBGrid::defaultWidthFor(const QString& fieldName) const
{
    DataSet* ds = model_->dataSet();
    if (!ds || ds->findField(fieldName) < 0)
        return kDefaultWidth;
    // Wide enough for a telephone number with its area code.
    return fieldName.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0 ? kDefaultWidth : 100;
}

void DBGrid::keepWidth(int column, int width)
{
    // A width equal to the field's default is no explicit width.
    const auto& cols = model_->columns();
    if (column >= 0 && column < cols.size())
        model_->setColumnWidth(column, width == defaultWidthFor(cols[column].fieldName) ? -1 : width);
}

void DBGrid::applyWidths()
{
    following_ = true;
    const auto& cols = model_->columns();
    for (int i = 0; i < cols.size(); ++i)
        QTableView::setColumnWidth(i, cols[i].width >= 0 ? cols[i].width : defaultWidthFor(cols[i].fieldName));
    following_ = false;
}

void DBGrid::setColumnPixelWidth(int column, int width)
{
    const auto& cols = model_->columns();
    if (column < 0 || column >= cols.size())
        return;
    keepWidth(column, width);
    following_ = true;
    QTableView::setColumnWidth(column, width);
    following_ = false;
}

QVector<GridColumn> DBGrid::columnLayout() const { return model_->columns(); }

void DBGrid::setColumnLayout(const QVector<GridColumn>& cols) { model_->setCustomColumns(cols); }

void DBGrid::resetColumns() { model_->clearCustomColumns(); }

void DBGrid::followCurrent(int row)
{
    if (following_)
        return;
    following_ = true;
    if (row >= 0 && row < model_->rowCount()) {
        const int col = std::max(0, currentIndex().column());
        const QModelIndex idx = model_->index(row, std::min(col, std::max(0, model_->columnCount() - 1)));
        setCurrentIndex(idx);
        scrollTo(idx);
    } else {
        setCurrentIndex({});
    }
    following_ = false;
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    // While rows come and go the view shifts its current row on its own;
    // the data set has already chosen its record and the grid follows it.
    if (following_ || model_->reshaping() || !current.isValid() || current.row() == previous.row())
        return;
    DataSet* ds = model_->dataSet();
    const int row = model_->windowOffset() + current.row();
    if (!ds || !ds->isActive() || ds->currentRow() == row)
        return;
    following_ = true;
    const bool ok = guarded([&] { ds->moveTo(row); });
    following_ = false;
    if (!ok || ds->currentRow() != row)
        followCurrent(ds->currentRow() - model_->windowOffset());
}

void DBGrid::slideWindow()
{
    if (following_ || sliding_)
        return;
    QScrollBar* bar = verticalScrollBar();
    const int value = bar->value();
    const int offset = model_->windowOffset();
    const int shown = model_->rowCount();
    int to = offset;
    if (value >= bar->maximum() && bar->maximum() > 0 && offset + shown < model_->totalRows())
        to = offset + model_->windowSize() / 2;
    else if (value <= bar->minimum() && offset > 0)
        to = offset - model_->windowSize() / 2;
    if (to != offset)
        moveWindow(to, offset + rowAt(0));
}

void DBGrid::moveWindow(int offset, int firstShown)
{
    const int col = std::max(0, currentIndex().column());
    sliding_ = true;
    following_ = true;
    model_->setWindow(offset);
    // The view's bar takes the new rows' range now, not at its next layout.
    updateGeometries();
    const int now = model_->windowOffset();
    if (DataSet* ds = model_->dataSet()) {
        const int cur = ds->currentRow() - now;
        if (cur >= 0 && cur < model_->rowCount())
            selectionModel()->setCurrentIndex(model_->index(cur, col), QItemSelectionModel::ClearAndSelect);
    }
    verticalScrollBar()->setValue(std::max(0, firstShown - now));
    following_ = false;
    sliding_ = false;
    syncRecordBar();
}

void DBGrid::syncRecordBar()
{
    if (syncingBar_)
        return;
    // Row r of the data set is row r - offset of the rows held; the rows
    // not held lie before and after them.
    const QScrollBar* inner = verticalScrollBar();
    const int notHeld = std::max(0, model_->totalRows() - model_->rowCount());
    syncingBar_ = true;
    recordBar_->setRange(0, inner->maximum() + notHeld);
    recordBar_->setPageStep(inner->pageStep());
    recordBar_->setSingleStep(inner->singleStep());
    recordBar_->setValue(model_->windowOffset() + inner->value());
    syncingBar_ = false;
}

void DBGrid::recordBarMoved(int firstShown)
{
    if (syncingBar_)
        return;
    QScrollBar* inner = verticalScrollBar();
    const int offset = model_->windowOffset();
    if (firstShown < offset || firstShown - offset > inner->maximum()) {
        // Beyond the rows held: hold the rows around it.
        moveWindow(model_->windowAround(firstShown), firstShown);
        return;
    }
    syncingBar_ = true;
    inner->setValue(firstShown - offset);
    syncingBar_ = false;
    syncRecordBar();
}

void DBGrid::keyPressEvent(QKeyEvent* e)
{
    DataSet* ds = model_->dataSet();
    if (ds && ds->isActive() && state() != QAbstractItemView::EditingState) {
        if (e->key() == Qt::Key_Escape && ds->state() != DataSet::State::Browse) {
            guarded([&] { ds->cancel(); });
            return;
        }
        if (e->key() == Qt::Key_Insert) {
            guarded([&] { ds->insert(); });
            return;
        }
        // Past the first or last of the rows shown, the data set moves on
        // and the rows around its record come.
        const int row = currentIndex().row();
        const int shown = model_->rowCount();
        const int offset = model_->windowOffset();
        const bool more = offset + shown < model_->totalRows();
        if (e->modifiers() == Qt::NoModifier && row >= 0 && ds->state() == DataSet::State::Browse) {
            const int page = std::max(1, viewport()->height() / std::max(1, rowHeight(row)) - 1);
            int by = 0;
            if (e->key() == Qt::Key_Down && row == shown - 1 && more)
                by = 1;
            else if (e->key() == Qt::Key_Up && row == 0 && offset > 0)
                by = -1;
            else if (e->key() == Qt::Key_PageDown && row + page >= shown && more)
                by = page;
            else if (e->key() == Qt::Key_PageUp && row - page < 0 && offset > 0)
                by = -page;
            if (by != 0) {
                guarded([&] { ds->moveBy(by); });
                return;
            }
        }
        // The first and last rows of the table, not of the rows shown.
        if (e->modifiers() & Qt::ControlModifier && (e->key() == Qt::Key_Home || e->key() == Qt::Key_End)) {
            guarded([&] { e->key() == Qt::Key_Home ? ds->first() : ds->last(); });
            return;
        }
    }
    QTableView::keyPressEvent(e);
}
