#pragma once
// The rows a data set has fetched, kept in pages of consecutive rows.  At
// most a fixed number of pages is kept; the page used least recently goes
// first.  Rows are handed out by value (the values are shared, not copied),
// so nothing handed out can dangle when its page goes.

#include <QHash>
#include <QVariant>
#include <QVector>
#include <list>
#include <optional>

class RowCache {
public:
    using Row = QVector<QVariant>;

    explicit RowCache(int pageSize = 100, int maxPages = 64);

    int pageSize() const { return pageSize_; }
    int pageOf(int row) const { return row / pageSize_; }
    int firstRowOf(int page) const { return page * pageSize_; }
    int maxPages() const { return maxPages_; }
    int pageCount() const { return int(pages_.size()); }

    // The row when its page is kept; marks the page as just used.
    std::optional<Row> find(int row);
    bool contains(int row) const;

    // Keeps the rows of a page (the page's first row first; the last page of
    // a table may be short).  May evict the page used least recently.
    void putPage(int page, QVector<Row> rows);

    // Replaces the values of a kept row; false when its page is not kept.
    bool update(int row, const Row& values);

    // Rows from `row` on have moved (a row was inserted or removed there):
    // every page holding such a row is dropped.
    void invalidateFrom(int row);
    void clear();
    // Grows with every change of kept rows (update, invalidateFrom, clear):
    // rows read before a change may be older than those kept.
    int changes() const { return changes_; }

private:
    void touch(int page);
    int pageSize_;
    int maxPages_;
    QHash<int, QVector<Row>> pages_;
    std::list<int> lru_;  // least recently used first
    int changes_ = 0;
};
