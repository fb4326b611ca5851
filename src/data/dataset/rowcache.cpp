#include "data/dataset/rowcache.h"

#include <algorithm>

RowCache::RowCache(int pageSize, int maxPages)
    : pageSize_(std::max(1, pageSize)), maxPages_(std::max(1, maxPages))
{
}

void RowCache::touch(int page)
{
    auto it = std::find(lru_.begin(), lru_.end(), page);
    if (it != lru_.end())
        lru_.splice(lru_.end(), lru_, it);
}

std::optional<RowCache::Row> RowCache::find(int row)
{
    if (row < 0)
        return std::nullopt;
    const int page = pageOf(row);
    auto it = pages_.constFind(page);
    if (it == pages_.constEnd())
        return std::nullopt;
    const int at = row - firstRowOf(page);
    if (at >= it.value().size())
        return std::nullopt;
    touch(page);
    return it.value().at(at);
}

bool RowCache::contains(int row) const
{
    if (row < 0)
        return false;
    const int page = pageOf(row);
    auto it = pages_.constFind(page);
    return it != pages_.constEnd() && row - firstRowOf(page) < it.value().size();
}

void RowCache::putPage(int page, QVector<Row> rows)
{
    if (page < 0)
        return;
    if (pages_.contains(page)) {
        pages_[page] = std::move(rows);
        touch(page);
        return;
    }
    while (int(lru_.size()) >= maxPages_) {
        pages_.remove(lru_.front());
        lru_.pop_front();
    }
    pages_.insert(page, std::move(rows));
    lru_.push_back(page);
}

bool RowCache::update(int row, const Row& values)
{
    ++changes_;
    if (row < 0)
        return false;
    const int page = pageOf(row);
    auto it = pages_.find(page);
    if (it == pages_.end())
        return false;
    const int at = row - firstRowOf(page);
    if (at >= it.value().size())
        return false;
    it.value()[at] = values;
    return true;
}

void RowCache::invalidateFrom(int row)
{
    ++changes_;
    const int from = pageOf(std::max(0, row));
    for (auto it = lru_.begin(); it != lru_.end();) {
        if (*it >= from) {
            pages_.remove(*it);
            it = lru_.erase(it);
        } else {
            ++it;
        }
    }
}

void RowCache::clear()
{
    ++changes_;
    pages_.clear();
    lru_.clear();
}
