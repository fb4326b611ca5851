#include "data/module/datamodule.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include "data/engine/filestore.h"
#include "data/connection/serverstallguard.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/statements/tablenames.h"

namespace {

// Lets the connection's commits return before the disk has them while it
// lives (where the engine can), and waits for the disk again after.
class FlushLater {
public:
    FlushLater(Connection& c, bool wanted) : c_(c)
    {
        if (wanted && c_.isConnected()) {
            QSqlDatabase db = c_.database();
            on_ = c_.engine().flushLater(db, true);
        }
    }
    ~FlushLater()
    {
        if (on_) {
            QSqlDatabase db = c_.database();
            c_.engine().flushLater(db, false);
        }
    }
    FlushLater(const FlushLater&) = delete;
    FlushLater& operator=(const FlushLater&) = delete;
    bool on() const { return on_; }

private:
    Connection& c_;
    bool on_ = false;
};

}  // namespace

namespace {
// How long the window waits for the first connect to a server to answer.
constexpr int kFirstConnectWaitMs = 5000;
}

DataModule::DataModule(QObject* parent)
    : QObject(parent),
      connection(QStringLiteral("database")),
      customerTable(&connection, QStringLiteral("customers")),
      customerSource(&customerTable),
      callTable(&connection, QStringLiteral("calls")),
      callSource(&callTable),
      lookupTable(&connection, QStringLiteral("lookup")),
      dictionaryTable(&connection, QStringLiteral("dictionary")),
      dictionarySource(&dictionaryTable)
{
    connection.setBeforeConnect([this](Connection& c) { prepareConnection(c); });
    // The caller lookup finds a few customers through the number index.
    lookupTable.setReadAtOnce(true);
    customerTable.setAfterOpen([this](DataSet& ds) { customersOpened(ds); });
    customerTable.setAfterScroll([this](DataSet& ds) { customerMoved(ds); });
    customerTable.setBeforeDelete([this](DataSet& ds) { return confirmCustomerDelete(ds); });
    callTable.setAfterOpen([this](DataSet& ds) { callsOpened(ds); });
    callTable.setAfterScroll([this](DataSet& ds) { callMoved(ds); });
    callTable.setBeforeDelete([this](DataSet& ds) { return confirmCallDelete(ds); });
    dictionaryTable.setAfterInsert([this](DataSet& ds) { dictionaryItemInserted(ds); });
    connect(&connection, &Connection::storedElsewhere, this, [this](const QString& table) {
        if (table == tables::calls())
            callStoredElsewhere();
    });
    connect(&connection, &Connection::writesHeldChanged, this, [this](bool held) {
        courier_.setHeld(held);
        if (!held)
            storeUnjournalledCalls();
    });
    connect(&connection, &Connection::opened, this, [this] { databaseOpened(); });
    // Soon after writes, the file's log is moved into the file, off the
    // window thread.
    logFlush_.setInterval(3000);
    connect(&logFlush_, &QTimer::timeout, this, [this] { flushLogWhenIdle(); });
    logFlush_.start();
    followServer();
}

// A server that goes away is tried again by itself; calls meanwhile are
// kept on this computer and written when it answers.
void DataModule::followServer()
{
    connect(&connection, &Connection::lost, this, [this] { courier_.serverLost(); });
    // The connection learns of a server gone also between statements (the
    // socket it listens on for other desks' calls closes): the status bar
    // then says so before the next call, without asking the server.
    serverWatch_.setInterval(2000);
    connect(&serverWatch_, &QTimer::timeout, this, [this] {
        if (!courier_.away() && connectionLost())
            courier_.serverLost();
    });
    connect(&courier_, &CallCourier::changed, this, [this] {
        if (courier_.serves())
            emit serverAwayChanged(courier_.away(), courier_.waiting());
        if (!courier_.away())
            emit callsWaitingChanged(callsWaiting());
    });
    connect(&courier_, &CallCourier::movedIn, this, [this](int moved) { callsMovedIn(moved); });
    connect(&courier_, &CallCourier::serverBack, this, [this](int written) {
        lastDeliveryError_.clear();
        renewConnection();
        emit serverBack(written);
    });
    connect(&courier_, &CallCourier::journalNotFlushed, this, [this](const QString& why) { journalProblem(why); });
    connect(&courier_, &CallCourier::deliveryFailed, this, [this](const QString& why) {
        if (!courier_.serves()) {
            // The file cannot take them now (read-only, locked): the status
            // bar says so until it can.
            storeProblem_ = storeProblemText(why);
            emit callsWaitingChanged(callsWaiting());
            return;
        }
        // Said once, not at every try.
        if (why == lastDeliveryError_)
            return;
        lastDeliveryError_ = why;
        errorreport::report(QStringLiteral("本机记下的来电暂时写不进服务器数据库，稍后自动再试：\n") + why);
    });
}

