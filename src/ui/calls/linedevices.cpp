#include "ui/calls/linedevices.h"

#include "rules/calls/callrules.h"

// ---------------------------------------------------------------------------
// The course of a call

LineDevice::LineDevice(QObject* parent) : CallerIdDevice(parent)
{
    quiet_.setSingleShot(true);
    quiet_.setInterval(kQuietHangupMs);
    connect(&quiet_, &QTimer::timeout, this, &LineDevice::lineHangup);
}

void LineDevice::lineRing()
{
    inCall_ = true;
    if (quietHangup_)
        quiet_.start();
    emit ring(kDeviceId);
}

void LineDevice::lineNumber(const QByteArray& number, const QByteArray& name,
                            const QDateTime& when)
{
    const QString reported = cid::reportedNumber(number);
    if (numberReported_ && !reported.isEmpty() && !sameNumber(reported, number_)) {
        // Another number before the rings of the call before have died
        // away (an answered call and a quick next caller): that call is
        // over, and this is a call of its own.
        lineHangup();
    }
    inCall_ = true;
    if (quietHangup_)
        quiet_.start();
    if (numberReported_ || reported.isEmpty())
        return;  // the line repeating itself within one call, or no number
    numberReported_ = true;
    number_ = reported;
    emit comingCall(kDeviceId, when, reported, cid::cleanName(cid::decodeText(name)));
}

void LineDevice::lineHangup()
{
    quiet_.stop();
    if (!inCall_)
        return;
    inCall_ = false;
    numberReported_ = false;
    number_.clear();
    emit phoneHandoff(kDeviceId);
}

void LineDevice::lineLost() { lineHangup(); }

void LineDevice::setOpen(bool open)
{
    if (open == open_)
        return;
    open_ = open;
    emit stateChanged(queryState());
}

// ---------------------------------------------------------------------------
// Modem

ModemDevice::ModemDevice(const QString& portName, QObject* parent)
    : LineDevice(parent), portName_(portName)
{
    reopen_.setInterval(2000);
    reply_.setSingleShot(true);
    reply_.setInterval(3000);
    connect(&reopen_, &QTimer::timeout, this, &ModemDevice::tryOpen);
    connect(&reply_, &QTimer::timeout, this, [this] { nextCommand(true); });
    handset_.setSingleShot(true);
    handset_.setInterval(kHandsetMs);
    connect(&handset_, &QTimer::timeout, this, [this] {
        if (port_.isOpen())
            port_.write("ATH\r");
    });
    connect(&port_, &QSerialPort::readyRead, this, &ModemDevice::readLines);
    connect(&port_, &QSerialPort::errorOccurred, this, &ModemDevice::portFailed);
    tryOpen();
}

ModemDevice::~ModemDevice()
{
    port_.disconnect(this);
    port_.close();
}

void ModemDevice::tryOpen()
{
    if (port_.isOpen())
        return;
    port_.setPortName(portName_);
    port_.setBaudRate(QSerialPort::Baud115200);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (portName_.isEmpty() || !port_.open(QIODevice::ReadWrite)) {
        if (!reopen_.isActive())
            reopen_.start();
        return;
    }
    reopen_.stop();
    lines_.clear();
    date_.clear();
    time_.clear();
    name_.clear();
    setOpen(true);
    send("ATZ");
}

void ModemDevice::portFailed(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    if (!port_.isOpen() && !isOpen()) {
        // a failed open: tryOpen() keeps trying
        port_.clearError();
        return;
    }
    // Unplugged or broken: close and keep trying until it comes back.  The
    // close is queued, the port may still be inside its own notifier here.
    QMetaObject::invokeMethod(
        this,
        [this] {
            reply_.stop();
            command_.clear();
            port_.close();
            port_.clearError();
            lineLost();
            setOpen(false);
            if (!reopen_.isActive())
                reopen_.start();
        },
        Qt::QueuedConnection);
}

void ModemDevice::send(const QByteArray& command)
{
    command_ = command;
    port_.write(command + '\r');
    reply_.start();
}

bool ModemDevice::dial(const QString& number)
{
    const QByteArray digits = numberDigits(number).toLatin1();
    if (!port_.isOpen() || digits.isEmpty())
        return false;
    port_.write("ATDT" + digits + ";\r");
    handset_.start();
    return true;
}

