#include "ui/desktop/desktoppresence.h"

#include <QEvent>
#include <QIcon>
#include <QSystemTrayIcon>
#include <QWidget>

#include "ui/desktop/desktopnotifier.h"

namespace {
const QString kProgramName = QStringLiteral("Tavrin来电显示");
}

DesktopPresence::DesktopPresence(QWidget* window, DesktopNotifier* notifier, QObject* parent)
    : QObject(parent), window_(window), notifier_(notifier)
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(window ? window->windowIcon() : QIcon(), this);
        tray_->setToolTip(kProgramName);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
            if (why == QSystemTrayIcon::Context)
                return;
            bringWindowToFront();
            if (lastTag_)
                emit callChosen(lastTag_);
        });
        tray_->show();
    }
    if (notifier_)
        connect(notifier_, &DesktopNotifier::activated, this, [this](int tag) {
            bringWindowToFront();
            if (tag == kMissedCallsTag)
                emit missedCallsChosen();
            else
                emit callChosen(tag);
        });
    if (window)
        window->installEventFilter(this);
}

DesktopPresence::~DesktopPresence() = default;

void DesktopPresence::setSettings(const DesktopSettings& settings) { settings_ = settings; }

void DesktopPresence::setDeviceState(const QString& text)
{
    deviceState_ = text;
    showToolTip();
}

void DesktopPresence::showToolTip()
{
    QString tip = kProgramName;
    if (!deviceState_.isEmpty())
        tip += QLatin1Char('\n') + deviceState_;
    if (missed_ > 0)
        tip += QStringLiteral("\n未接来电 ") + QString::number(missed_) + QStringLiteral(" 个");
    if (tray_)
        tray_->setToolTip(tip);
    toolTip_ = tip;
}

void DesktopPresence::setMissedCalls(int unseen)
{
    const bool more = unseen > missed_;
    missed_ = unseen;
    showToolTip();
    if (more && operatorLooksElsewhere() && notifier_)
        notifier_->notify(QStringLiteral("未接来电 ") + QString::number(unseen) + QStringLiteral(" 个"), QString(),
                          kMissedCallsTag);
}

QString DesktopPresence::notificationText(const AnnouncedCall& call)
{
    if (!call.known)
        return QStringLiteral("新客户来电：") + call.number;
    return QStringLiteral("老客户来电：") + call.contact + QLatin1Char(' ') + call.company;
}

bool DesktopPresence::operatorLooksElsewhere() const
{
    return !window_ || !window_->isVisible() || window_->isMinimized() || !window_->isActiveWindow();
}

void DesktopPresence::callAnnounced(const AnnouncedCall& call)
{
    if (call.tag)
        lastTag_ = call.tag;
    if (settings_.raiseOnCall) {
        bringWindowToFront();
        return;
    }
    if (operatorLooksElsewhere() && notifier_)
        notifier_->notify(notificationText(call), QString(), call.tag);
}

void DesktopPresence::bringWindowToFront()
{
    if (!window_)
        return;
    if (window_->isMinimized())
        window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool DesktopPresence::eventFilter(QObject* watched, QEvent* event)
{
    // Closing the window from its frame hides it in the tray when that is
    // chosen and there is a tray to find it in again; the menu's 关闭软件 and
    // 退出软件 (the program's own close) still end the program.
    if (watched == window_ && event->type() == QEvent::Close && event->spontaneous() && settings_.closeToTray &&
        tray_) {
        event->ignore();
        window_->hide();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