void DataModule::setDatabaseLocation(const DatabaseLocation& where)
{
    location_ = where;
    courier_.setLocation(where);
    if (where.isServer())
        courier_.connectFirst();  // also delivers what the journal holds
    else
        courier_.deliverLeftovers();
    if (where.isServer())
        serverWatch_.start();
    else
        serverWatch_.stop();
}

bool DataModule::connectionLost() const
{
    return connection.engine().connectionLost(connection.database());
}

// The server answers again.  A connection it had dropped is let go and
// opened anew under the open lists, which then read their rows again; a
// record being edited keeps its typing and can be stored at once, and its
// list is read again when the edit ends.  Otherwise the call list just
// reads the calls written.
void DataModule::renewConnection()
{
    if (connectionLost()) {
        if (!reopenConnection())
            return;
    } else if (callTable.isActive()) {
        callStoredElsewhere();
    }
    // Lists that could not open while the server was away open now.
    for (DataSet* ds : {&customerTable, &callTable})
        if (!ds->isActive() && ds->hasStatement())
            guarded([ds] { ds->open(); });
}

void DataModule::reopenWhenBrowsing(DataSet* ds)
{
    if (ds->state() == DataSet::State::Edit || ds->state() == DataSet::State::Insert) {
        QTimer::singleShot(300, this, [this, ds] { reopenWhenBrowsing(ds); });
        return;
    }
    if (ds->isActive())
        guarded([ds] { ds->reopen(); });
}

DataModule::~DataModule()
{
    if (flushing_)
        flushing_->wait();
}


void DataModule::prepareConnection(Connection& c)
{
    // While the server is away nothing connects on the window thread (an
    // unanswered connect would hold it for seconds): the courier's tries
    // find the server back, and the lists follow.
    if (!serverReachable())
        throw DbError(Connection::serverGoneText());
    if (location_.isServer()) {
        c.setLocation(location_);
        return;
    }
    c.setLocation(DatabaseLocation::ofFile(databaseFile()));
}

void DataModule::flushLogWhenIdle()
{
    if (location_.isServer() || flushing_ || connection.writesHeld() || !connection.isConnected())
        return;
    const QFileInfo log(databaseFile() + QStringLiteral("-wal"));
    if (!log.exists() || log.size() == 0 || log.lastModified() == logFlushed_)
        return;
    logFlushed_ = log.lastModified();
    const QString file = databaseFile();
    flushing_ = QThread::create([file] { FileStore::standard().flushLog(file, false, nullptr); });
    connect(flushing_, &QThread::finished, this, [this] {
        flushing_->deleteLater();
        flushing_ = nullptr;
    });
    flushing_->start();
}

void DataModule::finishForExit()
{
    logFlush_.stop();
    if (flushing_)
        flushing_->wait();
    if (!location_.isServer() && connection.isConnected() && !connection.writesHeld())
        FileStore::standard().flushLog(databaseFile(), true, nullptr);
}

QString DataModule::databaseFile() const
{
    if (!location_.isServer() && !location_.file.isEmpty())
        return location_.file;
    return QDir::cleanPath(programFolder() + QStringLiteral("data/web.mdb"));
}

// The program's first connect to a server is the courier's, off the window
// thread: given a moment to answer (a server that answers at all does so in
// milliseconds), never more.
bool DataModule::serverReachable()
{
    if (!location_.isServer())
        return true;
    if (courier_.connecting())
        courier_.waitForTry(kFirstConnectWaitMs);
    return !courier_.away();
}

