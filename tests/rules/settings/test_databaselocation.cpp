// Where the database is: the set file of the choice, the start option, and
// the password kept out of every text the operator or a log reads.

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "rules/settings/databaselocation.h"
#include "rules/settings/programfolder.h"
#include "rules/files/textfile.h"

class TestDatabaseLocation : public QObject {
    Q_OBJECT
private slots:
    void theChoiceFileKeepsTheServerForItsOwnerOnly()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("database.dat"));
        // No file, or one saying nothing usable: the file beside the program.
        QVERIFY(!readDatabaseSettings(path).isServer());

        DatabaseLocation server;
        server.kind = DatabaseLocation::Kind::Server;
        server.hosts = QStringLiteral("db1,db2");
        server.port = 5433;
        server.database = QStringLiteral("客户");
        server.user = QStringLiteral("前台");
        server.password = QStringLiteral("p=;'\"密");
        writeDatabaseSettings(path, server);
        QCOMPARE(readDatabaseSettings(path), server);
        QCOMPARE(QFileInfo(path).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::Permissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QStringList lines = readTextLines(path);
        QCOMPARE(lines.first(), QStringLiteral("engine=服务器数据库"));
        QVERIFY(lines.contains(QStringLiteral("host=db1,db2")));

        // Back to the local file: the server's fields (the password too) go.
        writeDatabaseSettings(path, DatabaseLocation::ofFile({}));
        QCOMPARE(readTextLines(path), QStringList{QStringLiteral("engine=本机数据库")});
        QVERIFY(!readDatabaseSettings(path).isServer());

        // Empty fields are left to libpq; a bad port counts as none.
        writeTextLines(path, {QStringLiteral("engine=服务器数据库"), QStringLiteral("port=abc")});
        const DatabaseLocation bare = readDatabaseSettings(path);
        QVERIFY(bare.isServer());
        QCOMPARE(bare.port, 0);
        QVERIFY(bare.hosts.isEmpty() && bare.user.isEmpty() && bare.password.isEmpty());
    }

    void theStartOptionTakesSqliteOrAUri()
    {
        QString error;
        QVERIFY(!databaseOption(QStringLiteral("sqlite"), &error)->isServer());
        QVERIFY(!databaseOption(QStringLiteral("SQLite"), &error)->isServer());
        const auto uri = databaseOption(QStringLiteral("postgresql://a,b/客户?target_session_attrs=read-write"), &error);
        QVERIFY(uri && uri->isServer());
        QCOMPARE(uri->uri, QStringLiteral("postgresql://a,b/客户?target_session_attrs=read-write"));
        QVERIFY(databaseOption(QStringLiteral("postgres://h/db"), &error)->isServer());
        QVERIFY(!databaseOption(QStringLiteral("mysql://h/db"), &error));
        QVERIFY(error.contains(QStringLiteral("--database")));
        QVERIFY(!databaseOption(QStringLiteral("/tmp/web.mdb"), &error));
    }

    void theStartOptionOverridesTheChoiceForOneRun()
    {
        const QString v = QStringLiteral("1.1");
        StartOptions o = readStartOptions({QStringLiteral("tavrin")}, v);
        QVERIFY(!o.database);
        o = readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--database"), QStringLiteral("postgresql://h/客户")}, v);
        QVERIFY(!o.finished && o.database && o.database->isServer());
        QCOMPARE(o.database->uri, QStringLiteral("postgresql://h/客户"));
        o = readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--database=sqlite"), QStringLiteral("--folder"),
                              QStringLiteral("/srv/d")}, v);
        QVERIFY(!o.finished && o.database && !o.database->isServer());
        QCOMPARE(o.folder, QStringLiteral("/srv/d"));
        o = readStartOptions({QStringLiteral("tavrin"), QStringLiteral("--database"), QStringLiteral("web.mdb")}, v);
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 2);
        QVERIFY(o.output.contains(QStringLiteral("postgresql://")));
    }

    void thePasswordNeverReachesADescription()
    {
        QCOMPARE(uriWithoutPassword(QStringLiteral("postgresql://u:secret@h:5432/db")),
                 QStringLiteral("postgresql://u@h:5432/db"));
        QCOMPARE(uriWithoutPassword(QStringLiteral("postgresql://u:se@cr:et@h/db")), QStringLiteral("postgresql://u@h/db"));
        QCOMPARE(uriWithoutPassword(QStringLiteral("postgresql://h/db?user=u&password=secret&sslmode=require")),
                 QStringLiteral("postgresql://h/db?user=u&sslmode=require"));
        QCOMPARE(uriWithoutPassword(QStringLiteral("postgresql://u@h/db")), QStringLiteral("postgresql://u@h/db"));
        // An '@' in the query is not the user's.
        QCOMPARE(uriWithoutPassword(QStringLiteral("postgresql://h?application_name=a@b")),
                 QStringLiteral("postgresql://h?application_name=a@b"));

        DatabaseLocation fields;
        fields.kind = DatabaseLocation::Kind::Server;
        fields.hosts = QStringLiteral("10.0.0.5");
        fields.port = 5432;
        fields.database = QStringLiteral("office");
        fields.user = QStringLiteral("desk");
        fields.password = QStringLiteral("secret");
        QCOMPARE(fields.describe(), QStringLiteral("desk@10.0.0.5:5432/office"));
        QVERIFY(!DatabaseLocation::ofUri(QStringLiteral("postgresql://u:secret@h/db")).describe().contains(
            QStringLiteral("secret")));
        QVERIFY(DatabaseLocation::ofFile(QStringLiteral("/p/data/web.mdb")).describe().endsWith(QStringLiteral("web.mdb")));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseLocation)
#include "test_databaselocation.moc"
