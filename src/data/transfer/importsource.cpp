#include "data/transfer/importsource.h"

#include <QRegularExpression>

#include "rules/errors/errorreport.h"
#include "rules/transfer/fieldmapping.h"

ImportConnection::~ImportConnection()
{
    for (ImportDataSet* ds : dataSets_)
        ds->setConnection(nullptr);
}

void ImportConnection::open()
{
    if (reader_)
        return;
    const QString file = fileName();
    if (file.isEmpty())
        throw AppError(QStringLiteral("%1: 没有指定数据文件").arg(name_));
    QString error;
    reader_ = openTableReader(file, &error);
    if (!reader_)
        throw AppError(error);
}

void ImportConnection::openWith(std::unique_ptr<TableReader> reader)
{
    close();
    reader_ = std::move(reader);
}

void ImportConnection::close()
{
    for (ImportDataSet* ds : dataSets_)
        ds->close();
    reader_.reset();
}

QStringList ImportConnection::tableNames() const { return reader_ ? reader_->tableNames() : QStringList(); }

void ImportConnection::attach(ImportDataSet* ds)
{
    if (!dataSets_.contains(ds))
        dataSets_ << ds;
}

void ImportConnection::detach(ImportDataSet* ds) { dataSets_.removeAll(ds); }

ImportDataSet::ImportDataSet(ImportConnection* connection, const QString& name, QObject* parent)
    : QObject(parent), name_(name)
{
    setConnection(connection);
}

ImportDataSet::~ImportDataSet()
{
    if (connection_)
        connection_->detach(this);
}

void ImportDataSet::setConnection(ImportConnection* c)
{
    if (c == connection_)
        return;
    close();
    if (connection_)
        connection_->detach(this);
    connection_ = c;
    if (connection_)
        connection_->attach(this);
}

void ImportDataSet::setCommandText(const QString& sql)
{
    close();
    sql_ = sql;
}

QString ImportDataSet::tableName() const
{
    static const QRegularExpression re(QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+(.*?)\\s*;?\\s*$"),
                                       QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(sql_);
    if (!m.hasMatch())
        return {};
    QString t = m.captured(1);
    if (t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        t = t.mid(1, t.size() - 2);
    return t;
}

void ImportDataSet::open()
{
    if (active_)
        return;
    if (!connection_ || !connection_->isConnected())
        throw AppError(QStringLiteral("%1: 数据文件没有打开").arg(name_));
    TableReader* r = connection_->reader();
    const QString table = tableName();
    if (!r->tableNames().contains(table))
        throw AppError(QStringLiteral("数据文件中没有表“%1”！").arg(table));
    const QStringList fields = r->columnNames(table);
    const qint64 count = r->rowCount(table);
    if (count < 0)
        throw AppError(r->error());
    QList<QVariantList> preview;
    qint64 cells = 0;
    const bool ok = r->readRows(table, [&](const QVariantList& row) {
        preview << row;
        for (const QVariant& v : row)
            cells += 1 + (v.typeId() == QMetaType::QString ? v.toString().size() / 64 : 0);
        return preview.size() < kPreviewRows && cells < kPreviewCells;
    });
    if (!ok)
        throw AppError(r->error());
    warning_ = r->warning();
    table_ = table;
    fields_ = fields;
    count_ = count;
    preview_ = std::move(preview);
    active_ = true;
    if (disabled_)
        pending_ = true;
    else
        emit layoutChanged();
}

void ImportDataSet::close()
{
    if (!active_)
        return;
    active_ = false;
    fields_.clear();
    preview_.clear();
    warning_.clear();
    count_ = 0;
    table_.clear();
    if (disabled_)
        pending_ = true;
    else
        emit layoutChanged();
}

bool ImportDataSet::readRows(const std::function<bool(const QVariantList&)>& row, QString* error)
{
    if (!active_ || !connection_ || !connection_->reader()) {
        *error = QStringLiteral("%1: 数据表没有打开").arg(name_);
        return false;
    }
    TableReader* r = connection_->reader();
    if (!r->readRows(table_, row)) {
        *error = r->error();
        return false;
    }
    return true;
}

bool ImportDataSet::appendRows(const QList<QVariantList>& rows, QString* error)
{
    if (!active_ || !connection_ || !connection_->reader()) {
        *error = QStringLiteral("%1: 数据表没有打开").arg(name_);
        return false;
    }
    TableReader* r = connection_->reader();
    return r->appendRows(table_, rows, error);
}

void ImportDataSet::enableControls()
{
    if (disabled_ > 0 && --disabled_ == 0 && pending_) {
        pending_ = false;
        emit layoutChanged();
    }
}

ImportGridSource::ImportGridSource(ImportDataSet* ds, QObject* parent) : QAbstractTableModel(parent), ds_(ds)
{
    if (ds_)
        connect(ds_, &ImportDataSet::layoutChanged, this, [this] {
            beginResetModel();
            endResetModel();
        });
}

int ImportGridSource::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !ds_ ? 0 : int(ds_->previewRows().size());
}

int ImportGridSource::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !ds_ ? 0 : ds_->fieldCount();
}

QVariant ImportGridSource::data(const QModelIndex& index, int role) const
{
    if (!ds_ || role != Qt::DisplayRole || !index.isValid())
        return {};
    const auto& rows = ds_->previewRows();
    if (index.row() >= rows.size() || index.column() >= rows[index.row()].size())
        return {};
    return mapping::shownText(mapping::valueText(rows[index.row()][index.column()]));
}

QVariant ImportGridSource::headerData(int section, Qt::Orientation o, int role) const
{
    if (role != Qt::DisplayRole || !ds_)
        return {};
    if (o == Qt::Horizontal)
        return section < ds_->fieldCount() ? QVariant(mapping::shownText(ds_->fieldNames()[section])) : QVariant();
    return section + 1;
}
