// A full disk during a backup, an export or the statistics' export: the
// operator is told the disk is full (in Chinese), the target is not left
// half written, no temporary stays behind.  The disk is a small tmpfs filled
// to the last byte; without the right to mount one the test is skipped.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "data/module/datamodule.h"
#include "rules/errors/diskfull.h"
#include "rules/errors/errorreport.h"
#include "rules/formats/exportfile.h"
#include "testutil.h"
#include "ui/shell/mainwindow.h"
#include "ui/kit/message.h"
#include "ui/calls/callstatisticswindow.h"
#include "ui/maintenance/maintenance.h"

class TestFullDisk : public QObject {
    Q_OBJECT
    QTemporaryDir mountPoint_;
    bool mounted_ = false;
    QStringList messages_, reports_;

    QString onDisk(const QString& name) const { return mountPoint_.filePath(name); }
    // Files on the full disk but the filler.
    QStringList leftOnDisk() const
    {
        QStringList names = QDir(mountPoint_.path()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral("filler"));
        return names;
    }

private slots:
    void initTestCase()
    {
        const int rc = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                   QStringLiteral("-o"), QStringLiteral("size=256k"),
                                                                   QStringLiteral("tmpfs"), mountPoint_.path()});
        if (rc != 0)
            QSKIP("no right to mount a small tmpfs here");
        mounted_ = true;
        // Filled to the last byte.
        QFile filler(onDisk(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        QVERIFY(QFileInfo(filler).size() > 0);
    }
    void cleanupTestCase()
    {
        if (mounted_)
            QProcess::execute(QStringLiteral("umount"), {mountPoint_.path()});
    }
    void init()
    {
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

    void backupSaysTheDiskIsFull()
    {
        const QString folder = testutil::makeProgramFolder();
        testutil::addCustomers(folder + QStringLiteral("data/web.mdb"), 500);
        testutil::MainFixture f;
        f->activate();
        f->maintenance()->setFileDialog([this](const Maintenance::FileRequest&) { return onDisk(QStringLiteral("bk.mdb")); });
        QSignalSpy ended(f->maintenance(), &Maintenance::workEnded);
        f->maintenance()->backUp();
        QVERIFY(ended.wait(30000));
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].startsWith(QStringLiteral("磁盘已满")) && messages_[0].contains(QStringLiteral("备份失败")),
                 qPrintable(messages_[0]));
        QCOMPARE(leftOnDisk(), QStringList());
    }

    void exportsSayTheDiskIsFull_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("xls") << QStringLiteral("客户.xls");
        QTest::newRow("xlsx") << QStringLiteral("客户.xlsx");
        QTest::newRow("csv") << QStringLiteral("客户.csv");
    }
    void exportsSayTheDiskIsFull()
    {
        QFETCH(QString, name);
        const QString target = onDisk(name);
        QString error;
        const QString temporary = exportfile::temporaryBeside(target, &error);
        bool written = false;
        if (!temporary.isEmpty()) {
            auto writer = exportfile::makeWriter(exportfile::formatOf(target));
            if (writer->open(temporary, &error)) {
                writer->beginSheet(QStringLiteral("客户"), {QStringLiteral("联系人"), QStringLiteral("手机")});
                for (int i = 0; i < 20000; ++i)
                    writer->addRow({QStringLiteral("客户") + QString::number(i), QStringLiteral("13900000000")});
                written = writer->finish(&error);
            }
            QFile::remove(temporary);
        }
        QVERIFY(!written);
        QVERIFY2(withDiskFullSaid(error).contains(QStringLiteral("磁盘已满")), qPrintable(error));
        QCOMPARE(leftOnDisk(), QStringList());
    }

    void statisticsExportSaysTheDiskIsFull()
    {
        const QString folder = testutil::makeProgramFolder();
        DataModule dm;
        dm.connection.open();
        CallStatisticsWindow w(&dm.connection, {});
        QString error;
        QVERIFY(!w.exportTo(onDisk(QStringLiteral("统计.xlsx")), &error));
        QVERIFY2(withDiskFullSaid(error).contains(QStringLiteral("磁盘已满")), qPrintable(error));
        QCOMPARE(leftOnDisk(), QStringList());
    }
};

QTEST_MAIN(TestFullDisk)
#include "test_fulldisk.moc"
