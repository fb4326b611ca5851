#include "data/app/datamodule.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include "rules/app/errorreport.h"
#include "rules/app/paths.h"

namespace {
DataModule* g_instance = nullptr;
}

DataModule::DataModule(QObject* parent)
    : QObject(parent),
      connection(QStringLiteral("ADOB")),
      customerTable(&connection, QStringLiteral("kehutable")),
      customerSource(&customerTable),
      callTable(&connection, QStringLiteral("laidianTel")),
      callSource(&callTable),
      lookupTable(&connection, QStringLiteral("s1")),
      dictionaryTable(&connection, QStringLiteral("zidian")),
      dictionarySource(&dictionaryTable)
{
    g_instance = this;
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
        if (table == QStringLiteral("来电数据"))
            callStoredElsewhere();
    });
    connect(&connection, &Connection::writesHeldChanged, this, [this](bool held) {
        if (!held)
            writeWaitingCalls();
    });
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
    connect(&courier_, &CallCourier::changed, this,
            [this] { emit serverAwayChanged(courier_.away(), courier_.waiting()); });
    connect(&courier_, &CallCourier::serverBack, this, [this](int written) {
        lastDeliveryError_.clear();
        renewConnection();
        emit serverBack(written);
    });
    connect(&courier_, &CallCourier::deliveryFailed, this, [this](const QString& why) {
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
        {
            QSqlDatabase dropped = connection.database();
            dropped.close();
        }
        if (!guarded([this] { connection.open(); }))
            return;
        for (DataSet* ds : {&customerTable, &callTable, &dictionaryTable})
            if (ds->isActive())
                reopenWhenBrowsing(ds);
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
    if (g_instance == this)
        g_instance = nullptr;
}

DataModule* DataModule::instance() { return g_instance; }

void DataModule::prepareConnection(Connection& c)
{
    // While the server is away nothing connects on the window thread (an
    // unanswered connect would hold it for seconds): the courier's tries
    // find the server back, and the lists follow.
    if (location_.isServer() && courier_.away())
        throw DbError(Connection::serverGoneText());
    if (location_.isServer()) {
        c.setLocation(location_);
        return;
    }
    c.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + programFolder() +
                          QStringLiteral("\\data\\web.mdb") + QStringLiteral(";Persist Security Info=False"));
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

bool DataModule::logCall(const CallRecord& call)
{
    if (connection.writesHeld() || !waitingCalls_.isEmpty()) {
        waitingCalls_.append(call);
        emit callsWaitingChanged(int(waitingCalls_.size()));
        return false;
    }
    return storeCall(call);
}

// Writes the call, or keeps it on this computer when the server cannot be
// reached (never trying to connect here: a server that does not answer
// would hold the window).  False when kept.
bool DataModule::storeCall(const CallRecord& call)
{
    if (!courier_.serves()) {
        writeCall(call);
        return true;
    }
    if (connectionLost())
        courier_.serverLost();
    // Calls kept before go first; a closed call list would have to connect.
    if (courier_.away() || courier_.waiting() > 0 || !callTable.isActive()) {
        courier_.keep(call, false);
        return false;
    }
    try {
        writeCall(call);
        return true;
    } catch (const DbError&) {
        if (!connectionLost())
            throw;
        // The server went away under the store: the row may or may not
        // have arrived, so it is checked for before it is sent again.
        if (callTable.state() == DataSet::State::Insert)
            callTable.cancel();
        courier_.serverLost();
        courier_.keep(call, true);
        return false;
    }
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
    calls.setValue(QStringLiteral("电话"), call.dianhua);
    calls.setValue(QStringLiteral("手机"), call.shouji);
    calls.setValue(QStringLiteral("日期"), call.riqi);
    calls.setValue(QStringLiteral("时间"), call.shijian);
    if (!call.lianxiren.isEmpty())
        calls.setValue(QStringLiteral("联系人"), call.lianxiren);
    if (!call.gongsi.isEmpty())
        calls.setValue(QStringLiteral("公司名称"), call.gongsi);
    // Stored at once: the record is on disk when the handling ends.
    calls.post();
}

void DataModule::writeWaitingCalls()
{
    while (!waitingCalls_.isEmpty() && !connection.writesHeld()) {
        const CallRecord call = waitingCalls_.first();
        try {
            storeCall(call);
        } catch (const std::exception& e) {
            // Kept for the next chance; the operator hears why.
            errorreport::report(QStringLiteral("来电 %1 还没有记入来电数据：%2")
                                    .arg(call.shouji.isEmpty() ? call.dianhua : call.shouji,
                                         QString::fromUtf8(e.what())));
            return;
        }
        waitingCalls_.removeFirst();
        emit callsWaitingChanged(int(waitingCalls_.size()));
    }
}

QString callsWaitingText(const QString& work, int waiting)
{
    return QStringLiteral("来电已记下（%1 个），等").arg(waiting) + (work.isEmpty() ? QStringLiteral("数据库") : work) +
           QStringLiteral("完成后记入来电数据。");
}

QString serverAwayText(int kept)
{
    if (kept <= 0)
        return QStringLiteral("服务器数据库连接不上，正在自动重新连接……");
    return QStringLiteral("服务器数据库连接不上，来电已记在本机（%1 个），连上后自动写入。").arg(kept);
}

QString serverBackText(int written)
{
    if (written <= 0)
        return QStringLiteral("服务器数据库又连上了。");
    return QStringLiteral("服务器数据库又连上了，本机记下的 %1 个来电已写入来电数据。").arg(written);
}
