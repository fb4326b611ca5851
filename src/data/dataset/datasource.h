#pragma once
// A data source joins data-aware controls to a data set and can be pointed
// at another data set while the program runs.

#include <QObject>
#include <QPointer>

#include "data/dataset/dataset.h"

class DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(DataSet* ds = nullptr, QObject* parent = nullptr);

    void setDataSet(DataSet* ds);
    DataSet* dataSet() const { return ds_; }

signals:
    void dataSetChanged();  // re-pointed: everything bound must refresh
    void layoutChanged();
    void rowInserted(int row);
    void rowRemoved(int row);
    void rowsAppended(int first, int count);
    void rowChanged(int row);
    void rowsRead(int first, int count);
    void recordChanged();
    void stateChanged();

private:
    QPointer<DataSet> ds_;
    QVector<QMetaObject::Connection> links_;
};
