#pragma once
// A streaming standby of a private test server (testpg.h), made as an
// administrator makes one: pg_basebackup -R from the primary into a folder
// of its own, started on another free port of 127.0.0.1.

#include <QString>
#include <QTemporaryDir>
#include <sys/types.h>

namespace testutil {

class PrivatePostgres;

class PrivateStandby {
public:
    explicit PrivateStandby(const PrivatePostgres& primary);
    ~PrivateStandby();
    PrivateStandby(const PrivateStandby&) = delete;
    PrivateStandby& operator=(const PrivateStandby&) = delete;

    // Empty when the standby runs and replicates; else what went wrong.
    const QString& error() const { return error_; }
    int port() const { return port_; }

    // Ends recovery: the standby becomes a primary (pg_ctl promote).
    bool promote();
    // Stops (SIGSTOP) and lets go on (SIGCONT) the process that receives
    // the primary's log: the standby then lags behind.
    bool holdReceiving(bool hold);

private:
    bool run(const QStringList& command);
    pid_t childNamed(const char* name) const;

    QTemporaryDir dir_;
    QString bin_;
    QString error_;
    int port_ = 0;
    bool running_ = false;
};

// A libpq URI naming both servers: desks reach whichever is the writable
// primary.
QString bothServersUri(const PrivatePostgres& primary, const PrivateStandby& standby, const QString& database);

}  // namespace testutil
