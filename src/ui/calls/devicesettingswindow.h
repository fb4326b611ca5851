#pragma once
// The window that chooses the caller-ID device: the simulated device, a
// modem on a serial port or a network caller-ID server.  确定 saves the
// choice and switches to the device at once.

#include <QDialog>

#include "rules/calls/devicesetting.h"

class DeviceSwitch;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class DeviceSettingsWindow : public QDialog {
    Q_OBJECT
public:
    DeviceSettingsWindow(DeviceSwitch& device, const QString& settingFile, QWidget* owner = nullptr);

    QRadioButton* RadioButton1;  // 模拟设备
    QRadioButton* RadioButton2;  // 串口
    QRadioButton* RadioButton3;  // 网络服务器
    QComboBox* ComboBox1;        // serial ports (a name may also be typed)
    QLineEdit* Edit1;            // server address
    QLabel* Label1;              // hint below
    QPushButton* BitBtn1;        // 确定
    QPushButton* BitBtn2;        // 取消

    // The choice the controls show.
    DeviceSetting choice() const;
    // Checks, saves and applies the choice; closes the window when done.
    void BitBtn1Click();

private:
    void enableFields();

    DeviceSwitch& device_;
    QString file_;
};

extern const QString noPortText;        // 请选择或输入串口！
extern const QString badServerText;     // 服务器地址不正确 ...
