#pragma once
// Desktop notifications through the freedesktop notification service on the
// session bus.  Without the service (no desktop, no bus) nothing is shown
// and nothing is said: the program works as it does without them.

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);
    // Tests give a private bus.
    DesktopNotifier(const QDBusConnection& bus, QObject* parent);
    // Withdraws the notifications still shown (withdrawAll).
    ~DesktopNotifier() override;

    // A notification service answers on the bus.
    bool available() const;
    // Shows a notification without waiting for the service (a call is never
    // held up by the desktop); `tag` comes back with activated().
    // Sent with normal urgency and taken away after half a minute.
    void notify(const QString& summary, const QString& body, int tag);
    // Takes every notification shown by this program off the desktop (when
    // the program quits): a call's notification never outlives the program.
    void withdrawAll();

signals:
    // The service showed the notification tagged `tag`.
    void shown(int tag);
    // The operator clicked the notification tagged `tag`.
    void activated(int tag);

private slots:
    void onActionInvoked(uint id, const QString& action);

private:
    QDBusConnection bus_;
    QHash<uint, int> tags_;  // notification number -> tag
};
