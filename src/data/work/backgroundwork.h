#pragma once
// Long work off the window thread.
//
// Import, export, backup, compact, restore, clearing, index builds and tree
// rebuilds run on a worker thread of their own, each with a database
// connection of its own to the same file (opened and used only on that
// thread).  The window thread keeps painting and keeps taking calls; it
// learns how far the work has come, and how it ended, from queued signals.
// The window thread never waits for the work in the middle of a data-set
// operation and runs no nested event loop for it.
//
// Work that writes (Access::Write) holds the connection's writes for as long
// as it runs: writers on the window thread that must not wait (the call log)
// ask Connection::writesHeld() and keep their rows until the writes are
// released (Connection::writesHeldChanged).
//
// Typical use:
//
//     auto* work = new BackgroundWork(&dm.connection, QStringLiteral("正在导出数据"),
//                                     BackgroundWork::Access::Read,
//                                     [=](WorkContext& cx) { ... cx.progress(n, total); ... },
//                                     owner);
//     connect(work, &BackgroundWork::finished, owner, [=](const WorkOutcome& o) { ... });
//     work->start();   // deletes itself after finished() unless keep() was called

#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

#include "rules/settings/databaselocation.h"

class DatabaseEngine;
class QThread;
class WorkSite;

// How a piece of work ended.
struct WorkOutcome {
    bool ok = false;        // ran to its end
    bool stopped = false;   // stopped on request (nothing of it kept)
    QString error;          // what went wrong, for the operator (when !ok && !stopped)
};

// Thrown by a job (through WorkContext::checkStop) when it was asked to stop.
class WorkStopped : public std::exception {
public:
    const char* what() const noexcept override { return "stopped"; }
};

// What a job sees of its surroundings, on the worker thread.
class WorkContext {
public:
    // The worker's own connection to the database file of the connection the
    // work was started on (invalid for work without a connection).  Opened
    // with the same session settings as the window's connection.
    QSqlDatabase db() const { return db_; }
    // The engine of that connection (null for work without a connection).
    const DatabaseEngine* engine() const { return engine_.get(); }
    // Where the database is (an empty file without a connection).
    const DatabaseLocation& location() const { return file_; }

    // The window asked the work to stop.
    bool stopRequested() const { return stop_->load(std::memory_order_relaxed); }
    // Throws WorkStopped when asked to stop: call it where stopping is safe.
    void checkStop() const;
    // How far the work has come; cheap to call often (the window hears of it
    // at most every 50 ms, and always of the last call).
    void progress(qint64 done, qint64 total);
    // A new line of text for the progress window.
    void setText(const QString& text);
    // A stop also interrupts the statement the connection is running (an
    // index build, a vacuum): the statement then fails, and the job ends
    // through checkStop().
    void interruptOnStop();

private:
    friend class BackgroundWork;
    QSqlDatabase db_;
    std::shared_ptr<const DatabaseEngine> engine_;
    DatabaseLocation file_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::function<void(qint64, qint64, bool)> progress_;
    std::function<void(const QString&)> text_;
    std::function<void()> interruptible_;
};

class BackgroundWork : public QObject {
    Q_OBJECT
public:
    enum class Access {
        None,   // no database connection (files only)
        Read,   // reads; the window may write meanwhile
        Write,  // writes: the connection's writes are held while it runs
    };
    // Runs on the worker thread.  Returns normally when done; throws
    // WorkStopped when stopped, any std::exception (AppError, DbError) with
    // the operator's text when it failed.
    using Job = std::function<void(WorkContext&)>;

    // `site` is the connection the work belongs to (null: files only).
    BackgroundWork(WorkSite* site, const QString& what, Access access, Job job, QObject* parent = nullptr);
    ~BackgroundWork() override;  // waits for the worker when still running

    const QString& what() const { return what_; }
    bool isRunning() const { return running_; }
    // Every piece of work can be asked to stop.
    bool canStop() const { return true; }

    // The work deletes itself after finished() unless kept (tests keep it).
    void keep() { keep_ = true; }

    void start();
    // Asks the job to stop; it stops where it next checks.
    void stop();
    // Waits for the worker thread and delivers finished() at once.  For
    // tests and for the end of the program, never for the window thread in
    // the middle of its work.
    bool wait(int msecs = -1);

    qint64 done() const { return done_; }
    qint64 total() const { return total_; }
    const QString& text() const { return text_; }

    // Work now running on that connection (the first started), or null.
    static BackgroundWork* runningOn(const WorkSite* site);
    // Any work running in the program.
    static bool anyRunning();
    static QList<BackgroundWork*> allRunning();

signals:
    void progressed(qint64 done, qint64 total);
    void textChanged(const QString& text);
    void finished(const WorkOutcome& outcome);

private:
    struct Shared;
    // What the worker thread is given.
    struct WorkerSetup {
        std::shared_ptr<Shared> shared;
        std::shared_ptr<std::atomic<bool>> stop;
        Job job;
        DatabaseLocation file;
        std::shared_ptr<const DatabaseEngine> engine;  // null: no connection
        std::function<void(bool force)> post;          // hands the progress to the window
    };
    static void runOnWorker(const WorkerSetup& setup);
    static WorkOutcome runJob(WorkContext& cx, const WorkerSetup& setup, const QString& name);
    std::function<void(bool force)> poster();
    void takeProgress();
    void deliver();

    WorkSite* site_;
    QString what_;
    Access access_;
    Job job_;
    QThread* thread_ = nullptr;
    bool running_ = false;
    bool delivered_ = false;
    bool keep_ = false;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::shared_ptr<Shared> shared_;
    qint64 done_ = 0, total_ = 0;
    QString text_;
};

Q_DECLARE_METATYPE(WorkOutcome)
