#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <memory>
#include <stdexcept>
#include <vector>

#include "data/dataset/dataset.h"
#include "rules/files/paths.h"

namespace testutil {
namespace {

template <class F>
void withDatabase(const QString& file, F f)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open())
            throw std::runtime_error("cannot open test database");
        f(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void run(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw std::runtime_error(("test statement failed: " + q.lastError().text() + " in " + sql)
                                     .toStdString());
}

}  // namespace

QString makeDatabase(const QString& file)
{
    QFile::remove(file);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile schema(qEnvironmentVariable("TAVRIN_SCHEMA"));
    if (!schema.open(QIODevice::ReadOnly))
        throw std::runtime_error("TAVRIN_SCHEMA does not name the schema file");
    QString text = QString::fromUtf8(schema.readAll());
    withDatabase(file, [&](QSqlDatabase& db) {
        for (QString stmt : text.split(QLatin1Char(';'))) {
            // Drop comment lines; the schema has no ';' inside them.
            QStringList lines;
            for (const QString& l : stmt.split(QLatin1Char('\n')))
                if (!l.trimmed().startsWith(QLatin1String("--")))
                    lines << l;
            stmt = lines.join(QLatin1Char('\n')).trimmed();
            if (!stmt.isEmpty())
                run(db, stmt);
        }
    });
    return file;
}

QString makeProgramFolder()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    dirs.push_back(std::make_unique<QTemporaryDir>());
    const QString root = dirs.back()->path() + QLatin1Char('/');
    makeDatabase(root + QStringLiteral("data/web.mdb"));
    QDir().mkpath(root + QStringLiteral("set"));
    setProgramFolder(root);
    return root;
}

void addCustomers(const QString& file, int n)
{
    withDatabase(file, [&](QSqlDatabase& db) {
        db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into 客户数据 (联系人, 手机, 分类1) values (?, ?, ?)"));
        for (int i = 1; i <= n; ++i) {
            q.addBindValue(QStringLiteral("客户%1").arg(i));
            q.addBindValue(QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')));
            q.addBindValue(i % 2 ? QStringLiteral("甲") : QStringLiteral("乙"));
            if (!q.exec())
                throw std::runtime_error("cannot add test customers");
        }
        db.commit();
    });
}

void execute(const QString& file, const QString& sql)
{
    withDatabase(file, [&](QSqlDatabase& db) { run(db, sql); });
}

QVariant valueOf(const QString& file, const QString& sql)
{
    const QString name = QStringLiteral("peek_") + QUuid::createUuid().toString(QUuid::Id128);
    QVariant v;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                v = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return v;
}

QVariant scalar(QSqlDatabase db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q.value(0);
}

void exec(QSqlDatabase db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

bool runPostedEvents()
{
    QObject sentinel;
    QSignalSpy ran(&sentinel, &QObject::objectNameChanged);
    // Posted now, the call runs after what was posted before; the zero
    // timer it starts runs after the zero timers started before it.
    QMetaObject::invokeMethod(
        &sentinel,
        [&sentinel] {
            QTimer::singleShot(0, &sentinel, [&sentinel] { sentinel.setObjectName(QStringLiteral("ran")); });
        },
        Qt::QueuedConnection);
    return ran.wait(30000);
}

bool readThrough(DataSet& list)
{
    QSignalSpy changed(&list, &DataSet::loadingChanged);
    while (list.loading())
        if (!changed.wait(60000))
            return false;
    return true;
}

}  // namespace testutil
