#include "ui/kit/updownbox.h"

void UpDownBox::stepBy(int steps)
{
    const int before = value();
    QSpinBox::stepBy(steps);
    if (value() != before)
        emit clicked();
}
