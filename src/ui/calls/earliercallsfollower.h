#pragma once
// Keeps the panels of earlier calls in step with the customer card: for a
// call record on the card, the calls from its number logged before it; for
// a customer, every call from the customer's numbers (手机, 电话, 宅电).
// The panels follow the card as the operator moves through either list, and
// a call logged now shows at once.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class DataModule;
class DataSet;
class DataSource;
class EarlierCallsPanel;

class EarlierCallsFollower : public QObject {
    Q_OBJECT
public:
    EarlierCallsFollower(DataModule& dm, QList<EarlierCallsPanel*> panels, QObject* parent);

    // The data the card shows now.
    void follow(DataSource* source);
    // Fills the panels now (they otherwise follow at the next turn of the
    // event loop, once the card's record has settled).
    void refresh();

    // Calls a panel lists at most.
    static constexpr int kShownCalls = 50;

private:
    void refreshSoon(bool force);
    // What the card's record is: the data set, its key and its numbers.
    QString recordKey(DataSet* ds, QStringList* numbers, qint64* beforeId) const;

    DataModule& dm_;
    QList<EarlierCallsPanel*> panels_;
    QPointer<DataSource> source_;
    QTimer timer_;
    QString shownKey_;  // the record the panels show; empty when forced
};

// "共 N 次来电": the title over a customer's calls.
QString customerCallsText(qint64 calls);
