#pragma once
// What the desk does with its line beyond taking calls: dialling a number
// (from the card or the call list) through a device that can dial, logging
// the outgoing call in 去电数据, and keeping the calls nobody answered in
// 未接来电 with the count the operator has not looked at yet.

#include <QDateTime>
#include <QObject>
#include <QString>

class CallerIdDevice;
class DataModule;

class PhoneLine : public QObject {
    Q_OBJECT
public:
    PhoneLine(DataModule& dm, CallerIdDevice& device, QObject* parent = nullptr);

    // Whether 拨号 is offered: the device in use can dial now.
    bool canDial() const;
    // Dials and, when the device took it, logs the outgoing call with the
    // names it was dialled from.  The answer says whether the device took it.
    bool dial(const QString& number, const QString& contact = {}, const QString& company = {});

    // Missed calls not yet looked at (counted again from the database).
    int unseen();
    // The operator has looked at the list: nothing is unseen any more.
    void markSeen();

signals:
    // Whether 拨号 can be offered has changed.
    void dialChanged(bool possible);
    void dialled(const QString& number);
    // The count of unseen missed calls has changed.
    void unseenChanged(int unseen);

private:
    void callMissed(int deviceId, const QDateTime& when, const QString& number, const QString& name);

    DataModule& dm_;
    CallerIdDevice& device_;
};

// The status bar's text for unseen missed calls (empty for none).
QString unseenMissedText(int unseen);
// Said when the line could not take a number to dial.
QString cannotDialText(const QString& number);
