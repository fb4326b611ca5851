#include "ui/shell/passwordstore.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include "data/engine/postgresengine.h"

namespace passwordstore {

namespace {

const QString kService = QStringLiteral("tavrin");
int waitMs = 60000;

// One entry a settings file: several program folders on one login keep
// their own.
QString keyOf(const QString& file)
{
    const QFileInfo info(file);
    const QString canonical = info.canonicalFilePath();
    return QStringLiteral("服务器密码 ") + (canonical.isEmpty() ? info.absoluteFilePath() : canonical);
}

// Runs a keyring job to its end; false when the keyring did not answer or
// refused.  Only the job's own answer is waited for.
bool run(QKeychain::Job* job, QString* text = nullptr)
{
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    bool done = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    job->start();
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    const bool ok = done && job->error() == QKeychain::NoError;
    if (ok && text)
        if (auto* reading = qobject_cast<QKeychain::ReadPasswordJob*>(job))
            *text = reading->textData();
    if (done)
        delete job;
    else
        QObject::connect(job, &QKeychain::Job::finished, job, &QObject::deleteLater);
    return ok;
}

QString passwordOf(const DatabaseLocation& where)
{
    if (!where.password.isEmpty())
        return where.password;
    return where.uri.isEmpty() ? QString() : PostgresEngine::parameters(where).value(QStringLiteral("password"));
}

}  // namespace

void setWaitMs(int ms) { waitMs = ms; }

Place save(const QString& file, const DatabaseLocation& where)
{
    const QString password = where.isServer() ? passwordOf(where) : QString();
    auto* forget = new QKeychain::DeletePasswordJob(kService);
    forget->setKey(keyOf(file));
    if (password.isEmpty()) {
        writeDatabaseSettings(file, where);
        run(forget);  // an old one is not left behind
        return Place::Nowhere;
    }
    auto* keep = new QKeychain::WritePasswordJob(kService);
    keep->setKey(keyOf(file));
    keep->setTextData(password);
    if (run(keep)) {
        writeDatabaseSettings(file, where, true);
        delete forget;
        return Place::Keyring;
    }
    writeDatabaseSettings(file, where);
    delete forget;
    return Place::File;
}

DatabaseLocation read(const QString& file)
{
    DatabaseLocation where = readDatabaseSettings(file);
    if (!where.isServer() || !passwordInKeyring(file))
        return where;
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(keyOf(file));
    QString password;
    if (run(job, &password))
        where.password = password;
    return where;
}

Place placeOf(const QString& file)
{
    const DatabaseLocation where = readDatabaseSettings(file);
    if (!where.isServer())
        return Place::Nowhere;
    if (passwordInKeyring(file))
        return Place::Keyring;
    return passwordOf(where).isEmpty() ? Place::Nowhere : Place::File;
}

QString placeText(Place place)
{
    switch (place) {
    case Place::Keyring: return QStringLiteral("密码保存在桌面的密钥环（钥匙串）里。");
    case Place::File:
        return QStringLiteral("这台电脑没有可用的密钥环，密码保存在 set/database.dat 文件里（只有您自己能读）。");
    case Place::Nowhere: break;
    }
    return QString();
}

}  // namespace passwordstore
