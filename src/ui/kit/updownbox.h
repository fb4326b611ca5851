#pragma once
// A number box with arrows (the up-down control joined to its box).

#include <QSpinBox>

// clicked() follows every step made with the arrows or the arrow keys,
// after the value has changed; setting the value by program emits nothing.
class UpDownBox : public QSpinBox {
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override;

signals:
    void clicked();
};
