#pragma once
// Real caller-ID devices: a modem on a serial port and a client of a network
// caller-ID server.  Both read text lines (see cidlines.h) and report the
// same events as the box: ring, the number once per call, hang-up.

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QSerialPort>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include "rules/calls/cidlines.h"
#include "ui/calls/device.h"

// What both devices share: the course of one call.  A call begins with a
// ring or a number; its number is reported once; it ends with a hang-up
// that the line reports or, when the rings stop for kQuietHangupMs, with one
// the device raises itself.  A number after the hang-up belongs to a new
// call, and so does another number within the call: the call before ends
// with a hang-up first.
class LineDevice : public CallerIdDevice {
    Q_OBJECT
public:
    explicit LineDevice(QObject* parent = nullptr);

    static constexpr int kDeviceId = 1;
    static constexpr int kQuietHangupMs = 8000;
    // Tests shorten the pause after the last ring and watch it run down.
    void setQuietHangupInterval(int ms) { quiet_.setInterval(ms); }
    int quietRemaining() const { return quiet_.remainingTime(); }

    bool inCall() const { return inCall_; }

protected:
    // A line that always reports the end of a call (a SIP line): no
    // hang-up is made up after the rings stop.
    void hangUpOnlyWhenTold() { quietHangup_ = false; }
    void lineRing();
    // The raw number and name bytes of the line; cleaned here.  A number
    // without digits still belongs to the call but is not reported.
    void lineNumber(const QByteArray& number, const QByteArray& name, const QDateTime& when);
    void lineHangup();
    // The port or connection is gone: a call in progress ends.
    void lineLost();
    void setOpen(bool open);
    bool isOpen() const { return open_; }

private:
    QTimer quiet_;
    bool quietHangup_ = true;
    bool inCall_ = false;
    bool numberReported_ = false;
    QString number_;  // reported in this call
    bool open_ = false;
};

// A voice/data modem with caller ID on a serial port.  Opens the port,
// initialises the modem (ATZ, then AT+VCID=1, then AT#CID=1 if the modem
// refuses) and reads RING, DATE, TIME, NMBR and NAME lines.  When the port
// fails or cannot be opened it is tried again every reopen interval.
class ModemDevice : public LineDevice {
    Q_OBJECT
public:
    explicit ModemDevice(const QString& portName, QObject* parent = nullptr);
    ~ModemDevice() override;

    // 1 while the port is open.
    int queryState() override { return isOpen() ? 1 : 0; }
    const QString& portName() const { return portName_; }

    // Dials with ATDT and the digits, staying in command mode (";"); the
    // operator lifts the handset, and after kHandsetMs the modem lets go
    // of the line (ATH) so that the handset carries the call.
    bool canDial() const override { return isOpen(); }
    bool dial(const QString& number) override;
    static constexpr int kHandsetMs = 6000;
    void setHandsetInterval(int ms) { handset_.setInterval(ms); }

    static constexpr int kMaxLine = 256;
    void setReopenInterval(int ms) { reopen_.setInterval(ms); }
    void setReplyTimeout(int ms) { reply_.setInterval(ms); }

    // What the modem was last told; empty once the initialisation is over.
    QByteArray pendingCommand() const { return command_; }

private:
    void tryOpen();
    void readLines();
    void handleLine(const QByteArray& line);
    void portFailed(QSerialPort::SerialPortError error);
    void send(const QByteArray& command);
    void nextCommand(bool refused);

    QString portName_;
    QSerialPort port_;
    QTimer reopen_;
    QTimer reply_;
    QTimer handset_;
    cid::LineSplitter lines_{kMaxLine};
    QByteArray command_;
    QByteArray date_, time_, name_;
};

// A client of a network caller-ID server (the line protocol of the common
// open-source servers, TCP port 3333).  Reconnects when the server goes away,
// with a pause that doubles from the first to the longest.
class ServerDevice : public LineDevice {
    Q_OBJECT
public:
    ServerDevice(const QString& host, quint16 port, QObject* parent = nullptr);
    ~ServerDevice() override;

    // 1 while connected.
    int queryState() override { return isOpen() ? 1 : 0; }

    static constexpr int kMaxLine = 1024;
    static constexpr int kFirstPauseMs = 1000;
    static constexpr int kLongestPauseMs = 60000;
    static constexpr int kConnectTimeoutMs = 10000;
    void setPauses(int firstMs, int longestMs);
    // The pause before the next attempt.
    int nextPause() const { return pause_; }
    // Tests: the pause of the attempt now waiting (0 when none waits), and
    // that attempt made at once.
    int retryPause() const { return retry_.isActive() ? retry_.interval() : 0; }
    void retryNow();

private:
    void connectNow();
    void readLines();
    void handleLine(const QByteArray& line);
    void lost();

    QString host_;
    quint16 port_;
    QTcpSocket socket_;
    QTimer retry_;
    QTimer connectTimeout_;
    cid::LineSplitter lines_{kMaxLine};
    int firstPause_ = kFirstPauseMs;
    int longestPause_ = kLongestPauseMs;
    int pause_ = kFirstPauseMs;
};
