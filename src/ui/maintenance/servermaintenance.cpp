#include "ui/maintenance/servermaintenance.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "data/maintenance/dbfiles.h"
#include "data/maintenance/serverfiles.h"
#include "data/maintenance/serverupload.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "ui/kit/message.h"
#include "ui/kit/questionwindow.h"
#include "ui/kit/workwindow.h"

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(QDir::cleanPath(path)); }
QString quoted(const QString& path) { return QStringLiteral("“") + shown(path) + QStringLiteral("”"); }

serverfiles::Progress progressOf(WorkContext& cx)
{
    serverfiles::Progress p;
    p.text = [&cx](const QString& text) { cx.setText(text); };
    p.stopRequested = [&cx] { return cx.stopRequested(); };
    return p;
}

// A failed operation ends the work: stopped when it was asked to, failed
// with its reason otherwise.
void endWork(bool ok, bool stopped, const QString& why)
{
    if (ok)
        return;
    if (stopped)
        throw WorkStopped();
    throw AppError(why);
}

const QString kUnchanged = QStringLiteral("数据没有改动。");

}  // namespace

ServerMaintenance::ServerMaintenance(DataModule& dm, QWidget* owner, std::function<void()> activate, AskFile askFile,
                                     QObject* parent)
    : QObject(parent), dm_(dm), owner_(owner), activate_(std::move(activate)), askFile_(std::move(askFile))
{
}

QString ServerMaintenance::backupFilter()
{
    return QStringLiteral("服务器数据库备份(*.dump)|*.dump|所有文件(*)|*");
}

void ServerMaintenance::start(BackgroundWork* work, std::function<void(const WorkOutcome&)> done)
{
    work_ = work;
    runWork(work, owner_, [this, done](const WorkOutcome& outcome) {
        work_ = nullptr;
        done(outcome);
    });
}

void ServerMaintenance::finish(std::function<void()> tell)
{
    // After the calls held meanwhile are logged (see Maintenance::finish).
    QTimer::singleShot(0, this, [this, tell] {
        if (tell)
            tell();
        emit workEnded();
    });
}

void ServerMaintenance::reload()
{
    // Typing finished meanwhile is stored first; closing would lose it.
    for (DataSet* ds : {&dm_.customerTable, &dm_.callTable, &dm_.dictionaryTable})
        if (!ds->endPendingEdit())
            return;
    dm_.dictionaryTable.close();
    dm_.lookupTable.close();
    dm_.connection.close();
    if (activate_)
        activate_();
}

bool ServerMaintenance::refused(serverrights::Step step)
{
    const QString why = serverrights::refusal(dm_.connection.database(), step);
    if (!why.isEmpty())
        showMessage(why);
    return !why.isEmpty();
}

void ServerMaintenance::compact()
{
    if (refused(serverrights::Step::Compact))
        return;
    // The server compacts beside its work: readers and writers go on, and
    // so do the calls.
    auto* work = new BackgroundWork(
        &dm_.connection, QStringLiteral("压缩数据库"), BackgroundWork::Access::Read,
        [](WorkContext& cx) {
            QSqlDatabase db = cx.db();
            cx.interruptOnStop();
            QString why;
            bool stopped = false;
            const bool ok = serverfiles::vacuumTables(db, progressOf(cx), &why, &stopped);
            endWork(ok, stopped || cx.stopRequested(), why);
        },
        owner_);
    start(work, [this](const WorkOutcome& o) {
        finish([o] {
            if (!o.stopped)
                showMessage(o.ok ? QStringLiteral("操作成功") : QStringLiteral("操作失败") + QLatin1Char('\n') + o.error);
        });
    });
}

