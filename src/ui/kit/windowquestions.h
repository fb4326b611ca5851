#pragma once
// The data module's questions asked in the program's own windows: the
// confirmation window, the notice window and a progress window.

#include <QPointer>
#include <QString>

#include "data/module/questions.h"

class QProgressDialog;
class QWidget;
class DataModule;

class WindowQuestions : public DataQuestions {
public:
    WindowQuestions(DataModule& dm, QWidget* owner);
    ~WindowQuestions() override;

    bool confirm(const QString& question) override;
    void notice(const QString& text) override;
    void progress(const QString& what, qint64 done, qint64 total) override;

private:
    DataModule& dm_;
    QPointer<QWidget> owner_;
    QProgressDialog* progress_ = nullptr;
};
