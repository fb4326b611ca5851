// One program per folder: a second start finds the first and asks it for
// its window, whatever TMPDIR or spelling of the folder it was started with;
// a lock or socket left by a crashed run does not keep the program out.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocalServer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstring>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>

#include "ui/desktop/singleinstance.h"

namespace {

// The test program started again as a "program" on a folder: it refuses
// (exit code 3) or listens and says so, and says when it is asked for its
// window.
const char* const kChildFolder = "TAVRIN_TEST_INSTANCE_FOLDER";

int runChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SingleInstance instance(qEnvironmentVariable(kChildFolder));
    if (instance.askRunningProgram())
        return instance.answered() ? 3 : 4;
    if (!instance.listen())
        return 5;
    QObject::connect(&instance, &SingleInstance::showRequested, [] {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
    });
    std::fputs("listening\n", stdout);
    std::fflush(stdout);
    return app.exec();
}

}  // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private:
    QTemporaryDir runtime_;  // the session's private runtime folder
    QHash<QProcess*, QByteArray> output_;

    QProcess* start(const QString& folder, const QString& tmpdir)
    {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildFolder), folder);
        env.insert(QStringLiteral("TMPDIR"), tmpdir);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(), {});
        return p;
    }

    // Whether the program has said the word so far (its output gathered
    // across reads).
    bool said(QProcess* p, const QByteArray& word)
    {
        QByteArray& out = output_[p];
        out += p->readAllStandardOutput();
        return out.contains(word);
    }

    static void stop(QProcess* p)
    {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished();
        }
    }

private slots:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path())); }

    void aSecondStartOnTheFolderRaisesTheFirst()
    {
        QTemporaryDir folder;
        SingleInstance first(folder.path());
        QVERIFY(!first.askRunningProgram());  // nobody runs yet
        QVERIFY(first.listen());
        QSignalSpy shown(&first, &SingleInstance::showRequested);

        // The same folder spelt another way is the same program.
        SingleInstance second(folder.path() + QStringLiteral("/./"));
        QVERIFY(second.askRunningProgram());
        QVERIFY(second.answered());
        QVERIFY(!second.listen());
        QTRY_COMPARE(shown.count(), 1);

        // Another folder is another program.
        QTemporaryDir other;
        SingleInstance elsewhere(other.path());
        QVERIFY(!elsewhere.askRunningProgram());
        QVERIFY(elsewhere.listen());
    }

    void twoStartsWithDifferentTmpdirAreOneProgram()
    {
        QTemporaryDir folder, tmpA, tmpB, links;
        const QString link = links.filePath(QStringLiteral("office"));
        QVERIFY(QFile::link(folder.path(), link));

        QProcess* first = start(folder.path(), tmpA.path());
        QTRY_VERIFY_WITH_TIMEOUT(said(first, "listening"), 60000);

        // Another TMPDIR, the folder through a symbolic link: refused, and
        // the first is asked for its window.
        QProcess* second = start(link, tmpB.path());
        QVERIFY(second->waitForFinished(60000));
        QCOMPARE(second->exitCode(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(said(first, "shown"), 60000);

        // Killed as in a crash: its lock and socket stay behind and are
        // taken over by the next start.
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished());
        QVERIFY(QFile::exists(SingleInstance::lockName(folder.path())));
        QProcess* third = start(link, tmpB.path());
        QTRY_VERIFY_WITH_TIMEOUT(said(third, "listening"), 60000);
        stop(third);
    }

    void theLockRefusesAProgramThatDoesNotAnswer()
    {
        // Holds the folder but has no socket (it is still starting, or runs
        // with another runtime folder): a second start still refuses.
        QTemporaryDir folder;
        SingleInstance holder(folder.path());
        QVERIFY(!holder.askRunningProgram());
        SingleInstance second(folder.path());
        QVERIFY(second.askRunningProgram());
        QVERIFY(!second.answered());
        QCOMPARE(second.runningProcess(), QCoreApplication::applicationPid());
        QVERIFY(!second.listen());
    }

    void theSocketLiesWhereOnlyTheUserCanReachIt()
    {
        QTemporaryDir folder;
        const QString name = SingleInstance::socketName(folder.path());
        QVERIFY(name.startsWith(runtime_.path() + QLatin1Char('/')));

        // A runtime folder others may enter is not used; the fallback is
        // the user's own, never the shared temporary folder.
        QTemporaryDir open, cache;
        QVERIFY(QFile::setPermissions(open.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                       QFile::ReadOther | QFile::ExeOther));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(open.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        const QString fallback = SingleInstance::socketName(folder.path());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        QVERIFY(fallback.startsWith(cache.path() + QLatin1Char('/')));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(QFileInfo(fallback).path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);

        SingleInstance program(folder.path());
        QVERIFY(!program.askRunningProgram());
        QVERIFY(program.listen());
        QCOMPARE(::stat(QFile::encodeName(SingleInstance::lockName(folder.path())).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    void aSocketLeftByACrashIsTakenOver()
    {
        QTemporaryDir folder;
        const QString name = SingleInstance::socketName(folder.path());
        {
            // A server whose socket file stays behind, as after a crash.
            QLocalServer crashed;
            QVERIFY(crashed.listen(name));
            crashed.close();
        }
        SingleInstance next(folder.path());
        QVERIFY(!next.askRunningProgram());
        QVERIFY(next.listen());
        SingleInstance again(folder.path());
        QVERIFY(again.askRunningProgram());
        QVERIFY(again.answered());
    }

    // A run that really crashed: a process bound the socket and ended
    // without closing anything, so its socket file stays behind and nobody
    // answers on it.
    void aSocketLeftByAProcessThatDiedIsTakenOver()
    {
        QTemporaryDir folder;
        const QString name = SingleInstance::socketName(folder.path());
        const QString path = QFileInfo(name).isAbsolute() ? name : QDir::tempPath() + QLatin1Char('/') + name;
        const QByteArray file = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(file.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, file.constData(), size_t(file.size()));
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Only what is safe after a fork: bind, listen, and die.
            const int s = socket(AF_UNIX, SOCK_STREAM, 0);
            const bool bound = s >= 0 && bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                               listen(s, 1) == 0;
            _exit(bound ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));

        SingleInstance next(folder.path());
        QVERIFY(!next.askRunningProgram());  // nobody answers on it
        QVERIFY(next.listen());
        QSignalSpy shown(&next, &SingleInstance::showRequested);
        SingleInstance again(folder.path());
        QVERIFY(again.askRunningProgram());
        QTRY_COMPARE(shown.count(), 1);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(kChildFolder))
        return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_singleinstance.moc"
