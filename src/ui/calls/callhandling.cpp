#include "ui/calls/callhandling.h"

#include "rules/errors/errorreport.h"
#include "rules/statements/statementbuffer.h"
#include "rules/calls/numberregion.h"
#include "rules/calls/randomgen.h"
#include "data/module/datamodule.h"
#include "data/connection/serverstallguard.h"
#include "ui/calls/callscreen.h"
#include "ui/calls/device.h"
#include "ui/web/addresses.h"

#include <optional>
#include <utility>
#include "rules/statements/tablenames.h"

QString callNotLoggedText(const QString& number)
{
    return QStringLiteral("数据库没有打开：来电 %1 已记在本机，数据库打开后自动记入来电数据；现在无法查找客户。")
        .arg(number);
}

CallHandling::CallHandling(DataModule& dm, CallerIdDevice& device, CallScreen& screen,
                           StatementBuffer& statements, QObject* parent)
    : QObject(parent), dm_(dm), screen_(screen), statements_(statements)
{
    connect(&device, &CallerIdDevice::comingCall, this, &CallHandling::onIncomingNumber);
    connect(&device, &CallerIdDevice::ring, this, &CallHandling::onRing);
    connect(&device, &CallerIdDevice::phoneHandoff, this, &CallHandling::onHangUp);
    stepTimer_.setObjectName(QStringLiteral("callSteps"));
    stepTimer_.setSingleShot(true);
    connect(&stepTimer_, &QTimer::timeout, this, &CallHandling::nextStep);
    // A caller who could not be looked up is looked up once the database
    // answers again; a known customer then comes up as usual.
    connect(&dm, &DataModule::serverBack, this, &CallHandling::catchUpLookup);
    connect(&dm.connection, &Connection::writesHeldChanged, this, [this](bool held) {
        if (!held)
            catchUpLookup();
    });
    connect(&dm.connection, &Connection::busyChanged, this, [this](bool busy) {
        if (!busy)
            catchUpLookup();
    });
}

void CallHandling::catchUpLookup()
{
    const QString number = std::exchange(lookUpLater_, QString());
    // Only while the operator still has that caller in front of them.
    if (number.isEmpty() || screen_.number() != number || !pending_.isEmpty() || !dm_.callTable.isActive())
        return;
    bool known = false;
    if (lookUpOrAnnounce(number, &known) && known)
        guarded([this] { showKnownCaller(); });
}

void CallHandling::setNumber(const QString& number)
{
    if (screen_.number() == number)
        return;
    screen_.showNumber(number);
    onNumber(number);
}

void CallHandling::onNumberEntered()
{
    const QString number = screen_.number();
    if (!number.isEmpty())
        onNumber(number);
}

void CallHandling::onIncomingNumber(int, const QDateTime&, const QString& callNumber,
                                              const QString&)
{
    // The box repeating itself: the number it reported last, no hang-up
    // since.  What the field shows does not count (the operator may have
    // typed this very number).
    const bool repeated = !hungUp_ && boxReported_ && sameNumber(callNumber, boxNumber_);
    hungUp_ = false;
    boxReported_ = true;
    boxNumber_ = callNumber;
    if (repeated)
        return;
    screen_.showNumber(callNumber);
    onNumber(callNumber);
}

void CallHandling::onRing(int deviceId)
{
    screen_.appendLineStatus(QStringLiteral("设备：%1 电话振铃...").arg(deviceId));
}

void CallHandling::onHangUp(int deviceId)
{
    hungUp_ = true;
    screen_.appendLineStatus(QStringLiteral("设备：%1 电话挂机...").arg(deviceId));
}

void CallHandling::onNumber(const QString& number)
{
    // What is still due of the call before comes first.
    finishPending();
    // The three searches follow on timers once the call is announced.
    guarded([&] { screen_.searchWeb(number); });
    // Where the number belongs is known in process, in far less than a
    // millisecond: it is shown with the announcement, known caller or new.
    if (!number.isEmpty())
        screen_.showRegion(number, numberRegion(number));
    if (!number.isEmpty() && !dm_.callTable.isActive() && !dm_.callCourier().serves()) {
        // Without a database the caller is still announced, and the operator
        // learns that the call went unrecorded.
        screen_.setCardSource(&dm_.callSource);
        screen_.showTabQuietly(WebTab::Google);
        screen_.announce(newCallerText);
        guarded([&] { dm_.journalCall(callRecord(number, QDateTime::currentDateTime())); });
        errorreport::report(callNotLoggedText(number));
        return;
    }
    // The announcement comes first: the lookup through the index is quick,
    // and the operator sees who calls at once.  Logging the call and
    // bringing up the customer follow in turns of their own, so that the
    // window never stands still for long.  A failure of the lookup does not
    // keep the call from being logged, nor a failure of the log the known
    // customer from being shown.
    bool known = false;
    const bool looked = lookUpOrAnnounce(number, &known);
    // A known caller's call is logged with the best match's names.
    QString contact, company;
    if (looked && known) {
        DataSet& found = dm_.lookupTable;
        if (found.findField(QStringLiteral("联系人")) >= 0)
            contact = found.text(QStringLiteral("联系人"));
        if (found.findField(QStringLiteral("公司名称")) >= 0)
            company = found.text(QStringLiteral("公司名称"));
    }
    // The call is on disk in the journal before this turn ends; its row in
    // 来电数据 follows in a turn of its own.
    std::optional<JournalledCall> journalled;
    if (!number.isEmpty())
        guarded([&] { journalled = dm_.journalCall(callWithNames(number, contact, company)); });
    later([this, journalled] {
        guarded([&] {
            screen_.setCardSource(&dm_.callSource);
            if (journalled)
                storeCall(*journalled);
            screen_.showTabQuietly(WebTab::Google);
        });
    });
    if (looked && known)
        later([this] { guarded([this] { showKnownCaller(); }); });
}

