#include "ui/calls/deviceswitch.h"

#include "ui/calls/linedevices.h"
#include "ui/calls/sipline.h"

DeviceSwitch::~DeviceSwitch()
{
    if (device_)
        device_->disconnect(this);
}

void DeviceSwitch::apply(const DeviceSetting& setting) { use(makeDevice(setting), setting); }

void DeviceSwitch::use(std::unique_ptr<CallerIdDevice> device, const DeviceSetting& setting)
{
    if (device_) {
        device_->disconnect(this);
        // A call in progress on the old device ends with it, so that the next
        // number is a new call.
        if (auto* line = qobject_cast<LineDevice*>(device_.get()); line && line->inCall())
            emit phoneHandoff(LineDevice::kDeviceId);
    }
    device_ = std::move(device);
    setting_ = setting;
    if (device_) {
        CallerIdDevice* d = device_.get();
        connect(d, &CallerIdDevice::comingCall, this, &CallerIdDevice::comingCall);
        connect(d, &CallerIdDevice::usbPlug, this, &CallerIdDevice::usbPlug);
        connect(d, &CallerIdDevice::phoneKeyPress, this, &CallerIdDevice::phoneKeyPress);
        connect(d, &CallerIdDevice::phoneEvent, this, &CallerIdDevice::phoneEvent);
        connect(d, &CallerIdDevice::phoneHandoff, this, &CallerIdDevice::phoneHandoff);
        connect(d, &CallerIdDevice::callUnanswered, this, &CallerIdDevice::callUnanswered);
        connect(d, &CallerIdDevice::ring, this, &CallerIdDevice::ring);
        connect(d, &CallerIdDevice::stateChanged, this, &CallerIdDevice::stateChanged);
    }
    emit stateChanged(queryState());
}

std::unique_ptr<CallerIdDevice> makeDevice(const DeviceSetting& setting)
{
    switch (setting.kind) {
    case DeviceSetting::Serial:
        return std::make_unique<ModemDevice>(setting.port);
    case DeviceSetting::Server: {
        QString host;
        quint16 port = 0;
        if (splitServerAddress(setting.server, &host, &port))
            return std::make_unique<ServerDevice>(host, port);
        break;
    }
    case DeviceSetting::Sip:
        if (!setting.sip.user.trimmed().isEmpty() && sip::validServer(setting.sip.server))
            return std::make_unique<SipLineDevice>(setting.sip, sipLineFolder());
        break;
    case DeviceSetting::Simulated:
        break;
    }
    auto simulated = std::make_unique<SimulatedDevice>();
    simulated->setState(0);
    return simulated;
}
