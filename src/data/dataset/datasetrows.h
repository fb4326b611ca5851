#pragma once
// Where the rows of an open data set live (see dataset.h); shared by the
// data set's own source files only.

#include <QElapsedTimer>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <deque>
#include <memory>

#include "data/dataset/backgroundcount.h"
#include "data/dataset/keypaging.h"
#include "data/dataset/keyread.h"
#include "data/dataset/rowcache.h"
#include "data/dataset/rowreader.h"

struct DataSetRows {
    int keyField = -1;
    // Rows read by key a page at a time; null when every row is kept.
    std::unique_ptr<KeyPaging> paging;
    bool keyed() const { return paging != nullptr; }
    KeyList& keys() { return paging->keys(); }
    const KeyList& keys() const { return paging->keys(); }

    // A count under way, and the rows stored here meanwhile (net): the
    // count sees the list as it was opened.  Rows of that list deleted here
    // meanwhile go through the count (BackgroundCount::removing()).
    bool countPending = false;
    std::unique_ptr<BackgroundCount> counting;
    int storedMeanwhile = 0;

    // A background read, and the keys stored or deleted here meanwhile (the
    // read may still come across them).
    bool loading = false;
    bool partial = false;
    std::unique_ptr<KeyRead> read;
    QSet<qint64> seenHere;
    // Keys above the list's highest key when it opened that the list holds
    // now, or that were deleted here: rows stored since (here or at other
    // desks) that a refresh must not take in again.
    QSet<qint64> newer;
    bool isNewer(qint64 key) const
    {
        return paging && (!paging->limitKey() || key > *paging->limitKey());
    }

    QVector<QVector<QVariant>> rows;  // not keyed: every row
    RowCache cache;                   // keyed: fetched rows
    // A page whose read failed is not read again for a moment, so that a
    // locked database does not cost a wait for every cell painted.
    int failedPage = -1;
    QElapsedTimer failedAt;
    // Pages a grid painted without their rows, the latest last, and the
    // reader that reads them one at a time (made with the first).
    std::deque<int> wanted;
    std::unique_ptr<RowReader> reader;

    QString baseTable;
    QStringList baseColumns;  // lower case; read at the first store
    bool baseColumnsRead = false;

    DataSetRows(int pageSize, int pages) : cache(pageSize, pages) {}
    int count() const { return keyed() ? keys().size() : int(rows.size()); }
    // Rows still to come (a count or a read): new rows stored here go after them.
    bool openEnded() const { return countPending || loading; }
    void readBaseColumns(const QSqlDatabase& db)
    {
        if (baseColumnsRead)
            return;
        const QSqlRecord rec = db.record(baseTable);
        for (int i = 0; i < rec.count(); ++i)
            baseColumns << rec.fieldName(i).toLower();
        baseColumnsRead = true;
    }
};
