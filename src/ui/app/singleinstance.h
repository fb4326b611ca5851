#pragma once
// One program per program folder.  The first start listens on a local
// socket named after the folder; a second start on the same folder (a double
// click on the menu entry while the program runs) asks the first to come to
// the front and ends, without opening the database or the device again.

#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when a program already runs on this folder; it has been asked to
    // show its window.
    bool askRunningProgram();
    // Becomes the program of this folder (a socket left by a crashed run is
    // taken over); false when the socket cannot be made.
    bool listen();

    // The socket's name: the same for every spelling of one folder.
    static QString socketName(const QString& folder);

signals:
    // Another start on this folder asked for the window.
    void showRequested();

private:
    void takeConnection();

    QString name_;
    QLocalServer* server_ = nullptr;
};
