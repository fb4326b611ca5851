#include "maintenance/maintenance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/errorreport.h"
#include "app/look.h"
#include "app/message.h"
#include "app/paths.h"
#include "db/datam.h"
#include "maintenance/dbfiles.h"
#include "transfer/tablereader.h"

namespace {

// Opens a closed data set again with the statement it had.
void reopen(DataSet& ds, const QString& sql)
{
    if (!sql.isEmpty())
        ds.reopen(sql);
}

// A small window saying what is being done while the work runs on this
// thread.  Nothing else may run meanwhile (no timer, no call may touch the
// database), so the window is only repainted, never given the event loop.
class BusyNotice {
public:
    BusyNotice(QWidget* owner, const QString& text)
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        w_ = new QWidget(owner, kFixedDialog);
        w_->setAttribute(Qt::WA_DeleteOnClose);
        w_->setWindowTitle(programTitle());
        w_->setWindowModality(Qt::ApplicationModal);
        auto* l = new QVBoxLayout(w_);
        label_ = new QLabel(text, w_);
        label_->setFont(songti(14));
        bar_ = new QProgressBar(w_);
        bar_->setRange(0, 0);
        bar_->setTextVisible(false);
        l->addWidget(label_);
        l->addWidget(bar_);
        w_->setFixedSize(360, 90);
        centreOnScreen(w_);
        w_->show();
        // Let the window appear once, before anything is closed.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        w_->repaint();
    }
    ~BusyNotice()
    {
        w_->close();
        QApplication::restoreOverrideCursor();
    }
    void progress(int percent)
    {
        if (percent == last_)
            return;
        last_ = percent;
        if (bar_->maximum() != 100)
            bar_->setRange(0, 100);
        bar_->setValue(percent);
        w_->repaint();
    }

private:
    QWidget* w_;
    QLabel* label_;
    QProgressBar* bar_;
    int last_ = -1;
};

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

}  // namespace

// ---------------------------------------------------------------------------
// The clearing confirmation window

