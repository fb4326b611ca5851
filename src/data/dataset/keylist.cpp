#include "data/dataset/keylist.h"

void KeyList::reset(int count)
{
    count_ = count;
    front_.clear();
    back_.clear();
}

void KeyList::resetKnown(std::vector<qint64> keys)
{
    count_ = int(keys.size());
    front_.assign(keys.begin(), keys.end());
    back_.clear();
}

qint64 KeyList::at(int row) const
{
    Q_ASSERT(isKnown(row));
    if (row < frontKnown())
        return front_[row];
    return back_[count_ - 1 - row];
}

void KeyList::pushFront(qint64 key)
{
    Q_ASSERT(unknown() > 0);
    front_.push_back(key);
}

void KeyList::pushBack(qint64 key)
{
    Q_ASSERT(unknown() > 0);
    back_.push_back(key);
}

void KeyList::appendFront(qint64 key)
{
    front_.push_back(key);
    ++count_;
}

void KeyList::appendBack(qint64 key)
{
    back_.push_front(key);
    ++count_;
}

void KeyList::insert(int row, qint64 key)
{
    Q_ASSERT(row >= 0 && row <= count_);
    if (row <= frontKnown()) {
        front_.insert(front_.begin() + row, key);
    } else {
        Q_ASSERT(row >= count_ - backKnown());
        back_.insert(back_.begin() + (count_ - row), key);
    }
    ++count_;
}

void KeyList::remove(int row)
{
    Q_ASSERT(isKnown(row));
    if (row < frontKnown())
        front_.erase(front_.begin() + row);
    else
        back_.erase(back_.begin() + (count_ - 1 - row));
    --count_;
}

void KeyList::setCount(int count)
{
    Q_ASSERT(count >= frontKnown() + backKnown());
    count_ = count;
}
