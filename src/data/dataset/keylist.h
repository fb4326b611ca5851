#pragma once
// The keys of a data set's rows, in the data set's order, when the number of
// rows is known before the keys are.  Keys arrive from either end (the first
// rows from the front, the last rows from the back); the rows between are
// not known yet.  Rows can be inserted and removed where keys are known, at
// a cost that does not grow with the number of rows.

#include <QtGlobal>
#include <deque>
#include <vector>

class KeyList {
public:
    // `count` rows, no key known.
    void reset(int count);
    // Every key known.
    void resetKnown(std::vector<qint64> keys);

    int size() const { return count_; }
    int frontKnown() const { return int(front_.size()); }
    int backKnown() const { return int(back_.size()); }
    int unknown() const { return count_ - frontKnown() - backKnown(); }
    bool isKnown(int row) const
    {
        return row >= 0 && row < count_ && (row < frontKnown() || row >= count_ - backKnown());
    }
    qint64 at(int row) const;  // the row's key must be known

    // More rows than known so far (their keys unknown, between the two ends).
    void setCount(int count);

    // The next unknown row from the front / from the back gets its key.
    void pushFront(qint64 key);
    void pushBack(qint64 key);
    // One row more, known, right after the rows known from the front (rows
    // read as they come) / as the new last row, after any unknown rows.
    void appendFront(qint64 key);
    void appendBack(qint64 key);

    // A new row at `row`: 0 ... size(); the rows on either side of it must be
    // known, or it goes at an end.
    void insert(int row, qint64 key);
    void remove(int row);  // the row's key must be known

private:
    int count_ = 0;
    std::deque<qint64> front_;  // rows 0, 1, ...
    std::deque<qint64> back_;   // rows count-1, count-2, ...
};
