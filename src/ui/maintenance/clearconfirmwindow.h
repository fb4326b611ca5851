#pragma once
// The clearing confirmation window: a question with "是" and "否".  It opens
// at its own place on the screen, Enter presses the button with the focus
// and Escape does not close it.  Its controls carry object names:
// "message", "yesButton", "noButton".

#include <QDialog>

class QLabel;

class ClearConfirmWindow : public QDialog {
    Q_OBJECT
public:
    explicit ClearConfirmWindow(QWidget* owner = nullptr);

    void setMessage(const QString& text);
    // True once "是" was pressed; "否" or the close box answers no.
    bool answeredYes() const { return yes_; }

    // Shows the window modally over `owner` and gives the answer.
    static bool ask(QWidget* owner, const QString& title, const QString& message);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QLabel* message_;
    bool yes_ = false;
};
