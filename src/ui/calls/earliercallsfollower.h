#pragma once
// Keeps the panels of earlier calls in step with the customer card: for a
// call record on the card, the calls from its number logged before it; for
// a customer, every call from the customer's numbers (手机, 电话, 宅电).
// The panels follow the card as the operator moves through either list, and
// a call logged now shows as soon as it is read.  The calls are read on a
// connection of their own beside the window (a number called often has
// thousands), so that neither a move nor a call waits for them; what is read
// for a record the card has left meanwhile is dropped and read anew.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

class DataModule;
class DataSet;
class DataSource;
class EarlierCallsPanel;
class RowReader;

class EarlierCallsFollower : public QObject {
    Q_OBJECT
public:
    EarlierCallsFollower(DataModule& dm, QList<EarlierCallsPanel*> panels, QObject* parent);
    ~EarlierCallsFollower() override;

    // The data the card shows now.
    void follow(DataSource* source);
    // Starts reading the calls of the card's record now (otherwise that
    // starts at the next turn of the event loop, once the record has
    // settled); the panels are filled when they are read.
    void refresh();
    // A read is under way.
    bool reading() const { return reader_ != nullptr; }

    // Calls a panel lists at most.
    static constexpr int kShownCalls = 50;

private:
    void refreshSoon(bool force);
    // What the card's record is: the data set, its key and its numbers.
    QString recordKey(DataSet* ds, QStringList* numbers, qint64* beforeId) const;
    void read(const QString& key, const QStringList& numbers, qint64 beforeId, bool callRow);
    void clearPanels();

    DataModule& dm_;
    QList<EarlierCallsPanel*> panels_;
    QPointer<DataSource> source_;
    QTimer timer_;
    QString shownKey_;  // the record the panels show; empty when forced
    std::unique_ptr<RowReader> reader_;  // the read under way
    bool readAgain_ = false;              // the record or its calls changed meanwhile
};

// "共 N 次来电": the title over a customer's calls.
QString customerCallsText(qint64 calls);
