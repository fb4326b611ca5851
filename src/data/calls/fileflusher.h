#pragma once
// Takes files to the disk on a thread of its own: a call's journal entry
// and its row are written on the window thread without waiting for the
// disk, and flushed here at once (fdatasync), so that a disk busy with
// other work never holds the window.  What follows a flush (a call leaving
// the journal once its row is on disk) is run on the flusher's own thread
// afterwards, through its event loop.
//
// Requests that come while a flush runs are flushed together next.  A
// database's log named by foldLogs() is also moved into its database here
// once it has grown (a checkpoint, with flushes of its own), so that the
// writes on the window thread never run one.
//
// Give it only files that carry no lock of SQLite's (a database's log, not
// the database file): closing a descriptor drops every lock the process
// holds on that file.

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class FileFlusher : public QObject {
    Q_OBJECT
public:
    // Flushes one file; false (and why) when the disk did not take it.
    using FlushFunction = std::function<bool(const QString& path, QString* why)>;
    // `ok` false: a file could not be flushed (`why`).
    using Done = std::function<void(bool ok, const QString& why)>;

    explicit FileFlusher(QObject* parent = nullptr);
    ~FileFlusher() override;  // flushes what was asked and runs what follows

    // Flushes these files (those that exist) and then runs `done` on this
    // object's thread.
    void flush(const QStringList& files, Done done = {});
    // Flushes everything asked so far and runs what follows, here and now.
    void finish();
    // From now on, whenever a flush of `database`'s log finds the log at
    // least `atBytes` long, the log is moved into the database afterwards.
    void foldLogs(const QString& database, qint64 atBytes);

    // Replaces the flush of a file (tests hold or fail it).
    void setFlushFunction(FlushFunction f);
    static bool flushFile(const QString& path, QString* why);

private:
    struct Request {
        QStringList files;
        Done done;
    };
    struct Fold {
        QString database;
        qint64 atBytes = 0;
    };
    struct Outcome {
        Done done;
        bool ok = true;
        QString why;
    };
    void run();
    std::vector<Outcome> flushBatch(std::vector<Request> batch);
    void foldGrownLogs(const QSet<QString>& flushed);
    void follow(std::vector<Outcome> outcomes);
    void followFlushed();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Request> queue_;
    std::vector<Outcome> flushed_;  // flushed, not followed up yet
    FlushFunction flushFn_;
    QHash<QString, Fold> folds_;  // by the log's path
    bool stop_ = false;
    std::thread thread_;
};
