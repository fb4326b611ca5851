#pragma once
// What happens when a number arrives: the call is logged, the caller looked
// up among the customers and announced in blinking letters; ring and hang-up
// reports become lines of the line status box.

#include <QList>
#include <QObject>
#include <QTimer>
#include <QString>
#include <functional>

#include "rules/calls/callrules.h"

class CallScreen;
class CallerIdDevice;
class DataModule;
class StatementBuffer;
struct JournalledCall;

// The handling of the number field, owned by the main window.
//
// When a number is a new call:
//  - every Enter in the number field with a number in it (the operator
//    asked for it);
//  - a number from the caller-ID box, unless it is the number the box
//    reported last and the box has not reported a hang-up since (the box
//    repeating itself);
//  - a number of the call simulation that differs from the field's.
// Typing or clearing the field by hand runs nothing.
class CallHandling : public QObject {
    Q_OBJECT
public:
    CallHandling(DataModule& dm, CallerIdDevice& device, CallScreen& screen, StatementBuffer& statements,
                 QObject* parent);

    // The simulation's numbers: handled when they differ from the field's.
    void setNumber(const QString& number);

    // Events of the caller-ID box.
    void onIncomingNumber(int deviceId, const QDateTime& callTime, const QString& callNumber,
                          const QString& callName);
    void onRing(int deviceId);
    void onHangUp(int deviceId);

    // The handling of one call; errors reach the general error report.
    void onNumber(const QString& number);
    // Logs the call; a known caller's with the customer's names.
    void logCall(const QString& number, const QString& contact = {}, const QString& company = {});
    // Looks the caller up and announces; true for a known customer, whose
    // rows then wait in lookupTable for showKnownCaller().
    bool lookUpCaller(const QString& number);
    bool lookUpOrAnnounce(const QString& number, bool* known);
    // The customer list shows the matches, the card the first of them.
    void showKnownCaller();

    // Runs at once what is still due of the last call (its log and the
    // known customer follow the announcement in turns of their own).
    void finishPending();
    bool callPending() const { return !pending_.isEmpty(); }

    // Enter in the number field.
    void onNumberEntered();

private:
    void later(std::function<void()> step);
    void nextStep();
    void storeCall(const JournalledCall& call);
    void catchUpLookup();

    DataModule& dm_;
    CallScreen& screen_;
    StatementBuffer& statements_;
    QList<std::function<void()>> pending_;
    QTimer stepTimer_;
    bool hungUp_ = false;  // the box reported a hang-up since its last number
    bool boxReported_ = false;
    QString boxNumber_;    // the number the box reported last
    QString lookUpLater_;  // a caller the database could not look up in time
};

// The record of a call arriving now, with a known caller's names.
CallRecord callWithNames(const QString& number, const QString& contact, const QString& company);

// Said when a caller could not be looked up in time.
QString lookupDelayedText(const QString& why);

// Said when a call arrives while the database is not open.
QString callNotLoggedText(const QString& number);
