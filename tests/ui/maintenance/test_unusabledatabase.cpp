// A database file at start that is empty, damaged or not the program's: set
// aside (kept, never opened as a database), told in Chinese, and the
// operator starts with an empty database or restores a backup.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include "data/module/datamodule.h"
#include "data/maintenance/dbfiles.h"
#include "rules/errors/errorreport.h"
#include "testutil.h"
#include "ui/shell/mainwindow.h"
#include "ui/kit/message.h"
#include "ui/maintenance/maintenance.h"

namespace {

void writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

}  // namespace

class TestUnusableDatabase : public QObject {
    Q_OBJECT
    QString folder_, db_;
    QStringList messages_, reports_;

    // The files set aside in data/.
    QStringList setAside() const
    {
        return QDir(folder_ + QStringLiteral("data")).entryList({QStringLiteral("web.mdb.损坏-*")}, QDir::Files);
    }

private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        db_ = folder_ + QStringLiteral("data/web.mdb");
        messages_.clear();
        reports_.clear();
        setMessageSink([this](const QString& t) { messages_ << t; });
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup()
    {
        setMessageSink({});
        errorreport::setSink({});
    }

    void anEmptyFileIsKeptAndAnEmptyDatabaseMade()
    {
        writeFile(db_, {});
        testutil::MainFixture f;
        QString said;
        testutil::whenModal(QStringLiteral("新建空数据库"), &said);
        f->activate();
        QVERIFY2(said.contains(QStringLiteral("是空的或已损坏")) && said.contains(QStringLiteral("已改名保存为")), qPrintable(said));
        QCOMPARE(setAside().size(), 1);
        QCOMPARE(QFileInfo(folder_ + QStringLiteral("data/") + setAside()[0]).size(), 0);
        QCOMPARE(dbfile::kindOf(db_), dbfile::Kind::Ours);
        QVERIFY(f.dm->customerTable.isActive());
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join('\n')));
    }

    // Opened by the program before the activation (as a call at start
    // may): looked at through that connection, let go, then set aside.
    void anEmptyFileAlreadyOpenIsLetGoFirst()
    {
        writeFile(db_, {});
        testutil::MainFixture f;
        guarded([&] { f.dm->connection.open(); });
        reports_.clear();
        testutil::whenModal(QStringLiteral("新建空数据库"));
        f->activate();
        // The file with the log its opening left beside it, renamed alike.
        const QStringList aside = setAside();
        QCOMPARE(aside.filter(QRegularExpression(QStringLiteral("-(wal|shm|journal)$"))).size(), aside.size() - 1);
        QCOMPARE(dbfile::kindOf(db_), dbfile::Kind::Ours);
        QVERIFY(f.dm->customerTable.isActive());
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join('\n')));
    }

    void aDamagedFileIsReplacedByAChosenBackup()
    {
        const QString backup = folder_ + QStringLiteral("备份.mdb");
        testutil::makeDatabase(backup);
        testutil::addCustomers(backup, 5);
        writeFile(db_, QByteArray("SQLite format 3\0", 16) + QByteArray(3000, '\x5a'));
        testutil::MainFixture f;
        f->maintenance()->setFileDialog([&](const Maintenance::FileRequest&) { return backup; });
        QSignalSpy restored(f->maintenance(), &Maintenance::workEnded);
        testutil::whenModal(QStringLiteral("从备份恢复"));
        f->activate();
        QVERIFY(restored.wait(30000));
        QCOMPARE(setAside().size(), 1);
        QCOMPARE(QFileInfo(folder_ + QStringLiteral("data/") + setAside()[0]).size(), 3016);
        QCOMPARE(dbfile::kindOf(db_), dbfile::Kind::Ours);
        QTRY_COMPARE(f.dm->customerTable.recordCount(), 5);
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join('\n')));
    }

    // Choosing neither: the window stays without a database, and nothing
    // is made in the file's place.
    void neitherLeavesTheFileAsideAndNothingOpen()
    {
        testutil::execute(db_, QStringLiteral("drop table 字典"));
        testutil::MainFixture f;
        testutil::whenModal(QStringLiteral("暂不打开"));
        f->activate();
        QCOMPARE(setAside().size(), 1);
        QVERIFY(!QFileInfo::exists(db_));
        QVERIFY(!f.dm->customerTable.isActive());
        QCOMPARE(f->panelText(MainWindow::MessagePanel), databaseNotOpenText);
    }
};

QTEST_MAIN(TestUnusableDatabase)
#include "test_unusabledatabase.moc"
