#include "ui/kit/numberfield.h"

#include <QMouseEvent>
#include <QPainter>

void NumberField::mousePressEvent(QMouseEvent* e)
{
    QLineEdit::mousePressEvent(e);
    // Typing since the number was shown (isModified) is the operator's own:
    // there a click places the cursor as usual.
    if (e->button() == Qt::LeftButton && !isModified())
        selectAll();
}

void NumberField::paintEvent(QPaintEvent* e)
{
    QLineEdit::paintEvent(e);
    if (!text().isEmpty() || hint_.isEmpty())
        return;
    // The hint in grey and small enough to fit the field.
    QPainter p(this);
    QFont f = font();
    f.setPixelSize(14);
    p.setFont(f);
    p.setPen(QColor(Qt::gray));
    p.drawText(rect().adjusted(6, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, hint_);
}
