#pragma once
// The window that shows long work under way (see backgroundwork.h).
//
// It is not modal and runs no event loop of its own: the main window keeps
// painting and taking calls behind it.  "停止" asks the work to stop where
// that is safe.  It closes itself the moment the work ends, however it
// ended, before anything reports the outcome: no progress window ever
// stands over a message.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>

#include "data/work/backgroundwork.h"

class QLabel;
class QProgressBar;
class QPushButton;

class WorkWindow : public QDialog {
    Q_OBJECT
public:
    WorkWindow(BackgroundWork* work, QWidget* owner);

    QString labelText() const;
    int percent() const;  // -1 while the total is not known
    bool stopOffered() const;
    void pressStop();
    // The work has ended: the window closes and never shows again.
    void end();
    // Shown once the work has taken longer than a moment, unless it ended.
    void showIfRunning();

private:
    void showProgress(qint64 done, qint64 total);

    QPointer<BackgroundWork> work_;
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* stop_;
    bool ended_ = false;
};

// Starts the work with its progress window (shown once the work has taken
// longer than a moment).  `done` runs on the window thread after the window
// has closed.
void runWork(BackgroundWork* work, QWidget* owner, std::function<void(const WorkOutcome&)> done);

// The progress window of the work running now, if any (for tests).
WorkWindow* currentWorkWindow();

// True, after telling the operator, when other long work still runs: the
// new work has to wait for it.
bool refuseWhileWorking(QWidget* owner);
