#pragma once
// The confirmation window: a question with "是" and "否".  Its controls
// carry object names: "message", "yesButton", "noButton".

#include <QDialog>

#include "ui/kit/look.h"

class QLabel;
class QPushButton;
class DataModule;

class QuestionWindow : public QDialog {
    Q_OBJECT
public:
    explicit QuestionWindow(QWidget* owner = nullptr);

    void setQuestion(const QString& question);
    // True once "是" was pressed; "否" or closing the window answers no.
    bool answeredYes() const { return yes_; }

    // Shows the question modally over `owner` and gives the answer.
    static bool ask(QWidget* owner, const QString& question);

private:
    // The widest a question is shown before it is wrapped.
    static constexpr int kWidestMessage = 560;
    QLabel* message_;
    QPushButton* yesButton_;
    QPushButton* noButton_;
    bool yes_ = false;
};
