#include "ui/desktop/desktopnotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QVariantMap>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kAppName = QStringLiteral("Tavrin来电显示");
const QString kIcon = QStringLiteral("org.tavrin.Tavrin");
constexpr int kCallTimeoutMs = 2000;
// A call's notification is news for a while, not an alarm: normal urgency,
// gone by itself after this long (it stays in the desktop's list).
constexpr int kShownMs = 30000;
constexpr uchar kNormalUrgency = 1;
}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : DesktopNotifier(QDBusConnection::sessionBus(), parent) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus)
{
    if (bus_.isConnected())
        bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(onActionInvoked(uint, QString)));
}

bool DesktopNotifier::available() const
{
    if (!bus_.isConnected() || !bus_.interface())
        return false;
    const QDBusReply<bool> owned = bus_.interface()->isServiceRegistered(kService);
    return owned.isValid() && owned.value();
}

void DesktopNotifier::notify(const QString& summary, const QString& body, int tag)
{
    if (!bus_.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // The "default" action is what a click on the notification itself runs.
    const QStringList actions{QStringLiteral("default"), QStringLiteral("查看")};
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), kIcon);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kNormalUrgency));
    call << kAppName << uint(0) << kIcon << summary << body << actions << hints << kShownMs;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, tag] {
        const QDBusPendingReply<uint> reply = *watcher;
        watcher->deleteLater();
        if (reply.isError())
            return;  // no service: the program goes on without notifications
        tags_.insert(reply.value(), tag);
        emit shown(tag);
    });
}

DesktopNotifier::~DesktopNotifier() { withdrawAll(); }

void DesktopNotifier::withdrawAll()
{
    if (!bus_.isConnected() || tags_.isEmpty())
        return;
    for (auto it = tags_.cbegin(); it != tags_.cend(); ++it) {
        QDBusMessage close = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
        close << it.key();
        bus_.send(close);
    }
    tags_.clear();
    // Messages on one connection arrive in order: once this answer is back
    // every withdrawal has reached the service, before the program ends.
    bus_.call(QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities")),
              QDBus::Block, kCallTimeoutMs);
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    Q_UNUSED(action);
    const auto it = tags_.constFind(id);
    if (it != tags_.constEnd())
        emit activated(it.value());
}
