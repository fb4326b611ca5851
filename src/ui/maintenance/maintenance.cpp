#include "ui/maintenance/maintenance.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <algorithm>

#include "rules/files/livefiles.h"
#include "rules/errors/errorreport.h"
#include "ui/kit/look.h"
#include "ui/kit/message.h"
#include "rules/files/paths.h"
#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "data/engine/serverrights.h"
#include "ui/kit/questionwindow.h"
#include "ui/kit/workwindow.h"
#include "ui/maintenance/clearconfirmwindow.h"
#include "ui/maintenance/servermaintenance.h"
#include "data/maintenance/dbfiles.h"
#include "rules/formats/tablereader.h"

namespace {

QString qtFilter(const QString& filter)
{
    // "name|pattern|name|pattern" as the dialogs of the program write it.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << (parts[i].contains(QLatin1Char('('))
                    ? parts[i]
                    : parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')'));
    return out.join(QStringLiteral(";;"));
}

QString shown(const QString& path) { return QDir::toNativeSeparators(QDir::cleanPath(path)); }

// A file operation as long work sees it: its progress, and the stop.
dbfile::Progress progressOf(WorkContext& cx)
{
    dbfile::Progress p;
    p.report = [&cx](int percent) { cx.progress(percent, 100); };
    p.stopRequested = [&cx] { return cx.stopRequested(); };
    return p;
}

// A file operation that failed ends the work: stopped when it was asked to,
// failed with its reason otherwise.
[[noreturn]] void failed(const WorkContext& cx, const QString& why)
{
    cx.checkStop();
    throw AppError(why);
}

// What a compact or a restore hands from its work to the window: the hold
// kept on the database while the replacement was made, and the checked file
// that is to take the database's place.  Whatever is not put in place goes.
struct Replacement {
    dbfile::WriteHold hold;
    QString file;
    void drop()
    {
        hold.release();
        if (!file.isEmpty())
            dbfile::removeDatabaseFile(file);
        file.clear();
    }
    ~Replacement() { drop(); }
};