void ModemDevice::nextCommand(bool refused)
{
    if (command_ == "ATZ") {
        send("AT+VCID=1");
    } else if (command_ == "AT+VCID=1" && refused) {
        send("AT#CID=1");
    } else {
        reply_.stop();
        command_.clear();
    }
}

void ModemDevice::readLines()
{
    for (const QByteArray& line : lines_.feed(port_.readAll()))
        handleLine(line);
}

void ModemDevice::handleLine(const QByteArray& raw)
{
    const cid::ModemLine line = cid::parseModemLine(raw);
    switch (line.kind) {
    case cid::ModemLine::Ring:
        lineRing();
        break;
    case cid::ModemLine::Ok:
        if (!command_.isEmpty())
            nextCommand(false);
        break;
    case cid::ModemLine::Error:
        if (!command_.isEmpty())
            nextCommand(true);
        break;
    case cid::ModemLine::Date:
        date_ = line.value;
        break;
    case cid::ModemLine::Time:
        time_ = line.value;
        break;
    case cid::ModemLine::Name:
        name_ = line.value;
        break;
    case cid::ModemLine::Number: {
        const QDateTime when = cid::callTime(QString::fromLatin1(date_),
                                             QString::fromLatin1(time_),
                                             QDateTime::currentDateTime());
        lineNumber(line.value, name_, when);
        date_.clear();
        time_.clear();
        name_.clear();
        break;
    }
    case cid::ModemLine::Other:
        break;
    }
}

// ---------------------------------------------------------------------------
// Network caller-ID server

ServerDevice::ServerDevice(const QString& host, quint16 port, QObject* parent)
    : LineDevice(parent), host_(host), port_(port)
{
    retry_.setSingleShot(true);
    connectTimeout_.setSingleShot(true);
    connectTimeout_.setInterval(kConnectTimeoutMs);
    connect(&retry_, &QTimer::timeout, this, &ServerDevice::connectNow);
    connect(&connectTimeout_, &QTimer::timeout, this, &ServerDevice::lost);
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        connectTimeout_.stop();
        lines_.clear();
        setOpen(true);
    });
    connect(&socket_, &QTcpSocket::readyRead, this, &ServerDevice::readLines);
    connect(&socket_, &QTcpSocket::disconnected, this, &ServerDevice::lost);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &ServerDevice::lost);
    connectNow();
}

ServerDevice::~ServerDevice()
{
    socket_.disconnect(this);
    socket_.abort();
}

void ServerDevice::setPauses(int firstMs, int longestMs)
{
    firstPause_ = firstMs;
    longestPause_ = longestMs;
    pause_ = firstMs;
}

void ServerDevice::retryNow()
{
    if (!retry_.isActive())
        return;
    retry_.stop();
    // After the abort that the loss has queued.
    QMetaObject::invokeMethod(this, [this] { connectNow(); }, Qt::QueuedConnection);
}

void ServerDevice::connectNow()
{
    if (socket_.state() != QAbstractSocket::UnconnectedState)
        return;
    connectTimeout_.start();
    socket_.connectToHost(host_, port_);
}

void ServerDevice::lost()
{
    if (retry_.isActive())
        return;  // error and disconnection of the same loss
    connectTimeout_.stop();
    lineLost();
    setOpen(false);
    // Aborting from inside the socket's own signal is allowed; the next
    // attempt waits for the pause.
    QMetaObject::invokeMethod(&socket_, [this] { socket_.abort(); }, Qt::QueuedConnection);
    retry_.start(pause_);
    pause_ = qMin(pause_ * 2, longestPause_);
}

void ServerDevice::readLines()
{
    for (const QByteArray& line : lines_.feed(socket_.readAll()))
        handleLine(line);
}

void ServerDevice::handleLine(const QByteArray& raw)
{
    // The server talks: the next loss starts again from the first pause.
    pause_ = firstPause_;
    const cid::ServerLine line = cid::parseServerLine(raw);
    switch (line.kind) {
    case cid::ServerLine::Ring:
        lineRing();
        break;
    case cid::ServerLine::Call:
        lineNumber(line.number, line.name,
                   cid::callTime(QString::fromLatin1(line.date), QString::fromLatin1(line.time),
                                 QDateTime::currentDateTime()));
        break;
    case cid::ServerLine::Hangup:
        lineHangup();
        break;
    case cid::ServerLine::Banner:
    case cid::ServerLine::Other:
        break;
    }
}