void ServerMaintenance::backUp()
{
    MaintenanceFileRequest r;
    r.save = true;
    r.title = QStringLiteral("请输入新生成的备份文件名称");
    r.filter = backupFilter();
    r.defaultSuffix = QStringLiteral("dump");
    QString target = askFile_(r);
    if (target.isEmpty())
        return;
    if (QFileInfo(target).suffix().isEmpty())
        target += QStringLiteral(".dump");
    if (QFileInfo::exists(target) && !QuestionWindow::ask(owner_, QStringLiteral("文件已经存在，要覆盖吗?")))
        return;
    // What was typed on the card goes into the backup too.
    if (!dm_.customerTable.endPendingEdit() || !dm_.callTable.endPendingEdit())
        return;
    const DatabaseLocation where = dm_.databaseLocation();
    auto* work = new BackgroundWork(
        &dm_.connection, QStringLiteral("备份数据库"), BackgroundWork::Access::Read,
        [where, target](WorkContext& cx) {
            QString why;
            bool stopped = false;
            const bool ok = serverfiles::dump(where, serverfiles::serverMajor(cx.db()), target, progressOf(cx), &why, &stopped);
            endWork(ok, stopped, why);
        },
        owner_);
    start(work, [this](const WorkOutcome& o) {
        finish([o] {
            if (!o.stopped)
                showMessage(o.ok ? QStringLiteral("备份成功！") : QStringLiteral("备份失败！") + QLatin1Char('\n') + o.error);
        });
    });
}

QString ServerMaintenance::restoreProblem(const QString& file)
{
    if (!QFileInfo(file).isFile())
        return QStringLiteral("找不到文件") + quoted(file) + QStringLiteral("，") + kUnchanged;
    if (serverfiles::isDumpFile(file))
        return {};
    const QString moveIn = QStringLiteral("本机数据库的数据请用“设置”菜单的“上传本机数据到服务器”移到服务器上。") + kUnchanged;
    switch (dbfile::kindOf(file)) {
    case dbfile::Kind::Ours:
    case dbfile::Kind::Incomplete:
    case dbfile::Kind::TextKeys:
    case dbfile::Kind::NotOurs:
        return quoted(file) + QStringLiteral("是本机数据库文件，不是服务器数据库的备份，不能用来恢复服务器数据库。\n") + moveIn;
    case dbfile::Kind::Access:
        return quoted(file) +
               QStringLiteral("是Access数据库文件，不能用来恢复服务器数据库。\n请先在本机数据库中用“恢复数据库”把它转换过来，再用"
                              "“设置”菜单的“上传本机数据到服务器”移到服务器上。") +
               kUnchanged;
    default:
        break;
    }
    return quoted(file) + QStringLiteral("不是服务器数据库的备份文件（应是“备份数据库”或 pg_dump -Fc 写出的文件），") + kUnchanged;
}

void ServerMaintenance::restore()
{
    if (refused(serverrights::Step::Restore))
        return;
    if (!QuestionWindow::ask(owner_, QStringLiteral("恢复数据将覆盖现在的数据，继续吗?")))
        return;
    MaintenanceFileRequest r;
    r.title = QStringLiteral("请选择一个过去备份的数据库文件");
    r.filter = backupFilter();
    const QString file = askFile_(r);
    if (file.isEmpty())
        return;
    if (const QString problem = restoreProblem(file); !problem.isEmpty()) {
        showMessage(problem);
        return;
    }
    if (!dm_.customerTable.endPendingEdit() || !dm_.callTable.endPendingEdit())
        return;
    const DatabaseLocation where = dm_.databaseLocation();
    // The desk's own writes wait for the restore: a call that comes
    // meanwhile goes into the restored database.
    auto* work = new BackgroundWork(
        &dm_.connection, QStringLiteral("恢复数据库"), BackgroundWork::Access::Write,
        [where, file](WorkContext& cx) {
            QString why;
            bool stopped = false;
            const bool ok = serverfiles::restore(where, serverfiles::serverMajor(cx.db()), file, progressOf(cx), &why, &stopped);
            endWork(ok, stopped, why);
        },
        owner_);
    start(work, [this](const WorkOutcome& o) {
        if (o.ok)
            guarded([this] { reload(); });
        finish([o] {
            if (!o.ok && !o.stopped)
                showMessage(QStringLiteral("恢复数据库失败，") + kUnchanged + QLatin1Char('\n') + o.error);
        });
    });
}

