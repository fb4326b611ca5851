// The rows of a data set that are still coming: a count of a long list and
// a background read of its keys, and the rows that arrive from them.

#include "data/dataset/dataset.h"

#include <QPointer>
#include <QSqlError>
#include <QSqlQuery>

#include "data/connection/connection.h"
#include "data/dataset/datasetrows.h"

void DataSet::takeLoaded()
{
    if (!store_ || !store_->loading)
        return;
    DataSetRows& st = *store_;
    const std::vector<qint64> keys = st.read->take();
    const int at = st.keys().frontKnown();
    int n = 0;
    for (qint64 key : keys) {
        // Stored or deleted here after the read began: already where it belongs.
        if (st.seenHere.contains(key))
            continue;
        st.keys().appendFront(key);
        ++n;
    }
    rowsArrived(at, n);
}

void DataSet::rowsArrived(int at, int n)
{
    if (n <= 0)
        return;
    DataSetRows& st = *store_;
    const bool behind = st.keys().backKnown() > 0;  // rows stored here stand after them
    if (behind) {
        st.cache.invalidateFrom(at);
        if (cur_ >= at)
            cur_ += n;
        if (insertPos_ >= at)
            insertPos_ += n;
    }
    if (cur_ < 0 && state_ == State::Browse) {
        // The first rows of a list that opened empty: the first is current.
        cur_ = 0;
        eof_ = false;
        if (behind || disabled_) {
            notifyLayout();
        } else {
            emit rowsAppended(at, n);
        }
        notifyRecord();
        return;
    }
    if (behind)
        notifyLayout();
    else if (disabled_)
        pendingLayout_ = true;
    else
        emit rowsAppended(at, n);
}

void DataSet::loadEnded(const WorkOutcome& outcome)
{
    if (!store_ || !store_->loading)
        return;
    takeLoaded();
    DataSetRows& st = *store_;
    st.loading = false;
    st.read.reset();
    st.seenHere.clear();
    if (!outcome.ok) {
        st.partial = true;
        if (!outcome.stopped)
            reportLater(name_ + QStringLiteral("：没有读完，只列出了已找到的记录。\n") + outcome.error);
    }
    if (st.count() == 0)
        eof_ = bof_ = true;
    runHeldEvents();
    emit loadingChanged(false);
}

void DataSet::endLoad()
{
    if (!store_ || !store_->read)
        return;
    const QPointer<BackgroundWork> work = store_->read->work();
    store_->read.reset();
    store_->loading = false;
    if (!work)
        return;
    work->stop();
    // Stopped where it reads: the thread ends within a moment.
    work->wait();
}

void DataSet::finishLoad()
{
    if (!store_ || !store_->loading || !store_->read || !store_->read->work())
        return;
    // Its end arrives through finished(), at once.
    store_->read->work()->wait();
}

void DataSet::stopLoading()
{
    if (store_ && store_->read && store_->read->work())
        store_->read->work()->stop();
}

bool DataSet::loading() const { return store_ && store_->loading; }

bool DataSet::partial() const { return store_ && store_->partial; }

bool DataSet::readsByKey() const { return store_ && store_->keyed(); }

bool DataSet::eventsHeld() const { return store_ && store_->openEnded(); }

void DataSet::runHeldEvents()
{
    if (!isActive() || eventsHeld())
        return;
    // The open's events, held back until now, in the order of the opens.
    if (connection_)
        connection_->finishCountsBefore(openedAs_);
    if (afterOpen_)
        afterOpen_(*this);
    doAfterScroll();
}

void DataSet::startCount()
{
    DataSetRows& st = *store_;
    st.storedMeanwhile = 0;
    const int generation = generation_;
    st.counting = std::make_unique<BackgroundCount>(
        connection_->sharedEngine(), connection_->location(), st.paging->countStatement(), this,
        [this, generation] { countArrived(generation); }, st.paging->amongStatement());
}

void DataSet::endCount()
{
    if (store_)
        store_->counting.reset();  // cancelled: interrupted, its result discarded
}

void DataSet::countArrived(int generation)
{
    if (generation == generation_)
        finishCount();
}

void DataSet::finishCount()
{
    if (!store_ || !store_->countPending)
        return;
    settleCount(true);
    runHeldEvents();
}

void DataSet::settleCount(bool announce)
{
    DataSetRows& st = *store_;
    st.countPending = false;
    const std::unique_ptr<BackgroundCount> counting = std::move(st.counting);
    qint64 count = counting ? counting->wait() : -1;
    if (count >= 0) {
        count += st.storedMeanwhile;
    } else {
        // The count's own connection failed: count here instead, the rows
        // as they are now.
        QSqlQuery q(connection_->database());
        q.setForwardOnly(true);
        if (connection_->run(q, st.paging->countNowStatement()) && q.next())
            count = q.value(0).toLongLong() + st.storedMeanwhile;
        else
            reportLater(connection_->failure(q).message());
    }
    st.storedMeanwhile = 0;
    const int known = st.keys().size();
    if (count > known) {
        // The rows not known yet stand between those read from the front
        // and those stored here meanwhile.
        const int at = known - st.keys().backKnown();
        st.keys().setCount(int(count));
        if (!announce)
            return;
        rowsArrived(at, int(count) - known);
    }
}

bool DataSet::countPending() const { return store_ && store_->countPending; }

int DataSet::openedAs() const { return openedAs_; }


int DataSet::recordCount() const { return store_ ? store_->count() : 0; }

int DataSet::waitForCount()
{
    finishCount();
    finishLoad();
    return recordCount();
}

int DataSet::countReaching(int row)
{
    if (store_ && store_->openEnded() && row >= store_->count()) {
        finishCount();
        finishLoad();
    }
    return store_ ? store_->count() : 0;
}
