#pragma once
// Real baresip processes on 127.0.0.1 for the SIP tests and the benchmark:
// ports chosen free at run time, the far end of the desk's calls (callers
// with chosen numbers and names, and the phones the desk dials), and a
// control connection that collects baresip's events.

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "rules/calls/sipcontrol.h"

namespace baresiprig {

// A port free for SIP on 127.0.0.1: UDP and TCP, and TCP one above (baresip
// also listens there).
inline quint16 freeSipPort()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            continue;
        const quint16 port = probe.serverPort();
        probe.close();
        if (port >= 65535)
            continue;
        QTcpServer tcp, above;
        QUdpSocket udp;
        if (tcp.listen(QHostAddress::LocalHost, port) && above.listen(QHostAddress::LocalHost, port + 1) &&
            udp.bind(QHostAddress::LocalHost, port))
            return port;
    }
    return 0;
}

inline quint16 freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The desk's account for tests: direct calls on a free local port, no
// registration, the far end as its "PBX" (dialled numbers go there).
inline SipAccount deskAccount(quint16 deskPort, quint16 farPort)
{
    SipAccount a;
    a.user = QStringLiteral("desk");
    a.server = QStringLiteral("127.0.0.1:") + QString::number(farPort);
    a.localPort = deskPort;
    a.registering = false;
    a.listenAddress = QStringLiteral("127.0.0.1");
    return a;
}

// A control connection to a baresip: the events it sent, in order.
class Control : public QObject {
public:
    Control()
    {
        connect(&socket_, &QTcpSocket::readyRead, this, [this] {
            for (const QByteArray& m : reader_.feed(socket_.readAll()))
                events_ << sip::parseEvent(m);
        });
    }
    bool open(quint16 port)
    {
        socket_.connectToHost(QHostAddress::LocalHost, port);
        return socket_.waitForConnected(5000);
    }
    void send(const QString& command, const QString& params = {})
    {
        socket_.write(sip::command(command, params));
        socket_.flush();
    }
    // Events of a kind (incoming calls of this side unless `outgoing`).
    QList<sip::Event> events(sip::Event::Kind kind, bool outgoing = false) const
    {
        QList<sip::Event> out;
        for (const sip::Event& e : events_)
            if (e.kind == kind && e.outgoing == outgoing)
                out << e;
        return out;
    }
    int count(sip::Event::Kind kind, bool outgoing = false) const { return int(events(kind, outgoing).size()); }
    void clear() { events_.clear(); }

private:
    QTcpSocket socket_;
    sip::NetstringReader reader_;
    QList<sip::Event> events_;
};

// The far end: a baresip with one account per caller ("name" <sip:number@...>)
// on its own port.  call() dials the desk as one of them.
class FarEnd {
public:
    struct Caller {
        QString number, name;
    };
    FarEnd(quint16 port, const QList<Caller>& callers) : port_(port)
    {
        const quint16 controlPort = freeTcpPort();
        SipAccount a;
        a.listenAddress = QStringLiteral("127.0.0.1");
        a.localPort = port;
        QFile config(dir_.filePath(QStringLiteral("config")));
        config.open(QIODevice::WriteOnly);
        config.write(sip::configFile(a, controlPort));
        config.close();
        QFile accounts(dir_.filePath(QStringLiteral("accounts")));
        accounts.open(QIODevice::WriteOnly);
        for (const Caller& c : callers)
            accounts.write("\"" + c.name.toUtf8() + "\" <sip:" + c.number.toUtf8() + "@127.0.0.1:" +
                           QByteArray::number(port) + ">;regint=0;answermode=manual\n");
        accounts.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral("baresip"), {QStringLiteral("-f"), dir_.path()});
        // Its control port answers once it says it is ready.
        while (!log_.contains("baresip is ready.") && process_.waitForReadyRead(10000))
            log_ += process_.readAll();
        started_ = log_.contains("baresip is ready.") && control.open(controlPort);
        QObject::connect(&process_, &QProcess::readyRead, &control, [this] { log_ += process_.readAll(); });
    }
    ~FarEnd()
    {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(1000);
    }
    bool ready() const { return started_; }
    quint16 port() const { return port_; }
    // Calls the desk's port as the caller with that number.
    void call(const QString& number, quint16 deskPort)
    {
        control.send(QStringLiteral("uafind"),
                     QStringLiteral("sip:") + number + QStringLiteral("@127.0.0.1:") + QString::number(port_));
        control.send(QStringLiteral("dial"), QStringLiteral("sip:desk@127.0.0.1:") + QString::number(deskPort));
    }
    void hangUp() { control.send(QStringLiteral("hangup")); }
    QString log() const { return QString::fromUtf8(log_); }

    Control control;

private:
    QTemporaryDir dir_;
    QProcess process_;
    QByteArray log_;
    quint16 port_;
    bool started_ = false;
};

}  // namespace baresiprig