Tdelete_queren::Tdelete_queren(bool& answer, QWidget* owner)
    : QDialog(owner, kFixedDialog), answer_(answer)
{
    setWindowTitle(QStringLiteral("删除数据确认"));
    setFont(songti(12));
    setFixedSize(288, 128);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(songti(16));
    Label1->setStyleSheet(QStringLiteral("color: red"));
    Label1->move(48, 32);
    Button1 = new QPushButton(QStringLiteral("是"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(40, 72, 75, 25);
    Button2 = new QPushButton(QStringLiteral("否"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(176, 72, 75, 25);
    // Both are default buttons: Enter presses whichever has the focus.
    Button1->setAutoDefault(true);
    Button2->setAutoDefault(true);
    Button1->setDefault(true);
    setTabOrder(Button1, Button2);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this, [this] {
        answer_ = true;
        close();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        answer_ = false;
        close();
    });
    move(326, 228);
}

void Tdelete_queren::keyPressEvent(QKeyEvent* e)
{
    // Neither button cancels: Escape leaves the window open.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

// ---------------------------------------------------------------------------
// The handlers

Maintenance::Maintenance(TDataModule1& dm, QWidget* owner, std::function<void()> activate)
    : QObject(owner), dm_(dm), owner_(owner), activate_(std::move(activate)),
      openReader_(openTableReader)
{
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
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
        return {};
    return d.selectedFiles().constFirst();
}

void Maintenance::N6Click()
{
    DataSet& k = dm_.kehutable;
    DataSet& l = dm_.laidianTel;
    if (!k.endPendingEdit() || !l.endPendingEdit())
        return;
    const QString kSql = k.commandText();
    const QString lSql = l.commandText();
    QString why;
    bool ok;
    {
        BusyNotice busy(owner_, QStringLiteral("正在压缩数据库，请稍候……"));
        k.close();
        l.close();
        dm_.ADOB.close();
        ok = dbfile::compactDatabase(databasePath(), programFolder() + QStringLiteral("data/new.MDB"),
                                     &why);
    }
    // The lists are back behind the message; "操作成功" is said only once
    // the compacted file has taken the database's place.
    guarded([&] {
        reopen(k, kSql);
        reopen(l, lSql);
    });
    showMessage(ok ? QStringLiteral("操作成功")
                   : QStringLiteral("操作失败") + QLatin1Char('\n') + why);
}

void Maintenance::N14Click()
{
    FileRequest r;
    r.save = true;
    r.title = QStringLiteral("请输入新生成的备份文件名称");
    r.filter = QStringLiteral("Microsoft access(*.mdb)|*.mdb");
    r.defaultSuffix = QStringLiteral("mdb");
    QString target = askFile(r);
    if (target.isEmpty())
        return;
    if (QFileInfo(target).suffix().isEmpty())
        target += QStringLiteral(".mdb");
    if (QFileInfo::exists(target)) {
        askConfirmation(dm_, owner_, QStringLiteral("文件已经存在，要覆盖吗?"));
        if (dm_.confirmationAnswer != 1)
            return;
    }
    QString why;
    bool ok;
    {
        BusyNotice busy(owner_, QStringLiteral("正在备份数据库，请稍候……"));
        ok = dbfile::backupDatabase(databasePath(), target, &why,
                                    [&](int p) { busy.progress(p); });
    }
    showMessage(ok ? QStringLiteral("备份成功！")
                   : QStringLiteral("备份失败！") + QLatin1Char('\n') + why);
}

void Maintenance::N15Click()
{
    askConfirmation(dm_, owner_, QStringLiteral("恢复数据将覆盖现在的数据，继续吗?"));
    if (dm_.confirmationAnswer != 1)
        return;
    FileRequest r;
    r.title = QStringLiteral("请选择一个过去备份的数据库文件");
    r.filter = QStringLiteral("Microsoft Acsess 数据文件(*.mdb)|*.mdb|"
                              "Access 2007 数据文件(*.accdb)|*.accdb");
    const QString source = askFile(r);
    if (source.isEmpty())
        return;

    // The chosen file is looked at before anything is closed.
    const dbfile::Kind kind = dbfile::kindOf(source);
    switch (kind) {
    case dbfile::Kind::Missing:
        showMessage(QStringLiteral("找不到文件“%1”，数据没有改动。").arg(shown(source)));
        return;
    case dbfile::Kind::NotDatabase:
        showMessage(QStringLiteral("“%1”不是数据库文件，数据没有改动。").arg(shown(source)));
        return;
    case dbfile::Kind::NotOurs:
        showMessage(QStringLiteral("“%1”不是本软件的数据库（应有客户数据、来电数据和字典三个表），"
                                   "数据没有改动。")
                        .arg(shown(source)));
        return;
    case dbfile::Kind::Ours:
    case dbfile::Kind::Access:
        break;
    }
    DataSet& k = dm_.kehutable;
    DataSet& l = dm_.laidianTel;
    if (!k.endPendingEdit() || !l.endPendingEdit())
        return;

    const QString db = databasePath();
    const QString replacement = db + QStringLiteral(".new");
    QString why;
    dbfile::MoveInCounts counts;
    bool ok;
    bool closed = false;
    {
        BusyNotice busy(owner_, QStringLiteral("正在恢复数据库，请稍候……"));
        auto progress = [&](int p) { busy.progress(p); };
        // The replacement is made and checked beside the database first.
        if (kind == dbfile::Kind::Ours) {
            ok = dbfile::backupDatabase(source, replacement, &why, progress);
        } else {
            std::unique_ptr<TableReader> reader = openReader_(source, &why);
            ok = reader && dbfile::convertAccess(*reader, replacement, &counts, &why, progress);
        }
        if (ok) {
            k.close();
            l.close();
            dm_.zidian.close();
            dm_.s1.close();
            dm_.ADOB.close();
            closed = true;
            ok = dbfile::replaceDatabase(db, replacement, db + QStringLiteral(".bak"), &why);
            if (!ok)
                QFile::remove(replacement);
        }
    }
    if (!ok)
        showMessage(QStringLiteral("恢复数据库失败，数据没有改动。\n") + why);
    // Once the data was closed, everything is loaded again as at start, from
    // whichever file is there now.
    if (closed && activate_)
        activate_();
    if (ok && kind == dbfile::Kind::Access)
        showMessage(QStringLiteral("已从Access数据库转入：客户数据 %1 条，来电数据 %2 条，字典 %3 条。")
                        .arg(counts.customers)
                        .arg(counts.calls)
                        .arg(counts.dictionary));
}

bool Maintenance::moveInOldDatabase()
{
    const QString db = databasePath();
    if (!dbfile::isAccessFile(db))
        return true;
    const QString replacement = db + QStringLiteral(".new");
    QString why;
    dbfile::MoveInCounts counts;
    bool ok;
    {
        BusyNotice busy(owner_, QStringLiteral("正在转换旧版Access数据库，请稍候……"));
        dm_.ADOB.close();
        std::unique_ptr<TableReader> reader = openReader_(db, &why);
        ok = reader &&
             dbfile::convertAccess(*reader, replacement, &counts, &why,
                                   [&](int p) { busy.progress(p); });
        reader.reset();
        ok = ok && dbfile::replaceDatabase(db, replacement, db + QStringLiteral(".jet"), &why);
        if (!ok)
            QFile::remove(replacement);
    }
    if (!ok) {
        showMessage(QStringLiteral("数据库“%1”是旧版Access数据库，转换失败：\n%2")
                        .arg(shown(db), why));
        return false;
    }
    showMessage(QStringLiteral("已把旧版Access数据库转换为本软件的数据库：\n"
                               "客户数据 %1 条，来电数据 %2 条，字典 %3 条。\n"
                               "原文件保存为“%4”。")
                    .arg(counts.customers)
                    .arg(counts.calls)
                    .arg(counts.dictionary)
                    .arg(shown(db + QStringLiteral(".jet"))));
    return true;
}

void Maintenance::clearTable(DataSet& ds, const QString& message, const QString& statement)
{
    clearingAnswer = false;
    {
        Tdelete_queren w(clearingAnswer, owner_);
        w.setWindowTitle(QStringLiteral("删除所有数据吗？"));
        w.Label1->setText(message);
        w.Label1->adjustSize();
        w.exec();
    }
    if (!clearingAnswer)
        return;
    if (!ds.endPendingEdit())
        return;
    const QString sql = ds.commandText();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ds.close();
    guarded([&] { dm_.runsql.execute(statement); });
    // The list is shown again whether or not the statement went through, so
    // that it never looks empty while the records are still there.
    guarded([&] { reopen(ds, sql); });
    QApplication::restoreOverrideCursor();
}

void Maintenance::N18Click()
{
    clearTable(dm_.kehutable, QStringLiteral("此操作将丢失所有客户数据！"),
               QStringLiteral("delete from  客户数据"));
}

void Maintenance::N19Click()
{
    clearTable(dm_.laidianTel, QStringLiteral("此操作将丢失来电数据！"),
               QStringLiteral("delete from  来电数据"));
}
