#pragma once
// The window that chooses the caller-ID device: the simulated device, a
// modem on a serial port or a network caller-ID server.  确定 saves the
// choice and switches to the device at once.

#include <QDialog>

#include "rules/calls/devicesetting.h"

class DeviceSwitch;
class QComboBox;
class QLineEdit;
class QRadioButton;

class DeviceSettingsWindow : public QDialog {
    Q_OBJECT
public:
    // Its controls carry object names: "simulatedOption", "serialOption",
    // "serverOption", "portChoice", "serverAddress", "okButton" and
    // "cancelButton".
    DeviceSettingsWindow(DeviceSwitch& device, const QString& settingFile, QWidget* owner = nullptr);

    // The choice the controls show.
    DeviceSetting choice() const;
    // 确定: checks, saves and applies the choice; closes the window when done.
    void saveChoice();

private:
    void enableFields();

    DeviceSwitch& device_;
    QString file_;
    QRadioButton* simulatedOption_;
    QRadioButton* serialOption_;
    QRadioButton* serverOption_;
    QComboBox* portChoice_;     // serial ports (a name may also be typed)
    QLineEdit* serverAddress_;
};

extern const QString noPortText;        // 请选择或输入串口！
extern const QString badServerText;     // 服务器地址不正确 ...