void DataModule::callStoredElsewhere()
{
    // Calls stored together (several desks, one busy moment) read the list
    // once: the refresh runs when the notices of this moment are taken.
    if (callsOwed_)
        return;
    callsOwed_ = true;
    QTimer::singleShot(0, this, [this] { refreshCalls(); });
}

void DataModule::refreshCalls()
{
    callsOwed_ = false;
    // A server that is away is read again when it answers.
    if (!callTable.isActive() || courier_.away())
        return;
    if (callTable.state() != DataSet::State::Browse) {
        // Typing on the card is never interrupted: looked at again shortly.
        callsOwed_ = true;
        QTimer::singleShot(300, this, [this] { refreshCalls(); });
        return;
    }
    try {
        // Rows taken in above the record shown move its position.
        if (callTable.refresh())
            emit recordPosition(positionText(callTable));
    } catch (const std::exception& e) {
        errorreport::report(QString::fromUtf8(e.what()));
    }
}

QString DataModule::positionText(const DataSet& ds)
{
    return QString::number(ds.recNo()) + QLatin1Char('/') + QString::number(ds.recordCount());
}

void DataModule::customersOpened(DataSet& ds) { emit recordPosition(positionText(ds)); }
void DataModule::customerMoved(DataSet& ds) { emit recordPosition(positionText(ds)); }
void DataModule::callsOpened(DataSet& ds) { emit recordPosition(positionText(ds)); }
void DataModule::callMoved(DataSet& ds) { emit recordPosition(positionText(ds)); }

bool DataModule::ask(const QString& question)
{
    return questions_ && questions_->confirm(question);
}

bool DataModule::confirmCustomerDelete(DataSet&) { return ask(QStringLiteral("删除当前客户记录?")); }

bool DataModule::confirmCallDelete(DataSet&) { return ask(QStringLiteral("删除当前来电记录?")); }

void DataModule::dictionaryItemInserted(DataSet& ds) { ds.setValue(QStringLiteral("项目"), dictionaryItem_); }

void DataModule::showNotice(const QString& text)
{
    if (questions_)
        questions_->notice(text);
    else
        errorreport::report(text);
}

// Every call goes into the journal first (on disk when it returns).  Where
// nothing stands in the way it is then stored at once through the call list,
// so that the card shows it, and leaves the journal; otherwise the journal
// keeps it until the database can take it.
bool DataModule::logCall(const CallRecord& call) { return storeCall(journalCall(call)); }

JournalledCall DataModule::journalCall(const CallRecord& call)
{
    JournalledCall j;
    j.call = call;
    j.atOnce = canStoreAtOnce();
    try {
        j.order = courier_.journal(call, j.atOnce);
    } catch (const DbError& e) {
        journalProblem(e.message());
        if (!j.atOnce) {
            unjournalled_.append(call);
            emit callsWaitingChanged(callsWaiting());
        }
    }
    return j;
}

bool DataModule::storeCall(const JournalledCall& j)
{
    if (j.order < 0 && !j.atOnce)
        return false;  // waits in memory for the database
    // Long work may have taken the database since the call was journalled.
    if (!j.atOnce || (j.order >= 0 && !canStoreAtOnce(j.order))) {
        // Kept in the journal behind the calls before it, which go first.
        if (!courier_.away() && !connection.writesHeld())
            courier_.deliverNow();
        return false;
    }
    // A journalled call's row is written without waiting for the disk
    // (where the engine can): the flush runs beside the window, and the
    // call leaves the journal once its row is on disk.
    bool flushBeside = false;
    try {
        const CallOnItsWay onItsWay;
        const FlushLater later(connection, j.order >= 0 && !courier_.serves());
        flushBeside = later.on();
        writeCall(j.call);
    } catch (const DbError& e) {
        if (callTable.state() == DataSet::State::Insert)
            callTable.cancel();
        if (j.order < 0)
            throw;
        if (courier_.serves()) {
            if (!connectionLost())
                throw;
            // The server went away under the store: the call, marked
            // unsure, is looked for there before it is sent again.
            courier_.serverLost();
            return false;
        }
        // The file cannot take it now: kept, said, tried again.
        storeProblem_ = storeProblemText(e.message());
        emit callsWaitingChanged(callsWaiting());
        courier_.deliverNow();
        return false;
    }
    if (j.order >= 0 && courier_.serves())
        noteCommittedOnServer(j.order);
    else if (j.order >= 0 && flushBeside)
        courier_.storedBeforeFlush(j.order, connection.engine().flushFiles(connection.database()));
    else if (j.order >= 0)
        courier_.stored(j.order);
    // Calls journalled while this one waited for its turn follow it.
    if (courier_.waiting() > 0)
        courier_.deliverNow();
    return true;
}

