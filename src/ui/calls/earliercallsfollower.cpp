#include "ui/calls/earliercallsfollower.h"

#include <QTimer>
#include <exception>
#include <memory>

#include "data/dataset/rowreader.h"
#include "data/module/datamodule.h"
#include "data/numbers/callhistory.h"
#include "rules/errors/errorreport.h"
#include "ui/calls/earliercallspanel.h"

QString customerCallsText(qint64 calls)
{
    return QStringLiteral("共 ") + QString::number(calls) + QStringLiteral(" 次来电");
}

EarlierCallsFollower::EarlierCallsFollower(DataModule& dm, QList<EarlierCallsPanel*> panels, QObject* parent)
    : QObject(parent), dm_(dm), panels_(std::move(panels))
{
    timer_.setObjectName(QStringLiteral("earlierCallsRefresh"));
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &EarlierCallsFollower::refresh);
    // A call logged, removed or noted changes what every panel lists.
    DataSet& calls = dm_.callTable;
    connect(&calls, &DataSet::rowInserted, this, [this] { refreshSoon(true); });
    connect(&calls, &DataSet::rowRemoved, this, [this] { refreshSoon(true); });
    connect(&calls, &DataSet::stateChanged, this, [this] { refreshSoon(true); });
    connect(&calls, &DataSet::layoutChanged, this, [this] { refreshSoon(true); });
}

EarlierCallsFollower::~EarlierCallsFollower() = default;

void EarlierCallsFollower::follow(DataSource* source)
{
    if (source_ == source)
        return;
    if (source_)
        disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    if (source) {
        connect(source, &DataSource::recordChanged, this, [this] { refreshSoon(false); });
        connect(source, &DataSource::layoutChanged, this, [this] { refreshSoon(true); });
        connect(source, &DataSource::dataSetChanged, this, [this] { refreshSoon(true); });
    }
    refreshSoon(true);
}

void EarlierCallsFollower::refreshSoon(bool force)
{
    if (force)
        shownKey_.clear();
    timer_.start();
}

QString EarlierCallsFollower::recordKey(DataSet* ds, QStringList* numbers, qint64* beforeId) const
{
    if (!ds || !ds->isActive() || ds->state() == DataSet::State::Insert || ds->currentRow() < 0 ||
        !ds->recordReadable())
        return QStringLiteral("-");
    const bool callRow = ds == &dm_.callTable;
    QStringList columns{QStringLiteral("手机"), QStringLiteral("电话")};
    if (!callRow)
        columns << QStringLiteral("宅电");
    for (const QString& c : columns)
        if (ds->findField(c) >= 0)
            *numbers << ds->text(c);
    const int id = ds->findField(QStringLiteral("ID"));
    *beforeId = callRow && id >= 0 ? ds->value(id).toLongLong() : 0;
    return ds->name() + QLatin1Char('|') + QString::number(id >= 0 ? ds->value(id).toLongLong() : -1) +
           QLatin1Char('|') + numbers->join(QLatin1Char('|'));
}

void EarlierCallsFollower::refresh()
{
    timer_.stop();
    if (reader_) {
        // Read again once the read under way is in (and dropped).
        readAgain_ = true;
        return;
    }
    DataSet* ds = source_ ? source_->dataSet() : nullptr;
    QStringList numbers;
    qint64 beforeId = 0;
    const QString key = recordKey(ds, &numbers, &beforeId);
    if (key == shownKey_)
        return;  // the same record: typing on the card lists nothing new
    shownKey_ = key;
    if (historySpellings(numbers).isEmpty() || !dm_.connection.isConnected()) {
        clearPanels();
        return;
    }
    read(key, numbers, beforeId, ds == &dm_.callTable);
}

void EarlierCallsFollower::read(const QString& key, const QStringList& numbers, qint64 beforeId, bool callRow)
{
    struct Outcome {
        CallHistory history;
        std::exception_ptr failure;
    };
    auto outcome = std::make_shared<Outcome>();
    reader_ = std::make_unique<RowReader>(dm_.connection.sharedEngine(), dm_.connection.location(), this);
    reader_->start(
        [outcome, numbers, beforeId](QSqlDatabase& db) {
            try {
                outcome->history = earlierCalls(db, numbers, beforeId, kShownCalls);
            } catch (...) {
                outcome->failure = std::current_exception();  // reported by the window
            }
        },
        [this, outcome, key, callRow] {
            // The reader goes once this has run; its connection with it.
            QTimer::singleShot(0, this, [gone = std::shared_ptr<RowReader>(std::move(reader_))] {});
            if (readAgain_ || key != shownKey_) {
                readAgain_ = false;
                shownKey_.clear();
                refresh();
                return;
            }
            if (outcome->failure) {
                guarded([&] { std::rethrow_exception(outcome->failure); });
                clearPanels();
                return;
            }
            for (EarlierCallsPanel* p : panels_)
                p->showHistory(outcome->history, callRow ? QString() : customerCallsText(outcome->history.count));
        });
}

void EarlierCallsFollower::clearPanels()
{
    for (EarlierCallsPanel* p : panels_)
        p->clear();
}
