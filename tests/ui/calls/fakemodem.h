#pragma once
// A modem stand-in for tests and benchmarks: a pseudo-terminal pair whose
// device side is reached through a link of our own, so that "unplugging"
// (closing the pair) and "plugging in" (a new pair behind the same link)
// look to the device like a USB modem going and coming back.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

class FakeModem {
public:
    explicit FakeModem(const QString& link) : link_(link) { plugIn(); }
    ~FakeModem()
    {
        unplug();
    }
    FakeModem(const FakeModem&) = delete;
    FakeModem& operator=(const FakeModem&) = delete;

    bool plugged() const { return master_ >= 0; }
    const QString& link() const { return link_; }

    void plugIn()
    {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
            master_ = -1;
            return;
        }
        ::close(slave);  // the device opens its side by the link
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        QFile::remove(link_);
        QFile::link(QString::fromLocal8Bit(name), link_);
        received_.clear();
    }

    void unplug()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
        QFile::remove(link_);
    }

    // What the modem sends to the computer.
    void send(const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (master_ >= 0 && done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
            if (n > 0)
                done += n;
            else if (errno != EAGAIN && errno != EINTR)
                return;
        }
    }

    // Waits (serving events) until the computer has sent `command` + CR,
    // drops what came before it and answers with `reply` (when not empty).
    bool expect(const QByteArray& command, const QByteArray& reply = "OK", int timeoutMs = 3000)
    {
        const QByteArray wanted = command + '\r';
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            readAvailable();
            const qsizetype at = received_.indexOf(wanted);
            if (at >= 0) {
                received_.remove(0, at + wanted.size());
                if (!reply.isEmpty())
                    send("\r\n" + reply + "\r\n");
                return true;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        return false;
    }

    // What the computer has sent since the last expected command.
    QByteArray unexpected()
    {
        readAvailable();
        return received_;
    }

    // The usual start of a modem: ATZ and AT+VCID=1 both accepted.
    bool initialise() { return expect("ATZ") && expect("AT+VCID=1"); }

private:
    void readAvailable()
    {
        char buf[512];
        for (;;) {
            const ssize_t n = master_ >= 0 ? ::read(master_, buf, sizeof buf) : -1;
            if (n <= 0)
                return;
            received_.append(buf, n);
        }
    }

    QString link_;
    int master_ = -1;
    QByteArray received_;
};
