#include "db/datam.h"

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
