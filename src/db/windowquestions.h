#pragma once
// The data module's questions asked in the program's own windows: the
// confirmation window, the notice window and a progress window.

#include <QPointer>
#include <QString>

#include "db/questions.h"

class QProgressDialog;
class QWidget;
class TDataModule1;

class WindowQuestions : public DataQuestions {
public:
    WindowQuestions(TDataModule1& dm, QWidget* owner);
    ~WindowQuestions() override;

    bool confirm(const QString& question) override;
    void notice(const QString& text) override;
    void progress(const QString& what, qint64 done, qint64 total) override;

private:
    TDataModule1& dm_;
    QPointer<QWidget> owner_;
    QProgressDialog* progress_ = nullptr;
};
