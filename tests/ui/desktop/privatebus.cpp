#include "privatebus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFile>
#include <QSignalSpy>

PrivateBus::PrivateBus()
{
    const QString config = dir_.filePath(QStringLiteral("bus.conf"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:dir=");
    f.write(dir_.path().toUtf8());
    f.write("</listen><auth>EXTERNAL</auth><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n");
    f.close();
    daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                  QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000))
        return;
    for (int i = 0; i < 50 && !daemon_.canReadLine(); ++i)
        daemon_.waitForReadyRead(100);
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus()
{
    daemon_.kill();
    daemon_.waitForFinished(3000);
}

QDBusConnection PrivateBus::connect(const QString& name) const
{
    // Connection names are the process's: each bus has names of its own, so
    // that a test never gets a connection to the bus of a test before it.
    return QDBusConnection::connectToBus(address_, name + QLatin1Char('@') + address_);
}

bool roundTrip(const QDBusConnection& bus)
{
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    QDBusPendingCallWatcher answered(bus.asyncCall(ping));
    QSignalSpy finished(&answered, &QDBusPendingCallWatcher::finished);
    return finished.wait(10000);
}

FakeNotificationService::FakeNotificationService(QDBusConnection bus) : bus_(bus)
{
    bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
    bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

FakeNotificationService::~FakeNotificationService()
{
    bus_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    bus_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

void FakeNotificationService::click(uint id) { emit ActionInvoked(id, QStringLiteral("default")); }

uint FakeNotificationService::Notify(const QString&, uint, const QString& icon, const QString& summary,
                                     const QString& body, const QStringList& actions, const QVariantMap& hints,
                                     int timeout)
{
    shown.append(Shown{summary, body, icon, actions,
                       hints.contains(QStringLiteral("urgency")) ? hints.value(QStringLiteral("urgency")).toInt() : -1,
                       timeout});
    return uint(shown.size());
}

void FakeNotificationService::CloseNotification(uint id) { closed.append(id); }

QStringList FakeNotificationService::GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
