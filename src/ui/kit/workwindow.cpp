#include "ui/kit/workwindow.h"

#include <QCloseEvent>
#include <algorithm>
#include <QHBoxLayout>
#include <QLabel>
#include <QList>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/kit/message.h"

namespace {

QList<WorkWindow*>& openWindows()
{
    static QList<WorkWindow*> list;
    return list;
}

// Work done within this long never shows a window.
constexpr int kShowAfterMs = 300;

}  // namespace

WorkWindow::WorkWindow(BackgroundWork* work, QWidget* owner) : QDialog(owner), work_(work)
{
    setWindowTitle(QStringLiteral("软件提示"));
    setModal(false);
    setWindowModality(Qt::NonModal);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* column = new QVBoxLayout(this);
    label_ = new QLabel(QStringLiteral("正在") + work->what() + QStringLiteral("，请稍候……"), this);
    label_->setObjectName(QStringLiteral("workText"));
    column->addWidget(label_);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("workProgress"));
    bar_->setMinimumWidth(320);
    bar_->setRange(0, 0);
    column->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    stop_ = new QPushButton(QStringLiteral("停止"), this);
    stop_->setObjectName(QStringLiteral("workStop"));
    stop_->setVisible(work->canStop());
    row->addWidget(stop_);
    column->addLayout(row);
    connect(stop_, &QPushButton::clicked, this, &WorkWindow::pressStop);
    connect(work, &BackgroundWork::progressed, this, &WorkWindow::showProgress);
    connect(work, &BackgroundWork::textChanged, this, [this](const QString& text) {
        label_->setText(text);
    });
    openWindows().append(this);
    connect(this, &QObject::destroyed, [this] { openWindows().removeAll(this); });
}

QString WorkWindow::labelText() const { return label_->text(); }

int WorkWindow::percent() const
{
    return bar_->maximum() == 0 ? -1 : bar_->value() * 100 / qMax(1, bar_->maximum());
}

void WorkWindow::end()
{
    ended_ = true;
    close();
}

void WorkWindow::showIfRunning()
{
    // The closing message of a short work may still be open (its own event
    // loop runs, the closed window is not yet deleted): never shown over it.
    if (!ended_)
        show();
}

bool WorkWindow::stopOffered() const { return stop_->isVisibleTo(const_cast<WorkWindow*>(this)) && stop_->isEnabled(); }

void WorkWindow::pressStop()
{
    if (!work_)
        return;
    work_->stop();
    stop_->setEnabled(false);
    label_->setText(QStringLiteral("正在停止……"));
}

void WorkWindow::showProgress(qint64 done, qint64 total)
{
    if (total <= 0) {
        bar_->setRange(0, 0);
        return;
    }
    bar_->setRange(0, 1000);
    bar_->setValue(int(std::clamp<qint64>(done * 1000 / total, 0, 1000)));
}

void runWork(BackgroundWork* work, QWidget* owner, std::function<void(const WorkOutcome&)> done)
{
    auto* window = new WorkWindow(work, owner);
    QPointer<WorkWindow> guard(window);
    QObject::connect(work, &BackgroundWork::finished, work, [guard, done](const WorkOutcome& outcome) {
        if (guard) {
            openWindows().removeAll(guard.data());
            guard->end();
        }
        if (done)
            done(outcome);
    });
    QTimer::singleShot(kShowAfterMs, window, [guard] {
        if (guard)
            guard->showIfRunning();
    });
    work->start();
}

WorkWindow* currentWorkWindow() { return openWindows().isEmpty() ? nullptr : openWindows().last(); }

bool refuseWhileWorking(QWidget* owner)
{
    Q_UNUSED(owner);
    if (!BackgroundWork::anyRunning())
        return false;
    showMessage(QStringLiteral("还有一项工作没有完成，请等它完成后再试。"));
    return true;
}
