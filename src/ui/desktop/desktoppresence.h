#pragma once
// The program on the desktop beyond its window: the tray icon with the
// device state in its tooltip, closing to the tray, and what a call does
// when the operator is elsewhere: a desktop notification while the window is
// minimised, hidden or not active, or (when chosen) the window raised and
// activated on every call.  A click on the notification or the tray icon
// brings the window to the front on that call.

#include <QObject>
#include <QPointer>
#include <QString>

#include "rules/settings/desktopsettings.h"

class DesktopNotifier;
class QSystemTrayIcon;
class QWidget;

// What the announcement said of a call.
struct AnnouncedCall {
    bool known = false;
    QString contact;   // 联系人 of a known caller
    QString company;   // 公司名称 of a known caller
    QString number;
    int tag = 0;       // given back by callChosen()
};

class DesktopPresence : public QObject {
    Q_OBJECT
public:
    DesktopPresence(QWidget* window, DesktopNotifier* notifier, QObject* parent = nullptr);
    ~DesktopPresence() override;

    void setSettings(const DesktopSettings& settings);
    const DesktopSettings& settings() const { return settings_; }
    bool hasTray() const { return tray_ != nullptr; }

    // The tray icon's tooltip: the program and the device's state.
    void setDeviceState(const QString& text);
    // A call was announced.
    void callAnnounced(const AnnouncedCall& call);
    // The count of missed calls not yet looked at: in the tray's tooltip,
    // and a notification when it grows while the operator looks elsewhere.
    void setMissedCalls(int unseen);
    static constexpr int kMissedCallsTag = -1;  // the missed calls' notification
    // The notification's text for a call.
    static QString notificationText(const AnnouncedCall& call);

    // Shows the window in front and active.
    void bringWindowToFront();

    // What the tray's tooltip says (also without a tray).
    const QString& toolTip() const { return toolTip_; }

signals:
    // The operator chose a call's notification (or the tray icon after it).
    void callChosen(int tag);
    // The operator chose the missed calls' notification.
    void missedCallsChosen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool operatorLooksElsewhere() const;
    void showToolTip();

    QPointer<QWidget> window_;
    DesktopNotifier* notifier_;
    QSystemTrayIcon* tray_ = nullptr;
    DesktopSettings settings_;
    int lastTag_ = 0;
    QString deviceState_;
    int missed_ = 0;
    QString toolTip_;
};
