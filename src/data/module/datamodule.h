#pragma once
// The data module: owns the connection to data/web.mdb, every data set and
// data source the windows bind to, and the few values one window hands to
// another.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include "data/work/backgroundwork.h"
#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/dataset/datasource.h"
#include "data/module/questions.h"
#include "data/calls/callcourier.h"
#include "rules/calls/callrules.h"
#include "data/transfer/importsource.h"

class QThread;

// A call as the journal took it.
struct JournalledCall {
    CallRecord call;
    qint64 order = -1;    // in the journal (-1: the journal could not take it)
    bool atOnce = false;  // to be stored at once (marked unsure in the journal)
};

class DataModule : public QObject {
    Q_OBJECT
public:
    explicit DataModule(QObject* parent = nullptr);
    ~DataModule() override;

    Connection connection;

    DataSet customerTable;
    DataSource customerSource;
    DataSet callTable;
    DataSource callSource;
    DataSet lookupTable;
    DataSet dictionaryTable;
    DataSource dictionarySource;

    // Import: the chosen file, the table opened from it, the grid's source.
    ImportConnection excelFile{QStringLiteral("workbookFile")};
    ImportConnection accessFile{QStringLiteral("accessFile")};
    ImportDataSet excelTable{&excelFile, QStringLiteral("workbookTable")};
    ImportDataSet accessTable{&accessFile, QStringLiteral("accessTable")};
    ImportGridSource excelTableSource{&excelTable};
    ImportGridSource accessTableSource{&accessTable};

    // The card field whose choice values are being edited: a new row of
    // the dictionary belongs to it.
    void setDictionaryItem(const QString& field) { dictionaryItem_ = field; }
    const QString& dictionaryItem() const { return dictionaryItem_; }

    // Where the database is: the file data/web.mdb (the standard), or a
    // server.  Taken at the next connect; reopen() the lists to move.
    // On a server, calls a former run kept on this computer are written.
    void setDatabaseLocation(const DatabaseLocation& where);
    const DatabaseLocation& databaseLocation() const { return location_; }

    // How questions reach the person at the screen; the windows fill it in.
    // Without it a question is answered no, a notice goes to the general
    // error report and progress is not shown.
    void setQuestions(DataQuestions* q) { questions_ = q; }
    DataQuestions* questions() const { return questions_; }
    // Asks a yes/no question (no when nobody can be asked).
    bool ask(const QString& question);

    // Events of the data sets.
    void prepareConnection(Connection& c);
    void customersOpened(DataSet& ds);
    void customerMoved(DataSet& ds);
    void callsOpened(DataSet& ds);
    void callMoved(DataSet& ds);
    bool confirmCustomerDelete(DataSet& ds);
    bool confirmCallDelete(DataSet& ds);
    void dictionaryItemInserted(DataSet& ds);

    // "<record number>/<record count>" as the record position panel shows it.
    static QString positionText(const DataSet& ds);

    // Shows the text in the notice window (through the questions).
    void showNotice(const QString& text);

    // Logs a call in 来电数据.  The call goes into the desk's journal first
    // (callqueue.h, on disk when this returns); where nothing stands in the
    // way it is then stored at once through the call list, so that the card
    // shows the new row, and the answer is true.  Otherwise the journal
    // keeps it (answer false) and it is moved in, in order and once, as soon
    // as the database can take it: when long work that holds the writes
    // ends, when a file that could not be written can be, when a server
    // that went away answers again, or at the next start.  Errors of the
    // store reach the caller only when even the journal could not take the
    // call.
    bool logCall(const CallRecord& call);
    // The same in two steps, for the call handling: the call is journalled
    // the moment it is announced, and stored in a turn of its own.
    JournalledCall journalCall(const CallRecord& call);
    bool storeCall(const JournalledCall& call);
    // Calls in the journal (or, failing it, in memory) not yet in 来电数据.
    int callsWaiting() const;
    // What the status bar says while calls wait.
    QString waitingText() const;
    // The database file takes no call now (read-only, locked, gone): the
    // journal keeps them, and waitingText() says why.
    bool callsCannotBeStored() const { return !storeProblem_.isEmpty(); }
    // The database file the program's connection opens.
    QString databaseFile() const;
    // The program ends: the file's log is moved into the file, so that the
    // file alone holds everything (a copy of it is a whole backup).
    void finishForExit();

    // The shared server went away and has not answered since (also while
    // the program's first connect to it is still being tried).
    bool serverAway() const { return courier_.away(); }
    bool serverConnecting() const { return courier_.connecting(); }
    // False while a server cannot be reached; the first time, its first
    // connect is given a moment (see datamodule.cpp).  True for a file.
    bool serverReachable();
    // Calls kept on this computer for the server.
    int callsKept() const { return courier_.waiting(); }
    CallCourier& callCourier() { return courier_; }

signals:
    // The record position panel of the main window listens to this.
    void recordPosition(const QString& text);
    // Calls waiting for long work to end before they are logged (0: none).
    void callsWaitingChanged(int waiting);
    // The server was found gone or the calls kept for it changed in number.
    void serverAwayChanged(bool away, int kept);
    // The server answers again and every kept call (`written` of them) is
    // in 来电数据; the lists read it anew.
    void serverBack(int written);

public:
    // Another desk stored a call: the call list is read anew, on the same
    // record; while a call is being edited, as soon as the edit ends.
    void callStoredElsewhere();

private:
    void refreshCalls();
    void followServer();
    void writeCall(const CallRecord& call);
    bool canStoreAtOnce(qint64 own = -1);
    void noteCommittedOnServer(qint64 order);
    void storeUnjournalledCalls();
    void journalProblem(const QString& why);
    void callsMovedIn(int moved);
    void databaseOpened();
    bool reopenConnection();
    void flushLogWhenIdle();
    bool connectionLost() const;
    void renewConnection();
    void reopenWhenBrowsing(DataSet* ds);

    CallCourier courier_;
    QTimer serverWatch_;
    QString lastDeliveryError_;

    // Calls the journal could not take (its disk full), in their order.
    QList<CallRecord> unjournalled_;
    QString storeProblem_;      // why the file takes no call now
    QString serverName_;        // the server the connection reached (callqueue.h)
    QTimer logFlush_;
    QDateTime logFlushed_;      // the log's time when last flushed
    QThread* flushing_ = nullptr;
    QString lastJournalError_;
    DatabaseLocation location_;
    bool callsOwed_ = false;  // a refresh of the call list is on its way
    DataQuestions* questions_ = nullptr;
    QString dictionaryItem_;
};

// Said while calls wait for long work (`work`, e.g. "导入数据") to end.
QString callsWaitingText(const QString& work, int waiting);
// Said while calls wait because the database file cannot take them.
QString cannotStoreText(int waiting, const QString& why);
QString storeProblemText(const QString& engineText);
// Said while the server cannot be reached, and when it answers again.
QString serverAwayText(int kept);
QString serverBackText(int written);
// Said while the program's first connect to its server is tried, and when
// it succeeded.
QString serverConnectingText(int kept);
QString serverReachedText(int written);

