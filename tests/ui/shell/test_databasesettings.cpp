// The database settings window: "测试连接" says what the server holds or why
// it cannot be reached, 确定 makes an empty server database ready, saves the
// choice for its owner only and moves the program at once (a pending card
// edit stored first, the lists reopened on the server); a database of
// another shape is refused and nothing is saved.

#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "rules/settings/databaselocation.h"
#include "rules/files/paths.h"
#include "ui/shell/databasesettingswindow.h"
#include "ui/kit/message.h"
#include "ui/maintenance/maintenance.h"
#include "testpg.h"
#include "testutil.h"

using testutil::named;

namespace {

// Fills the window's server fields for a database of the private server.
void fillServer(DatabaseSettingsWindow& w, const testutil::PrivatePostgres& server, const QString& database)
{
    named<QRadioButton>(&w, QStringLiteral("serverOption"))->setChecked(true);
    named<QLineEdit>(&w, QStringLiteral("hostField"))->setText(server.host());
    named<QLineEdit>(&w, QStringLiteral("portField"))->setText(QString::number(server.port()));
    named<QLineEdit>(&w, QStringLiteral("databaseField"))->setText(database);
    named<QLineEdit>(&w, QStringLiteral("userField"))->setText(server.user());
    named<QLineEdit>(&w, QStringLiteral("passwordField"))->setText(QStringLiteral("不用的密码"));
}

// Clicks the button and waits for the trial it starts; its words.
QString clickAndWait(DatabaseSettingsWindow& w, const char* button)
{
    QSignalSpy ended(&w, &DatabaseSettingsWindow::trialEnded);
    named<QPushButton>(&w, QLatin1String(button))->click();
    if (!ended.wait(20000))
        return QStringLiteral("(no answer)");
    return ended.first().at(1).toString();
}

}  // namespace

