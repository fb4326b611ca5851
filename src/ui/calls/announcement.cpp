#include "ui/calls/announcement.h"

#include <QPalette>

#include "rules/calls/callrules.h"

QColor blinkColour(const QColor& current, const QColor& background)
{
    const QColor red(Qt::red);
    return current.rgba() == red.rgba() ? background : red;
}

Announcement::Announcement(QWidget* parent) : QLabel(parent)
{
    timer_.setObjectName(QStringLiteral("blinkTimer"));
    timer_.setParent(this);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &Announcement::blink);
}

void Announcement::announce(const QString& text)
{
    ticks_ = 0;
    timer_.stop();
    timer_.start();
    // A new announcement is seen at once, also when the one before was in
    // the dark half of its blink.
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(Qt::red));
    setPalette(pal);
    setText(text);
    repaint();
}

void Announcement::blink()
{
    ++ticks_;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText,
                 blinkColour(pal.color(QPalette::WindowText), window()->palette().color(QPalette::Window)));
    setPalette(pal);
    repaint();
    if (ticks_ == kBlinkTicks)
        timer_.stop();
}