// `own`: the journalled call about to be stored, the one call allowed to
// wait in the journal.
// A call stored on a server stays in the journal, with where in the
// server's log its commit lies, until the server's standbys have replayed
// it: a standby promoted before that would lack it.  Without a position
// (the server went away just now) it stays marked unsure, and the courier
// looks for it in 来电数据.
void DataModule::noteCommittedOnServer(qint64 order)
{
    const QString positioned = connection.engine().logPositionStatement();
    if (positioned.isEmpty()) {
        courier_.stored(order);
        return;
    }
    QSqlQuery q(connection.database());
    if (connection.run(q, positioned) && q.next())
        courier_.committed(order, q.value(0).toString(), serverName_);
    else
        courier_.deliverNow();
}

bool DataModule::canStoreAtOnce(qint64 own)
{
    const int before = courier_.waiting() - (own >= 0 ? 1 : 0);
    if (connection.writesHeld() || before > 0 || courier_.trying() || !unjournalled_.isEmpty() ||
        !storeProblem_.isEmpty())
        return false;
    if (!courier_.serves())
        return true;
    if (connectionLost())
        courier_.serverLost();
    // A closed call list would have to connect on the window thread.
    return !courier_.away() && callTable.isActive();
}

int DataModule::callsWaiting() const { return courier_.waiting() + int(unjournalled_.size()); }

QString DataModule::waitingText() const
{
    if (!storeProblem_.isEmpty())
        return cannotStoreText(callsWaiting(), storeProblem_);
    return callsWaitingText(connection.writesHeldBy(), callsWaiting());
}

// Calls the journal could not take are stored as soon as the database is
// free again (the journal's problem was said when it happened).
void DataModule::storeUnjournalledCalls()
{
    while (!unjournalled_.isEmpty() && !connection.writesHeld()) {
        if (!guarded([this] { writeCall(unjournalled_.first()); }))
            return;
        unjournalled_.removeFirst();
        emit callsWaitingChanged(callsWaiting());
    }
}

void DataModule::journalProblem(const QString& why)
{
    if (why == lastJournalError_)
        return;
    lastJournalError_ = why;
    errorreport::report(QStringLiteral("本机的来电日志写不进去，来电只能直接记入数据库：\n") + why);
}

// The journal's calls are in the database file.  A connection that was
// opened read-only is opened anew, so that the next call is stored at once.
void DataModule::callsMovedIn(int moved)
{
    const bool wasStuck = !storeProblem_.isEmpty();
    storeProblem_.clear();
    if (wasStuck && connection.isConnected() && !connection.engine().canWrite(connection.database()))
        reopenConnection();
    else if (moved > 0 && callTable.isActive())
        callStoredElsewhere();
    emit callsWaitingChanged(callsWaiting());
}

// The connection is let go and opened anew under the open lists, which
// then read their rows again (a list being edited once the edit ends).
bool DataModule::reopenConnection()
{
    {
        QSqlDatabase dropped = connection.database();
        dropped.close();
    }
    if (!guarded([this] { connection.open(); }))
        return false;
    for (DataSet* ds : {&customerTable, &callTable, &dictionaryTable})
        if (ds->isActive())
            reopenWhenBrowsing(ds);
    return true;
}

