#pragma once
// The SIP line: the program starts its own baresip as an extension of the
// office's PBX (or taking direct calls on a local port) and follows its
// calls through baresip's control interface on 127.0.0.1.  Incoming calls
// become a ring, the caller's number (the user part of the SIP address) and
// name, and a hang-up, as on the other lines; a call that ends without
// having been answered is reported as unanswered.  When baresip ends or the
// control connection goes, a call in progress ends and baresip is started
// again after a pause that doubles from the first to the longest.

#include <QDateTime>
#include <QHash>
#include <QProcess>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include "rules/calls/sipcontrol.h"
#include "ui/calls/linedevices.h"

class SipLineDevice : public LineDevice {
    Q_OBJECT
public:
    // `folder` receives baresip's configuration (made 0700, its files 0600).
    SipLineDevice(const SipAccount& account, const QString& folder, QObject* parent = nullptr);
    ~SipLineDevice() override;

    // 1 while baresip runs and its control interface answers.
    int queryState() override { return isOpen() ? 1 : 0; }
    bool canDial() const override { return isOpen(); }
    // Sends baresip's dial command with the number's digits; baresip makes
    // the address with the PBX's domain.
    bool dial(const QString& number) override;
    // Answers the ringing call at this extension (a desk whose baresip has a
    // headset; the tests).  baresip serves one control client at a time,
    // so this goes through the device's own connection.
    bool answer();

    static constexpr int kFirstPauseMs = 1000;
    static constexpr int kLongestPauseMs = 30000;
    static constexpr int kStartTimeoutMs = 10000;
    void setPauses(int firstMs, int longestMs);

    // Tests: baresip's process id (0 when none runs) and its control port.
    qint64 processId() const { return process_.processId(); }
    quint16 controlPort() const { return controlPort_; }

private:
    struct Call {
        QString number;  // as reported (empty: the caller sent none)
        QString name;
        QDateTime when;
        bool established = false;
    };

    void start();
    bool writeConfiguration();
    void tryControl();
    void readControl();
    void handle(const sip::Event& e);
    void callClosed(const QString& id, const QString& reason);
    void lost();

    SipAccount account_;
    QString folder_;
    QProcess process_;
    QTcpSocket control_;
    sip::NetstringReader reader_;
    QTimer retry_;
    QTimer connectTry_;
    QTimer startTimeout_;
    quint16 controlPort_ = 0;
    int firstPause_ = kFirstPauseMs;
    int longestPause_ = kLongestPauseMs;
    int pause_ = kFirstPauseMs;
    bool ending_ = false;
    QHash<QString, Call> calls_;  // incoming calls in progress, by baresip's id
    QString currentCall_;         // the one the line reports
};

// set/sip/ in the program folder.
QString sipLineFolder();
