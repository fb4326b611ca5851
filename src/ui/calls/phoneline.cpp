#include "ui/calls/phoneline.h"

#include "data/module/datamodule.h"
#include "data/calls/callkinds.h"
#include "rules/errors/errorreport.h"
#include "ui/calls/device.h"

QString unseenMissedText(int unseen)
{
    return unseen > 0 ? QStringLiteral("未接来电 %1 个").arg(unseen) : QString();
}

QString cannotDialText(const QString& number)
{
    return QStringLiteral("无法拨号 %1：来电设备现在不能拨号。").arg(number);
}

PhoneLine::PhoneLine(DataModule& dm, CallerIdDevice& device, QObject* parent)
    : QObject(parent), dm_(dm), device_(device)
{
    connect(&device, &CallerIdDevice::stateChanged, this, [this] { emit dialChanged(canDial()); });
    connect(&device, &CallerIdDevice::callUnanswered, this, &PhoneLine::callMissed);
}

bool PhoneLine::canDial() const { return device_.canDial(); }

bool PhoneLine::dial(const QString& number, const QString& contact, const QString& company)
{
    if (!device_.dial(number)) {
        errorreport::report(cannotDialText(number));
        return false;
    }
    emit dialled(number);
    guarded([&] {
        logOutgoingCall(dm_.connection.database(), {number.trimmed(), QDateTime::currentDateTime(), contact, company});
    });
    return true;
}

void PhoneLine::callMissed(int, const QDateTime& when, const QString& number, const QString& name)
{
    guarded([&] {
        logMissedCall(dm_.connection.database(), {number, when.isValid() ? when : QDateTime::currentDateTime(), name});
    });
    emit unseenChanged(unseen());
}

int PhoneLine::unseen()
{
    int n = 0;
    const QSqlDatabase db = dm_.connection.database();
    if (db.isOpen())
        guarded([&] { n = unseenMissedCalls(db); });
    return n;
}

void PhoneLine::markSeen()
{
    guarded([&] { markMissedCallsSeen(dm_.connection.database()); });
    emit unseenChanged(unseen());
}
