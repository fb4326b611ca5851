#include "ui/kit/statusbar.h"

#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

namespace {
constexpr int kGap = 2;      // between two panels
constexpr int kTop = 2;      // free line above the panels
constexpr int kPadding = 3;  // text inset inside a panel
}  // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

int StatusBar::addPanel(const QString& text, int width, Qt::Alignment alignment)
{
    panels_.append({text, width, alignment});
    update();
    return int(panels_.size()) - 1;
}

void StatusBar::setPanelText(int index, const QString& text)
{
    if (!valid(index) || panels_[index].text == text)
        return;
    panels_[index].text = text;
    update(panelRect(index));
}

QString StatusBar::panelText(int index) const { return valid(index) ? panels_[index].text : QString(); }

void StatusBar::setPanelWidth(int index, int width)
{
    if (!valid(index) || panels_[index].width == width)
        return;
    panels_[index].width = width;
    update();
}

int StatusBar::panelWidth(int index) const { return valid(index) ? panels_[index].width : 0; }

void StatusBar::setPanelAlignment(int index, Qt::Alignment alignment)
{
    if (!valid(index))
        return;
    panels_[index].alignment = alignment;
    update(panelRect(index));
}

Qt::Alignment StatusBar::panelAlignment(int index) const
{
    return valid(index) ? panels_[index].alignment : Qt::Alignment();
}

QRect StatusBar::panelRect(int index) const
{
    if (!valid(index))
        return {};
    int x = 0;
    for (int i = 0; i < index; ++i)
        x += qMax(0, panels_[i].width) + kGap;
    int w = qMax(0, panels_[index].width);
    if (index == panels_.size() - 1)
        w = qMax(w, width() - x);
    return QRect(x, kTop, w, height() - kTop);
}

QSize StatusBar::sizeHint() const
{
    int w = 0;
    for (const Panel& p : panels_)
        w += qMax(0, p.width) + kGap;
    return QSize(w, kHeight);
}

QSize StatusBar::minimumSizeHint() const { return QSize(0, kHeight); }

void StatusBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    for (int i = 0; i < panels_.size(); ++i) {
        QRect r = panelRect(i);
        if (r.width() <= 0)
            continue;
        qDrawShadePanel(&painter, r, palette(), true, 1);
        QRect inner = r.adjusted(kPadding, 1, -kPadding, -1);
        painter.setClipRect(r.adjusted(1, 1, -1, -1));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(inner, int(panels_[i].alignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                         panels_[i].text);
        painter.setClipping(false);
    }
}
