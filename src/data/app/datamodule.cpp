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
}

DataModule::~DataModule()
{
    if (g_instance == this)
        g_instance = nullptr;
}

DataModule* DataModule::instance() { return g_instance; }

void DataModule::prepareConnection(Connection& c)
{
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
    if (!callTable.isActive())
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
    writeCall(call);
    return true;
}

void DataModule::writeCall(const CallRecord& call)
{
    DataSet& calls = callTable;
    if (!calls.isActive()) {
        // The call list is closed (the database was just put back): the
        // row goes straight into the table.
        connection.open();
        QSqlQuery q(connection.database());
        q.prepare(QStringLiteral("insert into 来电数据 (电话, 手机, 日期, 时间, 联系人, 公司名称) values (?, ?, ?, ?, ?, ?)"));
        for (const QString& v : {call.dianhua, call.shouji, call.riqi, call.shijian, call.lianxiren, call.gongsi})
            q.addBindValue(v.isEmpty() ? QVariant() : QVariant(v));
        if (!q.exec())
            throw DbError(q.lastError().text());
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
            writeCall(call);
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
