#pragma once
// The window that chooses the caller-ID device: the simulated device, a
// modem on a serial port, a network caller-ID server or a SIP line.  确定 saves the
// choice and switches to the device at once.

#include <QDialog>

#include "rules/calls/devicesetting.h"

class DeviceSwitch;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class DeviceSettingsWindow : public QDialog {
    Q_OBJECT
public:
    // Its controls carry object names: "simulatedOption", "serialOption",
    // "serverOption", "portChoice", "serverAddress", "sipOption", "sipUser",
    // "sipServer", "sipPassword", "sipPort", "sipRegister", "okButton" and
    // "cancelButton".
    DeviceSettingsWindow(DeviceSwitch& device, const QString& settingFile, QWidget* owner = nullptr);

    // The choice the controls show.
    DeviceSetting choice() const;
    // 确定: checks, saves and applies the choice; closes the window when done.
    void saveChoice();

private:
    void buildSipFields(QWidget* group);
    void enableFields();

    DeviceSwitch& device_;
    QString file_;
    QRadioButton* simulatedOption_;
    QRadioButton* serialOption_;
    QRadioButton* serverOption_;
    QComboBox* portChoice_;     // serial ports (a name may also be typed)
    QLineEdit* serverAddress_;
    QRadioButton* sipOption_;
    QLineEdit* sipUser_;
    QLineEdit* sipServer_;
    QLineEdit* sipPassword_;
    QSpinBox* sipPort_;
    QCheckBox* sipRegister_;
    SipAccount sipShown_;  // what the file held (the listen address is kept)
};

extern const QString noPortText;        // 请选择或输入串口！
extern const QString badServerText;     // 服务器地址不正确 ...
extern const QString badSipText;        // 请填写分机号和 SIP 服务器 ...
