#pragma once
// A D-Bus session bus of the test's own, started in a temporary folder and
// stopped with the test, and a stand-in for the desktop's notification
// service on it that records what it is asked to show.

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    bool started() const { return !address_.isEmpty(); }
    const QString& address() const { return address_; }
    // A connection to this bus under its own name (the same one for the
    // same name).
    QDBusConnection connect(const QString& name) const;

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

// Waits until what was sent on `bus` before has been answered and the
// answers handled: a call to the bus itself, made after them, is answered
// after them.  False when no answer came.
bool roundTrip(const QDBusConnection& bus);

class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    // Takes the service's name on the bus of `bus`.
    explicit FakeNotificationService(QDBusConnection bus);
    ~FakeNotificationService() override;

    struct Shown {
        QString summary, body, icon;
        QStringList actions;
        int urgency = -1;  // the hint, -1 without one
        int timeout = 0;   // ms; -1 the service's choice, 0 never
    };
    QList<Shown> shown;
    QList<uint> closed;  // the notifications withdrawn, in order
    // What a click on notification `id` sends.
    void click(uint id);

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int timeout);
    void CloseNotification(uint id);
    QStringList GetCapabilities();

signals:
    void ActionInvoked(uint id, const QString& action);

private:
    QDBusConnection bus_;
};
