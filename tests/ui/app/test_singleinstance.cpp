// One program per folder: a second start finds the first and asks it for
// its window; a socket left by a crashed run does not keep the program out.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstring>

#include "ui/app/singleinstance.h"

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
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
        QTRY_COMPARE(shown.count(), 1);

        // Another folder is another program.
        QTemporaryDir other;
        SingleInstance elsewhere(other.path());
        QVERIFY(!elsewhere.askRunningProgram());
        QVERIFY(elsewhere.listen());
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

QTEST_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
