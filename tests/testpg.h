#pragma once
// A PostgreSQL server of the test's own: a cluster made in a temporary
// folder, listening on a socket in that folder and on a free port of
// 127.0.0.1, stopped and removed with the object.  Run as root (as CI does) the server runs as the system's
// postgres user, since PostgreSQL refuses to run as root.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class DataModule;
class DatabaseLocation;

namespace testutil {

// A port of 127.0.0.1 nobody listens on now.
int freeLoopbackPort();
// Runs a server program (as the postgres user when run as root); its output
// in *output, and what failed in *error.
bool runAsServerUser(const QStringList& command, QString* output = nullptr, QString* error = nullptr);

// A desk on `where`: a data module with its customer and call lists open
// as the window opens them.  `before` prepares the module before it is
// pointed at its database.
std::unique_ptr<DataModule> openDesk(const DatabaseLocation& where,
                                     const std::function<void(DataModule&)>& before = {});

class PrivatePostgres {
public:
    PrivatePostgres();
    ~PrivatePostgres();
    PrivatePostgres(const PrivatePostgres&) = delete;
    PrivatePostgres& operator=(const PrivatePostgres&) = delete;

    // Empty when the server runs; else what went wrong.
    const QString& error() const { return error_; }
    // The socket folder (libpq's host), the port and the user.
    QString host() const { return dir_.path(); }
    int port() const { return port_; }
    QString user() const { return QStringLiteral("tavrin"); }
    // Makes a database; false (and error()) when it cannot.
    bool createDatabase(const QString& name);
    // A libpq connection URI for the database (through the socket), and
    // one over TCP.
    QString uri(const QString& database) const;
    QString tcpUri(const QString& database) const;

    // Stops the server (its connections are ended at once, as when it goes
    // away mid-shift) and starts it again on the same port; false (and
    // error()) when it cannot.
    bool stop();
    bool start();
    bool running() const { return running_; }
    // Stops the server's processes where they are (SIGSTOP) and lets them
    // go on (SIGCONT): its connections stay open but nothing answers, as
    // with a server frozen under load.
    bool pause();
    bool resume();
    // Kills the postmaster and its backends with SIGKILL, as a machine that dies: its
    // connections break off, nothing is flushed or stopped in order.
    bool crash();
    // The data folder and the server's programs (for a standby made from it).
    QString dataFolder() const { return dir_.filePath(QStringLiteral("data")); }
    QString programs() const { return bin_; }
    // Settings the server is started with from the next start on, as for
    // postgres -c ("standard_conforming_strings=off").
    void setServerSettings(const QStringList& settings) { settings_ = settings; }

private:
    bool run(const QStringList& command, QString* output = nullptr);
    bool control(const char* action);
    bool signalAll(int signal);

    QTemporaryDir dir_;
    QString bin_;
    QString error_;
    bool running_ = false;
    int port_ = 5432;
    QStringList settings_;
};

}  // namespace testutil
