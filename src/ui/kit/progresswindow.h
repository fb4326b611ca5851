#pragma once
// The notice window: a red text and one "确定" button.  Its controls carry
// object names: "message", "okButton".

#include <QDialog>

class QLabel;

class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* owner = nullptr);

    void setText(const QString& text);

private:
    QLabel* message_;
};
