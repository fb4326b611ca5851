#include "ui/kit/windowquestions.h"

#include <QLabel>
#include <QProgressDialog>

#include "ui/kit/look.h"
#include "data/module/datamodule.h"
#include "ui/kit/progresswindow.h"
#include "ui/kit/questionwindow.h"

WindowQuestions::WindowQuestions(DataModule& dm, QWidget* owner) : dm_(dm), owner_(owner) {}

WindowQuestions::~WindowQuestions() { delete progress_; }

bool WindowQuestions::confirm(const QString& question)
{
    return QuestionWindow::ask(owner_, question);
}

void WindowQuestions::notice(const QString& text)
{
    ProgressWindow w(owner_);
    w.setText(text);
    w.exec();
}

void WindowQuestions::progress(const QString& what, qint64 done, qint64 total)
{
    if (done >= total) {
        delete progress_;
        progress_ = nullptr;
        return;
    }
    if (!progress_) {
        progress_ = new QProgressDialog(what, QString(), 0, 1000, owner_);
        progress_->setWindowTitle(QStringLiteral("软件提示"));
        progress_->setWindowModality(Qt::ApplicationModal);
        progress_->setMinimumDuration(300);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
    }
    progress_->setLabelText(what);
    // setValue lets a modal progress window paint (and appear) by itself.
    progress_->setValue(total > 0 ? int(done * 1000 / total) : 0);
}
