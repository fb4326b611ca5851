#include "ui/calls/sipline.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSaveFile>
#include <QTcpServer>

#include <csignal>
#include <sys/prctl.h>

#include "rules/files/paths.h"
#include "rules/calls/cidlines.h"

QString sipLineFolder() { return programFolder() + QStringLiteral("set/sip/"); }

namespace {

bool writePrivate(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.write(bytes) == bytes.size() && file.commit();
}

// A port on 127.0.0.1 free at this moment.
quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

}  // namespace

SipLineDevice::SipLineDevice(const SipAccount& account, const QString& folder, QObject* parent)
    : LineDevice(parent), account_(account), folder_(folder)
{
    hangUpOnlyWhenTold();
    retry_.setSingleShot(true);
    connectTry_.setInterval(50);
    startTimeout_.setSingleShot(true);
    startTimeout_.setInterval(kStartTimeoutMs);
    connect(&retry_, &QTimer::timeout, this, &SipLineDevice::start);
    connect(&connectTry_, &QTimer::timeout, this, &SipLineDevice::tryControl);
    connect(&startTimeout_, &QTimer::timeout, this, &SipLineDevice::lost);
    connect(&control_, &QTcpSocket::connected, this, [this] {
        connectTry_.stop();
        startTimeout_.stop();
        reader_.clear();
        pause_ = firstPause_;
        setOpen(true);
    });
    connect(&control_, &QTcpSocket::readyRead, this, &SipLineDevice::readControl);
    connect(&control_, &QTcpSocket::disconnected, this, &SipLineDevice::lost);
    connect(&control_, &QTcpSocket::errorOccurred, this, [this] {
        // Refused while baresip is still starting: the next try follows.
        if (isOpen())
            lost();
    });
    connect(&process_, &QProcess::finished, this, &SipLineDevice::lost);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            lost();
    });
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(QProcess::nullDevice());
    // baresip ends with the program, even when the program is killed.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    start();
}

SipLineDevice::~SipLineDevice()
{
    ending_ = true;
    control_.disconnect(this);
    process_.disconnect(this);
    control_.abort();
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(2000))
            process_.kill();
        process_.waitForFinished(1000);
    }
}

void SipLineDevice::setPauses(int firstMs, int longestMs)
{
    firstPause_ = firstMs;
    longestPause_ = longestMs;
    pause_ = firstMs;
}

bool SipLineDevice::writeConfiguration()
{
    QDir().mkpath(folder_);
    QFile::setPermissions(folder_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    controlPort_ = freeLoopbackPort();
    return controlPort_ != 0 &&
           writePrivate(folder_ + QStringLiteral("/config"), sip::configFile(account_, controlPort_)) &&
           writePrivate(folder_ + QStringLiteral("/accounts"), sip::accountsFile(account_));
}

void SipLineDevice::start()
{
    if (ending_)
        return;
    if (process_.state() != QProcess::NotRunning) {
        // The one before is still going: it is ended first.
        process_.kill();
        retry_.start(50);
        return;
    }
    if (!writeConfiguration()) {
        retry_.start(pause_);
        pause_ = qMin(pause_ * 2, longestPause_);
        return;
    }
    reader_.clear();
    startTimeout_.start();
    process_.start(QStringLiteral("baresip"), {QStringLiteral("-f"), QDir(folder_).absolutePath()});
    connectTry_.start();
}

void SipLineDevice::tryControl()
{
    if (control_.state() == QAbstractSocket::UnconnectedState)
        control_.connectToHost(QHostAddress::LocalHost, controlPort_);
}

void SipLineDevice::lost()
{
    if (ending_ || retry_.isActive())
        return;  // the socket and the process report the same loss
    connectTry_.stop();
    startTimeout_.stop();
    calls_.clear();
    currentCall_.clear();
    lineLost();
    setOpen(false);
    QMetaObject::invokeMethod(&control_, [this] { control_.abort(); }, Qt::QueuedConnection);
    if (process_.state() != QProcess::NotRunning)
        process_.kill();
    retry_.start(pause_);
    pause_ = qMin(pause_ * 2, longestPause_);
}

bool SipLineDevice::dial(const QString& number)
{
    const QString digits = sip::dialString(number);
    if (!isOpen() || digits.isEmpty())
        return false;
    control_.write(sip::command(QStringLiteral("dial"), digits, QStringLiteral("dial")));
    return true;
}

bool SipLineDevice::answer()
{
    if (!isOpen() || currentCall_.isEmpty())
        return false;
    control_.write(sip::command(QStringLiteral("accept")));
    return true;
}

void SipLineDevice::readControl()
{
    const QList<QByteArray> messages = reader_.feed(control_.readAll());
    if (reader_.broken()) {
        lost();
        return;
    }
    for (const QByteArray& m : messages)
        handle(sip::parseEvent(m));
}

void SipLineDevice::handle(const sip::Event& e)
{
    if (e.outgoing)
        return;  // the desk's own calls are logged where they are dialled
    switch (e.kind) {
    case sip::Event::Incoming: {
        const QByteArray user = sip::uriUser(e.peerUri).toUtf8();
        Call call{cid::reportedNumber(user), cid::cleanName(e.peerName), QDateTime::currentDateTime(), false};
        calls_.insert(e.callId, call);
        currentCall_ = e.callId;
        lineRing();
        lineNumber(user, e.peerName.toUtf8(), call.when);
        break;
    }
    case sip::Event::Established:
        if (calls_.contains(e.callId))
            calls_[e.callId].established = true;
        break;
    case sip::Event::Closed:
        callClosed(e.callId, e.param);
        break;
    default:
        break;
    }
}

void SipLineDevice::callClosed(const QString& id, const QString& reason)
{
    if (!calls_.contains(id))
        return;
    const Call call = calls_.take(id);
    if (id == currentCall_) {
        currentCall_.clear();
        lineHangup();
    }
    if (!call.established && !sip::answeredElsewhere(reason) && !call.number.isEmpty())
        emit callUnanswered(kDeviceId, call.when, call.number, call.name);
}