class TestDatabaseSettings : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    QString folder_;

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }

    void init() { folder_ = testutil::makeProgramFolder(); }

    void theTestSaysWhatTheServerHolds()
    {
        QVERIFY(server_->createDatabase(QStringLiteral("试连")));
        DatabaseSettingsWindow w(DatabaseLocation::ofFile({}), folder_ + QStringLiteral("set/database.dat"), nullptr);
        QVERIFY(named<QRadioButton>(&w, QStringLiteral("localOption"))->isChecked());
        QVERIFY(!named<QLineEdit>(&w, QStringLiteral("hostField"))->isEnabled());
        fillServer(w, *server_, QStringLiteral("试连"));
        QVERIFY(named<QLineEdit>(&w, QStringLiteral("hostField"))->isEnabled());
        QCOMPARE(clickAndWait(w, "testButton"), QStringLiteral("连接成功。数据库里还没有本程序的表，确定后将自动建立。"));
        QCOMPARE(named<QLabel>(&w, QStringLiteral("resultLabel"))->text(),
                 QStringLiteral("连接成功。数据库里还没有本程序的表，确定后将自动建立。"));
        // The test changes nothing, and saves nothing.
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("set/database.dat")));

        named<QLineEdit>(&w, QStringLiteral("databaseField"))->setText(QStringLiteral("没有这个库"));
        const QString failed = clickAndWait(w, "testButton");
        QVERIFY2(failed.startsWith(QStringLiteral("连接失败：")), qPrintable(failed));
        QVERIFY(!failed.contains(QStringLiteral("不用的密码")));
        QVERIFY(named<QPushButton>(&w, QStringLiteral("okButton"))->isEnabled());
    }

    // Every field and the whole of a long error text show inside the
    // window (and the fields inside their frame), and it can be made larger.
    void everyFieldAndTheWholeErrorShow()
    {
        DatabaseSettingsWindow w(DatabaseLocation::ofFile({}), folder_ + QStringLiteral("set/database.dat"), nullptr);
        fillServer(w, *server_, QStringLiteral("没有这个库"));
        named<QLineEdit>(&w, QStringLiteral("hostField"))->setText(QStringLiteral("127.0.0.1,localhost"));
        named<QLineEdit>(&w, QStringLiteral("portField"))->setText(QStringLiteral("1"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString failed = clickAndWait(w, "testButton");
        QVERIFY2(failed.size() > 60, qPrintable(failed));  // several lines' worth
        auto* frame = w.findChild<QGroupBox*>();
        QVERIFY(frame);
        for (const char* name : {"localOption", "serverOption", "hostField", "portField", "databaseField", "userField",
                                 "passwordField", "resultLabel", "testButton", "okButton", "cancelButton"}) {
            QWidget* c = named<QWidget>(&w, QLatin1String(name));
            const QRect inWindow(c->mapTo(&w, QPoint(0, 0)), c->size());
            QVERIFY2(w.rect().contains(inWindow), name);
            if (QByteArray(name).endsWith("Field"))
                QVERIFY2(QRect(QPoint(0, 0), frame->size()).contains(QRect(c->mapTo(frame, QPoint(0, 0)), c->size())), name);
        }
        auto* result = named<QLabel>(&w, QStringLiteral("resultLabel"));
        QVERIFY2(result->heightForWidth(result->width()) <= result->height(),
                 qPrintable(QString::number(result->heightForWidth(result->width())) + " > " +
                            QString::number(result->height())));
        QVERIFY(w.minimumWidth() < w.maximumWidth());
    }

    void anotherShapeIsRefusedAndNothingSaved()
    {
        QVERIFY(server_->createDatabase(QStringLiteral("他用")));
        {
            DatabaseLocation where = DatabaseLocation::ofUri(server_->uri(QStringLiteral("他用")));
            // A table of that name, made by another program.
            QSqlDatabase db = DatabaseEngine::standard(where)->connection(QStringLiteral("maker"), where, 1000);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("create table 来电数据 (编号 text)")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("maker"));
        int applied = 0;
        DatabaseSettingsWindow w(DatabaseLocation::ofFile({}), folder_ + QStringLiteral("set/database.dat"),
                                 [&applied](const DatabaseLocation&) { return ++applied > 0; });
        fillServer(w, *server_, QStringLiteral("他用"));
        const QString refused = clickAndWait(w, "okButton");
        QVERIFY2(refused.contains(QStringLiteral("“来电数据”，但它的结构与本程序的不同")), qPrintable(refused));
        QCOMPARE(applied, 0);
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("set/database.dat")));
        QCOMPARE(w.result(), 0);

        // A port that is no port is said at once.
        QString said;
        setMessageSink([&said](const QString& text) { said = text; });
        named<QLineEdit>(&w, QStringLiteral("portField"))->setText(QStringLiteral("99999"));
        named<QPushButton>(&w, QStringLiteral("okButton"))->click();
        setMessageSink({});
        QCOMPARE(said, badPortText);
    }

    void okMovesTheProgramToTheServerAtOnce()
    {
        testutil::addCustomers(folder_ + QStringLiteral("data/web.mdb"), 2);
        QVERIFY(server_->createDatabase(QStringLiteral("共用")));
        testutil::MainFixture f;
        f->activate();
        DataModule& dm = *f.dm;
        QCOMPARE(dm.customerTable.recordCount(), 2);
        // Typing on the card, not yet stored.
        dm.customerTable.edit();
        dm.customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("还没存的"));
        const qint64 edited = dm.customerTable.value(QStringLiteral("ID")).toLongLong();

        QTimer::singleShot(0, this, [this] {
            auto* w = qobject_cast<DatabaseSettingsWindow*>(QApplication::activeModalWidget());
            QVERIFY(w);
            fillServer(*w, *server_, QStringLiteral("共用"));
            named<QPushButton>(w, QStringLiteral("okButton"))->click();
        });
        named<QAction>(f.w.get(), QStringLiteral("databaseAction"))->trigger();

        // The edit reached the file the program was on.
        QCOMPARE(testutil::valueOf(folder_ + QStringLiteral("data/web.mdb"),
                                   QStringLiteral("select 联系人 from 客户数据 where id = ") + QString::number(edited))
                     .toString(),
                 QStringLiteral("还没存的"));
        // The program is on the server, its lists open there (empty).
        QVERIFY(dm.databaseLocation().isServer());
        QCOMPARE(dm.connection.engine().kind(), DatabaseLocation::Kind::Server);
        QVERIFY(dm.customerTable.isActive() && dm.callTable.isActive());
        QCOMPARE(dm.customerTable.recordCount(), 0);
        // The choice is saved for its owner only, the password with it.
        const QString file = folder_ + QStringLiteral("set/database.dat");
        QCOMPARE(QFileInfo(file).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
        const DatabaseLocation saved = readDatabaseSettings(file);
        QVERIFY(saved.isServer());
        QCOMPARE(saved.database, QStringLiteral("共用"));
        QCOMPARE(saved.password, QStringLiteral("不用的密码"));
        // A call now goes to the server.
        dm.logCall(callRecord(QStringLiteral("13900000001"), QDateTime::currentDateTime()));
        QCOMPARE(dm.callTable.recordCount(), 1);
    }

    void maintenanceOnTheServerLeavesTheLocalFileAlone()
    {
        QVERIFY(server_->createDatabase(QStringLiteral("维护")));
        testutil::MainFixture f;
        f.dm->setDatabaseLocation(DatabaseLocation::ofUri(server_->uri(QStringLiteral("维护"))));
        f->activate();
        DataModule& dm = *f.dm;
        dm.logCall(callRecord(QStringLiteral("13900000001"), QDateTime::currentDateTime()));
        QCOMPARE(dm.callTable.recordCount(), 1);
        QStringList said;
        setMessageSink([&said](const QString& text) { said << text; });
        // Compacting runs on the server; a cancelled backup does nothing.
        QSignalSpy ended(f->maintenance(), &Maintenance::workEnded);
        f->maintenance()->compact();
        QVERIFY(ended.wait(30000));
        f->maintenance()->setFileDialog([](const Maintenance::FileRequest&) { return QString(); });
        f->maintenance()->backUp();
        QCOMPARE(said, QStringList{QStringLiteral("操作成功")});
        QVERIFY(dm.callTable.isActive());
        // Clearing empties the server's table in one transaction.
        testutil::whenModal(QStringLiteral("是"));
        f->maintenance()->clearCalls();
        QVERIFY(ended.wait(30000));
        setMessageSink({});
        QCOMPARE(dm.callTable.recordCount(), 0);
        QCOMPARE(said.size(), 1);
        QCOMPARE(f->panelText(MainWindow::MessagePanel), QStringLiteral("已清空来电数据。"));
        QVERIFY(Maintenance::clearingBackups().isEmpty());
    }
};

QTEST_MAIN(TestDatabaseSettings)
#include "test_databasesettings.moc"
