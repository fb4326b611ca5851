#pragma once
// The number field of the top strip: the current caller's number in big red
// letters.  Its grey hint is drawn smaller than the number so that it fits.

#include <QLineEdit>
#include <QString>

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

private:
    QString hint_;
};