void CallHandling::later(std::function<void()> step)
{
    pending_.append(std::move(step));
    if (!stepTimer_.isActive())
        stepTimer_.start(0);
}

void CallHandling::nextStep()
{
    if (pending_.isEmpty())
        return;
    const std::function<void()> step = pending_.takeFirst();
    if (!pending_.isEmpty())
        stepTimer_.start(0);
    step();
}

void CallHandling::finishPending()
{
    stepTimer_.stop();
    while (!pending_.isEmpty())
        pending_.takeFirst()();
}

QString lookupDelayedText(const QString& why)
{
    return QStringLiteral("数据库暂时没有应答，来电已记下，客户没能查到（") + why +
           QStringLiteral("）。稍后可在客户列表里查找这个号码。");
}

CallRecord callWithNames(const QString& number, const QString& contact, const QString& company)
{
    CallRecord call = callRecord(number, QDateTime::currentDateTime());
    call.contact = contact;
    call.company = company;
    return call;
}

void CallHandling::logCall(const QString& number, const QString& contact, const QString& company)
{
    if (number.isEmpty())
        return;
    storeCall(dm_.journalCall(callWithNames(number, contact, company)));
}

void CallHandling::storeCall(const JournalledCall& call)
{
    // While long work holds the database the row waits in the journal and
    // follows it.
    if (dm_.storeCall(call) && dm_.callTable.isActive() && dm_.callTable.findField(QStringLiteral("ID")) >= 0)
        screen_.callLogged(dm_.callTable.value(QStringLiteral("ID")).toLongLong());
}

// A server that cannot be reached knows no caller: the call is announced
// all the same (the status bar says why nobody is found), and kept.
bool CallHandling::lookUpOrAnnounce(const QString& number, bool* known)
{
    lookUpLater_.clear();
    if (!number.isEmpty() && (dm_.serverAway() || !dm_.callTable.isActive())) {
        screen_.announce(newCallerText);
        lookUpLater_ = number;
        return false;
    }
    try {
        const CallOnItsWay onItsWay;
        *known = lookUpCaller(number);
        return true;
    } catch (const DbError& e) {
        // A database that is away, slow or held by long work (a lock that
        // was not let go in time): the caller is announced as far as can be
        // told, and the call is kept all the same.
        if (dm_.serverAway() || dm_.connection.writesHeld() || dm_.connection.busy()) {
            screen_.announce(newCallerText);
            screen_.sayInStatusBar(lookupDelayedText(e.message()));
            lookUpLater_ = number;
        } else {
            errorreport::reportCurrentException();
        }
        return false;
    } catch (...) {
        errorreport::reportCurrentException();
        return false;
    }
}

bool CallHandling::lookUpCaller(const QString& number)
{
    if (number.isEmpty())
        return false;
    const QString local = lookupNumber(number);
    statements_.compose(lookupStatementLines(local));
    bool known = false;
    if (!local.isEmpty()) {
        // What runs is the statement in the buffer checked on the numbers'
        // digits, best match first: through the index once it is there.
        dm_.lookupTable.reopen(WrittenStatement::of(
            dm_.connection.hasNumberIndex() ? indexedLookupStatement(number) : digitsLookupStatement(number),
            tables::customers()));
        known = dm_.lookupTable.recordCount() > 0;
    }
    // Nothing left after the area code: no customer can be this caller.
    screen_.announce(known ? knownCallerText : newCallerText);
    return known;
}

void CallHandling::showKnownCaller()
{
    // The customer list takes the lookup's rows; the statement is not run
    // again.  Unsaved typing on a customer is stored first (or kept, with a
    // message, when it cannot be).
    if (dm_.customerTable.reopenWith(dm_.lookupTable))
        screen_.setCardSource(&dm_.customerSource);
    screen_.showTabQuietly(WebTab::Customers);
    screen_.showCustomerSidePage(webaddr::callerSidePage(programRandom().below(10)));
}
