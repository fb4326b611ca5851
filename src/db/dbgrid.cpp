#include "db/dbgrid.h"

#include <QHeaderView>
#include <QKeyEvent>

#include "app/errorreport.h"

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
            r = std::clamp(r, 0, rows_);
            reshaping_ = true;
            beginInsertRows({}, r, r);
            ++rows_;
            endInsertRows();
            reshaping_ = false;
        });
        links_[3] = connect(src, &DataSource::rowRemoved, this, [this](int r) {
            if (r < 0 || r >= rows_) {
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
            if (r >= 0 && r < rows_) {
                emit dataChanged(index(r, 0), index(r, std::max(0, columnCount() - 1)));
                emit headerDataChanged(Qt::Vertical, r, r);
            }
        });
        links_[5] = connect(src, &DataSource::recordChanged, this, &DataSetModel::onRecordChanged);
        links_[6] = connect(src, &DataSource::stateChanged, this, &DataSetModel::onRecordChanged);
    }
    rebuild();
}

void DataSetModel::rebuild()
{
    beginResetModel();
    DataSet* ds = dataSet();
    rows_ = ds && ds->isActive() ? ds->rowCount() : 0;
    rebuildColumns();
    lastCurrent_ = -1;
    endResetModel();
    emit columnsRebuilt();
    onRecordChanged();
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
    const QVariant v = ds->rowValue(index.row(), f);
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
    if (!ds || !ds->isActive() || section != ds->currentRow())
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
        if (ds->currentRow() != index.row())
            ds->moveTo(index.row());
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
    const int cur = ds && ds->isActive() ? ds->currentRow() : -1;
    if (lastCurrent_ >= 0 && lastCurrent_ < rows_)
        emit headerDataChanged(Qt::Vertical, lastCurrent_, lastCurrent_);
    if (cur >= 0 && cur < rows_)
        emit headerDataChanged(Qt::Vertical, cur, cur);
    lastCurrent_ = cur;
    emit currentRowChanged(cur);
}

// --- DBGrid ---------------------------------------------------------------------

DBGrid::DBGrid(QWidget* parent) : QTableView(parent), model_(new DataSetModel(this))
{
    setModel(model_);
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
    if (!ds || !ds->isActive() || ds->currentRow() == current.row())
        return;
    following_ = true;
    const bool ok = guarded([&] { ds->moveTo(current.row()); });
    following_ = false;
    if (!ok || ds->currentRow() != current.row())
        followCurrent(ds->currentRow());
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
    }
    QTableView::keyPressEvent(e);
}
