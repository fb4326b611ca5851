#include "ui/calls/callhandling.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTimer>

#include "rules/app/errorreport.h"
#include "rules/calls/randomgen.h"
#include "rules/app/statementtext.h"
#include "ui/calls/device.h"
#include "data/app/datamodule.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"
#include "ui/web/websearch.h"

QString callNotLoggedText(const QString& number)
{
    return QStringLiteral("数据库没有打开：来电 %1 没有记入来电数据，也无法查找客户。").arg(number);
}

QColor blinkColour(const QColor& current, const QColor& background)
{
    const QColor red(Qt::red);
    return current.rgba() == red.rgba() ? background : red;
}

CallHandling::CallHandling(const CallParts& parts, QObject* parent) : QObject(parent), p_(parts)
{
    CallerIdDevice* box = p_.device;
    connect(box, &CallerIdDevice::comingCall, this, &CallHandling::onIncomingNumber);
    connect(box, &CallerIdDevice::ring, this, &CallHandling::onRing);
    connect(box, &CallerIdDevice::phoneHandoff, this, &CallHandling::onHangUp);
    connect(p_.numberField, &QLineEdit::returnPressed, this, &CallHandling::onNumberEntered);
    connect(p_.blinkTimer, &QTimer::timeout, this, &CallHandling::blinkAnnouncement);
    stepTimer_.setSingleShot(true);
    connect(&stepTimer_, &QTimer::timeout, this, &CallHandling::nextStep);
}

void CallHandling::setNumber(const QString& number)
{
    if (p_.numberField->text() == number)
        return;
    p_.numberField->setText(number);
    onNumber(number);
}

void CallHandling::onNumberEntered()
{
    const QString number = p_.numberField->text();
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
    p_.numberField->setText(callNumber);
    onNumber(callNumber);
}

void CallHandling::onRing(int deviceId)
{
    p_.lineStatus->appendPlainText(QStringLiteral("设备：%1 电话振铃...").arg(deviceId));
}

void CallHandling::onHangUp(int deviceId)
{
    hungUp_ = true;
    p_.lineStatus->appendPlainText(QStringLiteral("设备：%1 电话挂机...").arg(deviceId));
}

void CallHandling::onNumber(const QString& number)
{
    // What is still due of the call before comes first.
    finishPending();
    // The three searches follow on timers once the call is announced.
    guarded([&] { p_.webTabs->searchNumber(number); });
    if (!number.isEmpty() && !p_.dm->callTable.isActive()) {
        // Without a database the caller is still announced, and the operator
        // learns that the call went unrecorded.
        p_.setCardSource(&p_.dm->callSource);
        p_.webTabs->showTabQuietly(p_.googleTab);
        announce(newCallerText);
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
    const bool looked = guarded([&] { known = lookUpCaller(number); });
    later([this, number] {
        guarded([&] {
            p_.setCardSource(&p_.dm->callSource);
            logCall(number);
            p_.webTabs->showTabQuietly(p_.googleTab);
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

void CallHandling::logCall(const QString& number)
{
    if (number.isEmpty())
        return;
    // While long work holds the database the row waits and follows it.
    p_.dm->logCall(callRecord(number, QDateTime::currentDateTime()));
}

bool CallHandling::lookUpCaller(const QString& number)
{
    if (number.isEmpty())
        return false;
    DataModule& dm = *p_.dm;
    const QString local = lookupNumber(number);
    composeStatement(p_.statementBuffer, lookupStatementLines(local));
    bool known = false;
    if (!local.isEmpty()) {
        // What runs is the statement in the buffer checked on the numbers'
        // digits, best match first: through the index once it is there.
        dm.lookupTable.reopen(dm.connection.hasNumberIndex() ? indexedLookupStatement(number) : digitsLookupStatement(number));
        known = dm.lookupTable.recordCount() > 0;
    }
    // Nothing left after the area code: no customer can be this caller.
    announce(known ? knownCallerText : newCallerText);
    return known;
}

void CallHandling::showKnownCaller()
{
    DataModule& dm = *p_.dm;
    // The customer list takes the lookup's rows; the statement is not run
    // again.  Unsaved typing on a customer is stored first (or kept, with a
    // message, when it cannot be).
    if (dm.customerTable.reopenWith(dm.lookupTable))
        p_.setCardSource(&dm.customerSource);
    p_.webTabs->showTabQuietly(p_.customerTab);
    p_.customerSideBrowser->navigate(webaddr::callerSidePage(programRandom().below(10)));
}

void CallHandling::announce(const QString& text)
{
    blinkCounter_ = 0;
    p_.blinkTimer->stop();
    p_.blinkTimer->start();
    // A new announcement is seen at once, also when the one before was in
    // the dark half of its blink.
    QPalette pal = p_.announcement->palette();
    pal.setColor(QPalette::WindowText, QColor(Qt::red));
    p_.announcement->setPalette(pal);
    p_.announcement->setText(text);
    p_.announcement->repaint();
}

void CallHandling::blinkAnnouncement()
{
    ++blinkCounter_;
    QPalette pal = p_.announcement->palette();
    pal.setColor(QPalette::WindowText,
                 blinkColour(pal.color(QPalette::WindowText), p_.background->palette().color(QPalette::Window)));
    p_.announcement->setPalette(pal);
    p_.announcement->repaint();
    if (blinkCounter_ == kBlinkTicks)
        p_.blinkTimer->stop();
}
