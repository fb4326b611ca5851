#include "ui/calls/device.h"

void SimulatedDevice::setState(int state)
{
    if (state == state_)
        return;
    state_ = state;
    emit stateChanged(state);
}

void SimulatedDevice::simulateRing(int deviceId) { emit ring(deviceId); }

void SimulatedDevice::simulateCall(int deviceId, const QString& number, const QString& name,
                                   const QDateTime& callTime)
{
    emit comingCall(deviceId, callTime.isValid() ? callTime : QDateTime::currentDateTime(), number,
                    name);
}

void SimulatedDevice::simulateHandoff(int deviceId) { emit phoneHandoff(deviceId); }

void SimulatedDevice::simulateUsbPlug(int deviceId, short phoneStatus)
{
    emit usbPlug(deviceId, phoneStatus);
}

void SimulatedDevice::simulateKeyPress(int deviceId, short keyCode)
{
    emit phoneKeyPress(deviceId, keyCode);
}

void SimulatedDevice::simulatePhoneEvent(int deviceId, int eventCode, int param)
{
    emit phoneEvent(deviceId, eventCode, param);
}
