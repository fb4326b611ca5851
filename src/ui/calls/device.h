#pragma once
// The caller-ID box on the telephone line.  Every kind of box reports the
// same events through this interface; the rest of the program only sees
// CallerIdDevice.

#include <QDateTime>
#include <QObject>
#include <QString>

class CallerIdDevice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // 1 when the device is present and works; any other value means it does not.
    virtual int queryState() = 0;

    // Whether the device can place a call (a modem, a SIP line).
    virtual bool canDial() const { return false; }
    // Dials the number's digits; false when the device cannot dial now.
    virtual bool dial(const QString& number)
    {
        Q_UNUSED(number);
        return false;
    }

signals:
    // A call has come in and its number (and name, if the line sends one)
    // has been received.
    void comingCall(int deviceId, const QDateTime& callTime, const QString& callNumber,
                    const QString& callName);
    // The device was plugged in or removed.
    void usbPlug(int deviceId, short phoneStatus);
    // A key on the telephone was pressed.
    void phoneKeyPress(int deviceId, short keyCode);
    // Any other event the device reports (hook state and the like).
    void phoneEvent(int deviceId, int eventCode, int param);
    // The caller hung up.
    void phoneHandoff(int deviceId);
    // The call ended without anyone answering it (only lines that can tell).
    void callUnanswered(int deviceId, const QDateTime& callTime, const QString& callNumber,
                        const QString& callName);
    // The telephone rings.
    void ring(int deviceId);
    // The answer of queryState() has changed (a port opened or lost, a
    // server connected or gone).
    void stateChanged(int state);
};

// A device without hardware: its state is set by hand and its events are
// raised by calling the simulate functions.  Used when no box is attached
// and by the tests.
class SimulatedDevice : public CallerIdDevice {
    Q_OBJECT
public:
    using CallerIdDevice::CallerIdDevice;

    int queryState() override { return state_; }
    void setState(int state);

    void simulateRing(int deviceId);
    // An invalid time stands for "now".
    void simulateCall(int deviceId, const QString& number, const QString& name = {},
                      const QDateTime& callTime = {});
    void simulateHandoff(int deviceId);
    void simulateUsbPlug(int deviceId, short phoneStatus);
    void simulateKeyPress(int deviceId, short keyCode);
    void simulatePhoneEvent(int deviceId, int eventCode, int param);

private:
    int state_ = 0;  // no hardware present
};