// A database file that cannot be written (read-only) takes no call: said at
// once, and the journal keeps them until it can.
//
// Calls the journal holds from before (the last run ended by a crash, a
// kill or a power cut, or the database could not be opened) are moved into
// a file before anything reads it.
void DataModule::databaseOpened()
{
    if (courier_.serves()) {
        QSqlDatabase db = connection.database();
        serverName_ = callqueue::serverName(location_, db, connection.engine());
        return;
    }
    if (!connection.engine().canWrite(connection.database())) {
        storeProblem_ = storeProblemText(QStringLiteral("readonly"));
        emit callsWaitingChanged(callsWaiting());
        courier_.deliverNow();
        return;
    }
    if (!connection.writesHeld())
        courier_.deliverHere();
}

void DataModule::writeCall(const CallRecord& call)
{
    DataSet& calls = callTable;
    if (!calls.isActive()) {
        // The call list is closed (the database was just put back): the
        // row goes straight into the table.
        connection.open();
        QSqlQuery q(connection.database());
        if (!connection.run(q, callInsert(call)))
            throw connection.failure(q);
        return;
    }
    calls.append();
    calls.setValue(QStringLiteral("电话"), call.phone);
    calls.setValue(QStringLiteral("手机"), call.mobile);
    calls.setValue(QStringLiteral("日期"), call.date);
    calls.setValue(QStringLiteral("时间"), call.time);
    if (!call.contact.isEmpty())
        calls.setValue(QStringLiteral("联系人"), call.contact);
    if (!call.company.isEmpty())
        calls.setValue(QStringLiteral("公司名称"), call.company);
    // Stored at once: the record is on disk when the handling ends.
    calls.post();
}

QString callsWaitingText(const QString& work, int waiting)
{
    return QStringLiteral("来电已记下（%1 个），等").arg(waiting) + (work.isEmpty() ? QStringLiteral("数据库") : work) +
           QStringLiteral("完成后记入来电数据。");
}

QString cannotStoreText(int waiting, const QString& why)
{
    if (waiting <= 0)
        return QStringLiteral("现在记不进数据库（") + why +
               QStringLiteral("）：来电会先保存在本机，数据库可以写入后自动记入来电数据。");
    return QStringLiteral("来电已记下（%1 个），但现在记不进数据库（").arg(waiting) + why +
           QStringLiteral("），已保存在本机，数据库可以写入后自动记入来电数据。");
}

// Why a database file takes no call, in the operator's words (the engine's
// own text only where nothing better is known).
QString storeProblemText(const QString& why)
{
    const QString lower = why.toLower();
    if (lower.contains(QLatin1String("readonly")) || lower.contains(QLatin1String("read-only")))
        return QStringLiteral("数据库文件是只读的");
    if (lower.contains(QLatin1String("locked")) || lower.contains(QLatin1String("busy")))
        return QStringLiteral("数据库正被其他程序占用");
    if (lower.contains(QLatin1String("disk is full")) || lower.contains(QLatin1String("no space")))
        return QStringLiteral("磁盘已满");
    if (lower.contains(QLatin1String("disk i/o")) || lower.contains(QLatin1String("malformed")))
        return QStringLiteral("数据库文件读写出错");
    return why.trimmed();
}

QString serverAwayText(int kept)
{
    if (kept <= 0)
        return QStringLiteral("服务器数据库连接不上，正在自动重新连接……");
    return QStringLiteral("服务器数据库连接不上，来电已记在本机（%1 个），连上后自动写入。").arg(kept);
}

QString serverConnectingText(int kept)
{
    if (kept <= 0)
        return QStringLiteral("正在连接服务器数据库……");
    return QStringLiteral("正在连接服务器数据库……来电已记在本机（%1 个），连上后自动写入。").arg(kept);
}

QString serverReachedText(int written)
{
    if (written <= 0)
        return QStringLiteral("已连上服务器数据库。");
    return QStringLiteral("已连上服务器数据库，本机记下的 %1 个来电已写入来电数据。").arg(written);
}

QString serverBackText(int written)
{
    if (written <= 0)
        return QStringLiteral("服务器数据库又连上了。");
    return QStringLiteral("服务器数据库又连上了，本机记下的 %1 个来电已写入来电数据。").arg(written);
}