// Typing on the card that is still pending when the work ends is stored
// before the data is closed (closing would throw it away).  *stored tells
// whether anything was written.  False when a store failed: that was
// reported and the typing is kept.
bool storeTyping(std::initializer_list<DataSet*> sets, bool* stored)
{
    for (DataSet* ds : sets) {
        const bool pending =
            ds->isActive() && ds->state() != DataSet::State::Browse && ds->isModified();
        if (!ds->endPendingEdit())
            return false;
        if (pending)
            *stored = true;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The handlers

Maintenance::Maintenance(DataModule& dm, QWidget* owner, std::function<void()> activate)
    : QObject(owner), dm_(dm), owner_(owner), activate_(std::move(activate)),
      openReader_(openTableReader),
      server_(new ServerMaintenance(dm, owner, activate_, [this](const FileRequest& r) { return askFile(r); }, this))
{
    connect(server_, &ServerMaintenance::workEnded, this, &Maintenance::workEnded);
}

BackgroundWork* Maintenance::work() const { return work_ ? work_.data() : server_->work(); }

void Maintenance::upload()
{
    if (!refuseWhileWorking(owner_))
        server_->upload();
}

QString Maintenance::databasePath() { return programFolder() + QStringLiteral("data/web.mdb"); }

QString Maintenance::askFile(const FileRequest& r)
{
    if (fileDialog_)
        return fileDialog_(r);
    QFileDialog d(owner_, r.title, programFolder(), qtFilter(r.filter));
    d.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The program asks about an existing file itself.
    d.setOption(QFileDialog::DontConfirmOverwrite);
    d.setDefaultSuffix(r.defaultSuffix);
    if (!r.selected.isEmpty())
        d.selectFile(r.selected);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
        return {};
    return d.selectedFiles().constFirst();
}

void Maintenance::start(BackgroundWork* work, std::function<void(const WorkOutcome&)> done)
{
    work_ = work;
    runWork(work, owner_, [this, done](const WorkOutcome& outcome) {
        work_ = nullptr;
        done(outcome);
    });
}

void Maintenance::finish(std::function<void()> tell)
{
    // The work's finished() handlers run before the calls held meanwhile
    // are logged: a message shown from there would keep them waiting.
    QTimer::singleShot(0, this, [this, tell] {
        if (tell)
            tell();
        emit workEnded();
    });
}

void Maintenance::say(const QString& text)
{
    if (say_)
        say_(text);
}

void Maintenance::compact()
{
    if (refuseWhileWorking(owner_))
        return;
    if (dm_.databaseLocation().isServer())
        return server_->compact();
    DataSet& k = dm_.customerTable;
    DataSet& l = dm_.callTable;
    if (!k.endPendingEdit() || !l.endPendingEdit())
        return;
    const QString db = databasePath();
    const QString scratch = programFolder() + QStringLiteral("data/new.MDB");
    auto replacement = std::make_shared<Replacement>();
    auto* work = new BackgroundWork(
        &dm_.connection, QStringLiteral("压缩数据库"), BackgroundWork::Access::Write,
        [db, scratch, replacement](WorkContext& cx) {
            QString why;
            if (!dbfile::removeDatabaseFile(scratch))
                throw AppError(QStringLiteral("无法删除上次留下的“") + shown(scratch) + QStringLiteral("”。"));
            // From here on nobody writes to the database until the copy has
            // taken its place: nothing stored meanwhile can be lost.
            if (!replacement->hold.take(db, &why))
                throw AppError(why);
            if (!dbfile::Compact_Mdb(db, scratch, &why, progressOf(cx)))
                failed(cx, why);
            replacement->file = scratch;
        },
        owner_);
    start(work, [this, db, replacement](const WorkOutcome& o) {
        if (!o.ok) {
            replacement->drop();
            finish([o] {
                if (!o.stopped)
                    showMessage(QStringLiteral("操作失败") + QLatin1Char('\n') + o.error);
            });
            return;
        }
        DataSet& k = dm_.customerTable;
        DataSet& l = dm_.callTable;
        replacement->hold.release();
        // Typing finished while the copy was made is stored now, into the
        // database the copy was made of: the copy would lack it.
        bool stored = false;
        if (!storeTyping({&k, &l, &dm_.dictionaryTable}, &stored) || stored) {
            replacement->drop();
            finish([stored] {
                showMessage(QStringLiteral("操作失败") + QLatin1Char('\n') +
                            (stored ? QStringLiteral("压缩期间保存了新的修改，数据库没有压缩，请再压缩一次。")
                                    : QStringLiteral("有未能保存的修改，数据库没有压缩。")));
            });
            return;
        }
        dm_.connection.close();
        QString why;
        const bool ok = dbfile::replaceDatabase(db, replacement->file, QString(), &why);
        replacement->file.clear();
        replacement->drop();
        // The lists come back with the searches in force, from whichever
        // file is there now.
        guarded([&] {
            if (k.hasStatement())
                k.reopen();
            if (l.hasStatement())
                l.reopen();
        });
        finish([ok, why] {
            showMessage(ok ? QStringLiteral("操作成功")
                           : QStringLiteral("操作失败") + QLatin1Char('\n') + why);
        });
    });
}

void Maintenance::backUp()
{
    if (refuseWhileWorking(owner_))
        return;
    if (dm_.databaseLocation().isServer())
        return server_->backUp();
    FileRequest r;
    r.save = true;
    r.title = QStringLiteral("请输入新生成的备份文件名称");
    r.filter = QStringLiteral("Microsoft access(*.mdb)|*.mdb");
    r.defaultSuffix = QStringLiteral("mdb");
    QString target = askFile(r);
    if (target.isEmpty())
        return;
    // The name as it will be written is the one asked about.
    if (QFileInfo(target).suffix().isEmpty())
        target += QStringLiteral(".mdb");
    if (QFileInfo::exists(target)) {
        if (!QuestionWindow::ask(owner_, QStringLiteral("文件已经存在，要覆盖吗?")))
            return;
    }
    // What was typed on the card goes into the copy too.
    if (!dm_.customerTable.endPendingEdit() || !dm_.callTable.endPendingEdit())
        return;
    const QString db = databasePath();
    // The copy is of one moment and never restarts: calls are logged in the
    // database meanwhile as always.
    auto* work = new BackgroundWork(
        &dm_.connection, QStringLiteral("备份数据库"), BackgroundWork::Access::Read,
        [db, target](WorkContext& cx) {
            QString why;
            if (!dbfile::backupDatabase(db, target, &why, progressOf(cx)))
                failed(cx, why);
        },
        owner_);
    start(work, [this](const WorkOutcome& o) {
        finish([o] {
            if (!o.stopped)
                showMessage(o.ok ? QStringLiteral("备份成功！")
                                 : QStringLiteral("备份失败！") + QLatin1Char('\n') + o.error);
        });
    });
}

void Maintenance::restore()
{
    if (refuseWhileWorking(owner_))
        return;
    if (dm_.databaseLocation().isServer())
        return server_->restore();
    if (!QuestionWindow::ask(owner_, QStringLiteral("恢复数据将覆盖现在的数据，继续吗?")))
        return;
    FileRequest r;
    r.title = QStringLiteral("请选择一个过去备份的数据库文件");
    r.filter = QStringLiteral("Microsoft Acsess 数据文件(*.mdb)|*.mdb|"
                              "Access 2007 数据文件(*.accdb)|*.accdb");
    const QString source = askFile(r);
    if (source.isEmpty())
        return;
    // The chosen file is looked at before anything is closed; the live
    // database itself is not opened a second time.
    if (livefiles::isLive(source)) {
        showMessage(livefiles::refusedText(source));
        return;
    }
    const dbfile::Kind kind = dbfile::kindOf(source);
    if (!restorableOrTold(source, kind))
        return;
    if (!dm_.customerTable.endPendingEdit() || !dm_.callTable.endPendingEdit())
        return;
    startRestore(source, kind);
}

bool Maintenance::restorableOrTold(const QString& source, dbfile::Kind kind)
{
    switch (kind) {
    case dbfile::Kind::Missing:
        showMessage(QStringLiteral("找不到文件“") + shown(source) + QStringLiteral("”，数据没有改动。"));
        return false;
    case dbfile::Kind::NotDatabase:
        showMessage(QStringLiteral("“") + shown(source) + QStringLiteral("”不是数据库文件，数据没有改动。"));
        return false;
    case dbfile::Kind::NotOurs:
        showMessage(QStringLiteral("“") + shown(source) +
                    QStringLiteral("”不是本软件的数据库（应有客户数据、来电数据和字典三个表），"
                                   "数据没有改动。"));
        return false;
    case dbfile::Kind::Incomplete: {
        QStringList lines;
        for (const auto& [table, columns] : dbfile::missingColumns(source))
            lines << table + QStringLiteral("表缺少：“") + columns.join(QStringLiteral("”、“")) +
                         QStringLiteral("”");
        showMessage(QStringLiteral("“") + shown(source) +
                    QStringLiteral("”缺少本软件要用的列，不能用来恢复，数据没有改动。\n") +
                    lines.join(QLatin1Char('\n')));
        return false;
    }
    case dbfile::Kind::TextKeys:
        showMessage(QStringLiteral("“") + shown(source) + QStringLiteral("”中") +
                    dbfile::tablesWithoutIntegerKey(source).join(QStringLiteral("、")) +
                    QStringLiteral("表的ID不是整数编号，本软件不能使用这样的数据库，不能用来恢复，数据没有改动。"));
        return false;
    case dbfile::Kind::Ours:
    case dbfile::Kind::Access:
        break;
    }
    return true;
}

// The replacement is made and checked on the work's thread; the database is
// replaced, and everything loaded again, once the work has ended.
void Maintenance::startRestore(const QString& source, dbfile::Kind kind)
{
    const QString db = databasePath();
    auto replacement = std::make_shared<Replacement>();
    auto counts = std::make_shared<dbfile::MoveInCounts>();
    const ReaderOpener opener = openReader_;
    auto* work = new BackgroundWork(
        &dm_.connection, QStringLiteral("恢复数据库"), BackgroundWork::Access::Write,
        [db, source, kind, replacement, counts, opener](WorkContext& cx) {
            QString why;
            if (!replacement->hold.take(db, &why))
                throw AppError(why);
            // The replacement is made and checked beside the database.
            const QString file = db + QStringLiteral(".new");
            bool ok;
            if (kind == dbfile::Kind::Ours) {
                // A file from elsewhere gets the full check, indexes against
                // their rows, before it takes the database's place.
                ok = dbfile::backupDatabase(source, file, &why, progressOf(cx));
                if (ok && !dbfile::verifyDatabase(file, &why)) {
                    dbfile::removeDatabaseFile(file);
                    ok = false;
                }
            } else {
                std::unique_ptr<TableReader> reader = opener(source, &why);
                ok = reader && dbfile::convertAccess(*reader, file, counts.get(), &why, progressOf(cx));
            }
            if (!ok)
                failed(cx, why);
            replacement->file = file;
        },
        owner_);
    start(work, [this, db, kind, replacement, counts](const WorkOutcome& o) {
        if (!o.ok) {
            replacement->drop();
            finish([o] {
                if (!o.stopped)
                    showMessage(QStringLiteral("恢复数据库失败，数据没有改动。\n") + o.error);
            });
            return;
        }
        replacement->hold.release();
        // Typing finished meanwhile goes into the database being replaced,
        // which stays beside as web.mdb.bak.
        bool stored = false;
        if (!storeTyping({&dm_.customerTable, &dm_.callTable, &dm_.dictionaryTable}, &stored)) {
            replacement->drop();
            finish([] {
                showMessage(QStringLiteral("恢复数据库失败，数据没有改动。\n有未能保存的修改。"));
            });
            return;
        }
        dm_.dictionaryTable.close();
        dm_.lookupTable.close();
        dm_.connection.close();
        QString why;
        const bool ok = dbfile::replaceDatabase(db, replacement->file, db + QStringLiteral(".bak"), &why);
        if (ok)
            replacement->file.clear();
        replacement->drop();
        // Everything is loaded again as at start, from whichever file is
        // there now.
        if (activate_)
            activate_();
        const dbfile::MoveInCounts moved = *counts;
        finish([ok, why, kind, moved] {
            if (!ok)
                showMessage(QStringLiteral("恢复数据库失败，数据没有改动。\n") + why);
            else if (kind == dbfile::Kind::Access)
                showMessage(QStringLiteral("已从Access数据库转入：客户数据 ") + QString::number(moved.customers) +
                            QStringLiteral(" 条，来电数据 ") + QString::number(moved.calls) +
                            QStringLiteral(" 条，字典 ") + QString::number(moved.dictionary) +
                            QStringLiteral(" 条。"));
        });
    });
}

bool Maintenance::moveInOldDatabase(std::function<void()> then)
{
    const QString db = databasePath();
    if (!dbfile::isAccessFile(db))
        return true;
    if (refuseWhileWorking(owner_))
        return false;
    dm_.connection.close();
    const QString file = db + QStringLiteral(".new");
    auto counts = std::make_shared<dbfile::MoveInCounts>();
    const ReaderOpener opener = openReader_;
    // Nothing is open yet: the work needs no connection.
    auto* work = new BackgroundWork(
        nullptr, QStringLiteral("转换旧版Access数据库"), BackgroundWork::Access::None,
        [db, file, counts, opener](WorkContext& cx) {
            QString why;
            std::unique_ptr<TableReader> reader = opener(db, &why);
            if (!reader || !dbfile::convertAccess(*reader, file, counts.get(), &why, progressOf(cx)))
                failed(cx, why);
        },
        owner_);
    start(work, [this, db, file, counts, then](const WorkOutcome& o) {
        QString why = o.stopped ? QStringLiteral("已停止。") : o.error;
        const bool ok = o.ok && dbfile::replaceDatabase(db, file, db + QStringLiteral(".jet"), &why);
        if (!ok)
            dbfile::removeDatabaseFile(file);
        if (ok && then)
            then();
        const dbfile::MoveInCounts moved = *counts;
        finish([ok, why, db, moved] {
            if (!ok) {
                showMessage(QStringLiteral("数据库“") + shown(db) + QStringLiteral("”是旧版Access数据库，转换失败：\n") +
                            why);
                return;
            }
            showMessage(QStringLiteral("已把旧版Access数据库转换为本软件的数据库：\n客户数据 ") +
                        QString::number(moved.customers) + QStringLiteral(" 条，来电数据 ") +
                        QString::number(moved.calls) + QStringLiteral(" 条，字典 ") +
                        QString::number(moved.dictionary) + QStringLiteral(" 条。\n原文件保存为“") +
                        shown(db + QStringLiteral(".jet")) + QStringLiteral("”。"));
        });
    });
    return false;
}

// ---------------------------------------------------------------------------
// Clearing

QString Maintenance::clearingBackupName(const QDateTime& when)
{
    return QStringLiteral("清空前备份-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           QStringLiteral(".mdb");
}

QStringList Maintenance::clearingBackups()
{
    QDir data(programFolder() + QStringLiteral("data"));
    QFileInfoList files = data.entryInfoList({QStringLiteral("清空前备份-*.mdb")}, QDir::Files);
    std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const QDateTime ta = a.lastModified(), tb = b.lastModified();
        return ta != tb ? ta < tb : a.fileName() < b.fileName();
    });
    QStringList out;
    for (const QFileInfo& f : files)
        out << f.absoluteFilePath();
    return out;
}

void Maintenance::clearTable(DataSet& ds, serverrights::Step step, const QString& what, const QString& message,
                             const QString& statement)
{
    if (refuseWhileWorking(owner_))
        return;
    // A desk's login may not clear: said before anything is asked or done.
    const QString refusal = serverrights::refusal(dm_.connection.database(), step);
    if (!refusal.isEmpty()) {
        showMessage(refusal);
        return;
    }
    if (!ClearConfirmWindow::ask(owner_, QStringLiteral("删除所有数据吗？"), message))
        return;
    // What was typed is stored first, so that the backup holds it too.
    if (!ds.endPendingEdit())
        return;

    const QString db = databasePath();
    // On the server the rows go in one transaction; the server keeps its
    // own backups (pg_dump), there is no file to copy here.
    const bool server = dm_.databaseLocation().isServer();
    QString target = programFolder() + QStringLiteral("data/") +
                     clearingBackupName(QDateTime::currentDateTime());
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = target.left(target.size() - 4) + QLatin1Char('-') + QString::number(n) +
                 QStringLiteral(".mdb");
    auto* work = new BackgroundWork(
        &dm_.connection, what, BackgroundWork::Access::Write,
        [db, target, statement, what, server](WorkContext& cx) {
            QSqlQuery q(cx.db());
            if (server) {
                cx.setText(QStringLiteral("正在") + what + QStringLiteral("，请稍候……"));
                cx.interruptOnStop();
                if (!q.exec(QStringLiteral("begin")) || !q.exec(statement) || !q.exec(QStringLiteral("commit")))
                    throw DbError(q.lastError().text());
                return;
            }
            // The database is held from before the copy until the rows are
            // gone: the copy holds everything that is cleared.
            if (!q.exec(QStringLiteral("begin immediate")))
                throw DbError(q.lastError().text());
            cx.setText(QStringLiteral("正在备份清空前的数据，请稍候……"));
            QString why;
            if (!dbfile::backupDatabase(db, target, &why, progressOf(cx)))
                failed(cx, QStringLiteral("清空前的备份没有做成，数据没有清空。\n") + why);
            const QStringList kept = clearingBackups();
            for (int i = 0; i + kClearingBackupsKept < kept.size(); ++i)
                dbfile::removeDatabaseFile(kept[i]);
            cx.checkStop();
            cx.setText(QStringLiteral("正在") + what + QStringLiteral("，请稍候……"));
            cx.interruptOnStop();
            if (!q.exec(statement) || !q.exec(QStringLiteral("commit"))) {
                cx.checkStop();
                throw DbError(q.lastError().text());
            }
        },
        owner_);
    DataSet* set = &ds;
    start(work, [this, set, target, what, server](const WorkOutcome& o) {
        // The list is shown again whether or not the rows went, so that it
        // never looks empty while the records are still there.
        guarded([&] {
            if (set->hasStatement())
                set->reopen();
        });
        finish([this, o, target, what, server] {
            if (o.ok && server)
                say(QStringLiteral("已") + what + QStringLiteral("。"));
            else if (o.ok)
                say(QStringLiteral("已") + what + QStringLiteral("。清空前的数据备份在“") + shown(target) +
                    QStringLiteral("”，可用“恢复数据库”找回。"));
            else if (!o.stopped)
                errorreport::report(o.error);
        });
    });
}

void Maintenance::clearCustomers()
{
    clearTable(dm_.customerTable, serverrights::Step::ClearCustomers, QStringLiteral("清空客户数据"), QStringLiteral("此操作将丢失所有客户数据！"),
               QStringLiteral("delete from  客户数据"));
}

void Maintenance::clearCalls()
{
    clearTable(dm_.callTable, serverrights::Step::ClearCalls, QStringLiteral("清空来电数据"), QStringLiteral("此操作将丢失来电数据！"),
               QStringLiteral("delete from  来电数据"));
}
