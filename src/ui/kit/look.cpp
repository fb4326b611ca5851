#include "ui/kit/look.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

QFont pixelFont(const QString& family, int px)
{
    QFont f(family);
    f.setPixelSize(px);
    return f;
}

int centredCoordinate(int screen, int window)
{
    // Nearest whole pixel, a half going to the even neighbour.
    return int(std::lrint((screen - window) / 2.0));
}

void centreOnScreen(QWidget* w)
{
    QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect g = s->geometry();
    w->move(g.x() + centredCoordinate(g.width(), w->width()), g.y() + centredCoordinate(g.height(), w->height()));
}
