#include "db/datam.h"

#include <QSqlError>
#include <QSqlQuery>

#include "app/errorreport.h"
#include "app/paths.h"

namespace {
TDataModule1* g_instance = nullptr;
}

TDataModule1::TDataModule1(QObject* parent)
    : QObject(parent),
      ADOB(QStringLiteral("ADOB")),
      kehutable(&ADOB, QStringLiteral("kehutable")),
      kehuds(&kehutable),
      laidianTel(&ADOB, QStringLiteral("laidianTel")),
      laidiands(&laidianTel),
      s1(&ADOB, QStringLiteral("s1")),
      zidian(&ADOB, QStringLiteral("zidian")),
      zidianDs(&zidian),
      Search_Data1(&ADOB, QStringLiteral("Search_Data1")),
      Search_Data2(&ADOB, QStringLiteral("Search_Data2")),
      Search_Data3(&ADOB, QStringLiteral("Search_Data3")),
      Search_Data4(&ADOB, QStringLiteral("Search_Data4")),
      runsql(ADOB)
{
    g_instance = this;
    ADOB.setBeforeConnect([this](Connection& c) { ADOBBeforeConnect(c); });
    kehutable.setAfterOpen([this](DataSet& ds) { kehutableAfterOpen(ds); });
    kehutable.setAfterScroll([this](DataSet& ds) { kehutableAfterScroll(ds); });
    kehutable.setBeforeDelete([this](DataSet& ds) { return kehutableBeforeDelete(ds); });
    laidianTel.setAfterOpen([this](DataSet& ds) { laidianTelAfterOpen(ds); });
    laidianTel.setAfterScroll([this](DataSet& ds) { laidianTelAfterScroll(ds); });
    laidianTel.setBeforeDelete([this](DataSet& ds) { return laidianTelBeforeDelete(ds); });
    zidian.setAfterInsert([this](DataSet& ds) { zidianAfterInsert(ds); });
    connect(&ADOB, &Connection::writesHeldChanged, this, [this](bool held) {
        if (!held)
            writeWaitingCalls();
    });
}

TDataModule1::~TDataModule1()
{
    if (g_instance == this)
        g_instance = nullptr;
}

TDataModule1* TDataModule1::instance() { return g_instance; }

void TDataModule1::ADOBBeforeConnect(Connection& c)
{
    c.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + programFolder() +
                          QStringLiteral("\\data\\web.mdb") + QStringLiteral(";Persist Security Info=False"));
}

QString TDataModule1::positionText(const DataSet& ds)
{
    return QString::number(ds.recNo()) + QLatin1Char('/') + QString::number(ds.recordCount());
}

void TDataModule1::kehutableAfterOpen(DataSet& ds) { emit recordPosition(positionText(ds)); }
void TDataModule1::kehutableAfterScroll(DataSet& ds) { emit recordPosition(positionText(ds)); }
void TDataModule1::laidianTelAfterOpen(DataSet& ds) { emit recordPosition(positionText(ds)); }
void TDataModule1::laidianTelAfterScroll(DataSet& ds) { emit recordPosition(positionText(ds)); }

bool TDataModule1::ask(const QString& question)
{
    confirmationAnswer = 0;
    const bool yes = questions_ && questions_->confirm(question);
    confirmationAnswer = yes ? 1 : 0;
    return yes;
}

bool TDataModule1::kehutableBeforeDelete(DataSet&) { return ask(QStringLiteral("删除当前客户记录?")); }

bool TDataModule1::laidianTelBeforeDelete(DataSet&) { return ask(QStringLiteral("删除当前来电记录?")); }

void TDataModule1::zidianAfterInsert(DataSet& ds) { ds.setValue(QStringLiteral("项目"), currentDictItem); }

void TDataModule1::ShowMessage_jd(const QString& text)
{
    if (questions_)
        questions_->notice(text);
    else
        errorreport::report(text);
}

bool TDataModule1::logCall(const CallRecord& call)
{
    if (ADOB.writesHeld() || !waitingCalls_.isEmpty()) {
        waitingCalls_.append(call);
        emit callsWaitingChanged(int(waitingCalls_.size()));
        return false;
    }
    writeCall(call);
    return true;
}

void TDataModule1::writeCall(const CallRecord& call)
{
    DataSet& calls = laidianTel;
    if (!calls.isActive()) {
        // The call list is closed (the database was just put back): the
        // row goes straight into the table.
        ADOB.open();
        QSqlQuery q(ADOB.database());
        q.prepare(QStringLiteral("insert into 来电数据 (电话, 手机, 日期, 时间) values (?, ?, ?, ?)"));
        for (const QString& v : {call.dianhua, call.shouji, call.riqi, call.shijian})
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
    // Stored at once: the record is on disk when the handling ends.
    calls.post();
}

void TDataModule1::writeWaitingCalls()
{
    while (!waitingCalls_.isEmpty() && !ADOB.writesHeld()) {
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
