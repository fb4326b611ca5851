#include "data/dataset/datasource.h"

DataSource::DataSource(DataSet* ds, QObject* parent) : QObject(parent) { setDataSet(ds); }

void DataSource::setDataSet(DataSet* ds)
{
    for (auto& c : links_)
        disconnect(c);
    links_.clear();
    ds_ = ds;
    if (ds) {
        links_ << connect(ds, &DataSet::layoutChanged, this, &DataSource::layoutChanged)
               << connect(ds, &DataSet::rowInserted, this, &DataSource::rowInserted)
               << connect(ds, &DataSet::rowRemoved, this, &DataSource::rowRemoved)
               << connect(ds, &DataSet::rowsAppended, this, &DataSource::rowsAppended)
               << connect(ds, &DataSet::rowChanged, this, &DataSource::rowChanged)
               << connect(ds, &DataSet::rowsRead, this, &DataSource::rowsRead)
               << connect(ds, &DataSet::recordChanged, this, &DataSource::recordChanged)
               << connect(ds, &DataSet::stateChanged, this, &DataSource::stateChanged);
    }
    emit dataSetChanged();
}
