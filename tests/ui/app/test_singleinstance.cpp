// One program per folder: a second start finds the first and asks it for
// its window; a socket left by a crashed run does not keep the program out.

#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

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
};

QTEST_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
