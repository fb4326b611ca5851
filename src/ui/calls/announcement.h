#pragma once
// The announcement of the top strip: "老客户来电" or "新客户来电" in red
// letters that blink, once a second, for kBlinkTicks ticks.

#include <QColor>
#include <QLabel>
#include <QTimer>

class Announcement : public QLabel {
    Q_OBJECT
public:
    explicit Announcement(QWidget* parent = nullptr);

    // Shows the text in pure red at once and starts a fresh blink series.
    void announce(const QString& text);
    // One tick of the blink; the series ends after kBlinkTicks of them.
    void blink();
    int ticks() const { return ticks_; }

private:
    QTimer timer_;
    int ticks_ = 0;
};

// One blink: pure red turns into the background colour, anything else into
// pure red.
QColor blinkColour(const QColor& current, const QColor& background);
