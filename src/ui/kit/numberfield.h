#pragma once
// The number field of the top strip: the current caller's number in big red
// letters.  Its grey hint is drawn smaller than the number so that it fits.
// A click into a number the operator has not typed (the last call's)
// selects all of it, so that typing replaces it instead of going into it.

#include <QLineEdit>
#include <QString>

// More digits than any telephone number has.
constexpr int kLongestNumberDigits = 20;

class NumberField : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
    void setHint(const QString& hint)
    {
        hint_ = hint;
        update();
    }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QString hint_;
};
