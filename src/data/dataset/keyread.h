#pragma once
// Every key of a list read in one pass by long work (see backgroundwork.h)
// on a connection of its own: the first keys at once, the rest handed to
// the window in batches while it goes on.

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "data/work/backgroundwork.h"
#include "rules/statements/query.h"

class WorkSite;

class KeyRead {
public:
    // Starts reading the first column of `sql` and waits for the first
    // `firstKeys` keys at most `firstWaitMs`.  A read that ends within that
    // moment is complete (or has thrown DbError); otherwise work() goes on
    // and must be started on its way by the caller's connection.
    KeyRead(WorkSite* site, const BoundStatement& sql, int firstKeys, int firstWaitMs);

    // The keys read so far and not taken yet.
    std::vector<qint64> take();
    // The read ended within the first moment.
    bool complete() const { return !work_; }
    // The work of a read that goes on (deletes itself once finished).
    BackgroundWork* work() const { return work_; }

    // Tests hold the read back after each batch of keys it hands over (on
    // the read's thread).
    static void setPauseAfterBatch(std::function<void(qint64 keysSoFar)> pause);

    struct Buffer;

private:
    std::shared_ptr<Buffer> buffer_;
    QPointer<BackgroundWork> work_;
};
