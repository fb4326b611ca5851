#pragma once
// The device the main window listens to.  It stands for whichever device the
// setting names and passes its events on, so that the device can be changed
// while the program runs without the call handling noticing.

#include <memory>

#include "ui/calls/device.h"
#include "rules/calls/devicesetting.h"

class DeviceSwitch : public CallerIdDevice {
    Q_OBJECT
public:
    using CallerIdDevice::CallerIdDevice;
    ~DeviceSwitch() override;

    int queryState() override { return device_ ? device_->queryState() : 0; }
    bool canDial() const override { return device_ && device_->canDial(); }
    bool dial(const QString& number) override { return device_ && device_->dial(number); }

    // Replaces the device by the one the setting names (the old one is
    // closed, a call in progress on it ends with a hang-up).  Announces the
    // state of the new device.
    void apply(const DeviceSetting& setting);
    // The same with a device made elsewhere (tests).
    void use(std::unique_ptr<CallerIdDevice> device, const DeviceSetting& setting = {});

    const DeviceSetting& setting() const { return setting_; }
    CallerIdDevice* device() const { return device_.get(); }

private:
    std::unique_ptr<CallerIdDevice> device_;
    DeviceSetting setting_;
};

// The device a setting names: a modem on the port, a client of the server,
// a SIP line through the program's own baresip, or the simulated device (state 0) for the simulated choice or a server
// address that cannot be read.
std::unique_ptr<CallerIdDevice> makeDevice(const DeviceSetting& setting);