// --- upload -------------------------------------------------------------------

QString ServerMaintenance::askUploadFile()
{
    MaintenanceFileRequest r;
    r.title = QStringLiteral("请选择要上传到服务器的本机数据库（通常是本软件的 data/web.mdb）");
    r.filter = QStringLiteral("本软件的数据库(*.mdb)|*.mdb|所有文件(*)|*");
    r.selected = programFolder() + QStringLiteral("data/web.mdb");
    return askFile_(r);
}

void ServerMaintenance::upload()
{
    if (!dm_.databaseLocation().isServer()) {
        showMessage(QStringLiteral("现在使用的是本机数据库。请先在“设置 → 数据库设置”中选择服务器数据库并连接，"
                                   "再把本机数据上传到服务器。"));
        return;
    }
    if (refused(serverrights::Step::Upload))
        return;
    // Asked now so that nobody chooses a file in vain; asked again, for
    // good, inside the upload's transaction.
    QString why;
    QSqlDatabase db = dm_.connection.database();
    const QStringList full = serverupload::tablesWithRows(db, &why);
    if (!why.isEmpty() || !full.isEmpty()) {
        showMessage(why.isEmpty() ? QStringLiteral("服务器数据库里已经有数据（") + full.join(QStringLiteral("、")) +
                                        QStringLiteral("），不能上传：上传只用于把本机数据移到一个还没有数据的服务器数据库。")
                                  : QStringLiteral("无法上传：") + why);
        return;
    }
    const QString file = askUploadFile();
    if (file.isEmpty())
        return;
    if (const QString problem = serverupload::fileProblem(file); !problem.isEmpty()) {
        showMessage(problem);
        return;
    }
    if (!QuestionWindow::ask(owner_, QStringLiteral("把") + quoted(file) + QStringLiteral("中的客户数据、来电数据和字典上传到服务器数据库“") +
                                         dm_.databaseLocation().describe() + QStringLiteral("”吗?")))
        return;
    if (!dm_.customerTable.endPendingEdit() || !dm_.callTable.endPendingEdit())
        return;
    startUpload(file);
}

void ServerMaintenance::startUpload(const QString& file)
{
    auto counts = std::make_shared<serverupload::Counts>();
    auto* work = new BackgroundWork(
        &dm_.connection, QStringLiteral("上传本机数据到服务器"), BackgroundWork::Access::Write,
        [file, counts](WorkContext& cx) {
            serverupload::Progress p;
            p.report = [&cx](qint64 done, qint64 total) { cx.progress(done, total); };
            p.text = [&cx](const QString& text) { cx.setText(text); };
            p.stopRequested = [&cx] { return cx.stopRequested(); };
            QSqlDatabase db = cx.db();
            QString why;
            bool stopped = false;
            const bool ok = serverupload::upload(db, file, p, counts.get(), &why, &stopped);
            endWork(ok, stopped, why);
        },
        owner_);
    start(work, [this, counts](const WorkOutcome& o) {
        if (o.ok)
            guarded([this] { reload(); });
        const serverupload::Counts moved = *counts;
        finish([o, moved] {
            if (o.ok)
                showMessage(QStringLiteral("已上传到服务器：客户数据 ") + QString::number(moved.customers) +
                            QStringLiteral(" 条，来电数据 ") + QString::number(moved.calls) + QStringLiteral(" 条，字典 ") +
                            QString::number(moved.dictionary) + QStringLiteral(" 条。"));
            else if (!o.stopped)
                showMessage(QStringLiteral("上传没有完成，服务器数据库没有改动。\n") + o.error);
        });
    });
}
