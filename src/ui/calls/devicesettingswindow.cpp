#include "ui/calls/devicesettingswindow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>

#include "rules/app/errorreport.h"
#include "ui/app/look.h"
#include "ui/app/message.h"
#include "ui/calls/deviceswitch.h"

const QString noPortText = QStringLiteral("请选择或输入串口！");
const QString badServerText =
    QStringLiteral("服务器地址不正确！请输入“主机名或IP地址”或“主机名或IP地址:端口”。");

DeviceSettingsWindow::DeviceSettingsWindow(DeviceSwitch& device, const QString& settingFile, QWidget* owner)
    : QDialog(owner, kFixedDialog), device_(device), file_(settingFile)
{
    setWindowTitle(QStringLiteral("来电设备设置"));
    setFont(songti(14));
    setFixedSize(420, 236);

    auto* group = new QGroupBox(QStringLiteral("来电显示设备"), this);
    group->setGeometry(12, 8, 396, 160);

    RadioButton1 = new QRadioButton(QStringLiteral("模拟设备（不接硬件）"), group);
    RadioButton1->setGeometry(16, 24, 360, 22);

    RadioButton2 = new QRadioButton(QStringLiteral("串口来电显示猫："), group);
    RadioButton2->setGeometry(16, 56, 150, 22);
    ComboBox1 = new QComboBox(group);
    ComboBox1->setEditable(true);
    ComboBox1->setGeometry(170, 55, 210, 24);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ComboBox1->addItem(info.portName(), info.description());

    RadioButton3 = new QRadioButton(QStringLiteral("网络来电服务器："), group);
    RadioButton3->setGeometry(16, 90, 150, 22);
    Edit1 = new QLineEdit(group);
    Edit1->setGeometry(170, 89, 210, 24);
    Edit1->setPlaceholderText(QStringLiteral("192.168.1.10:3333"));

    Label1 = new QLabel(QStringLiteral("服务器端口不填时为 3333；选择后立即生效。"), group);
    Label1->setGeometry(16, 124, 370, 22);

    BitBtn1 = new QPushButton(QStringLiteral("确定"), this);
    BitBtn1->setGeometry(236, 190, 75, 28);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("取消"), this);
    BitBtn2->setGeometry(326, 190, 75, 28);

    const DeviceSetting& s = device_.setting();
    RadioButton1->setChecked(s.kind == DeviceSetting::Simulated);
    RadioButton2->setChecked(s.kind == DeviceSetting::Serial);
    RadioButton3->setChecked(s.kind == DeviceSetting::Server);
    if (!s.port.isEmpty())
        ComboBox1->setCurrentText(s.port);
    Edit1->setText(s.server);
    enableFields();

    for (QRadioButton* r : {RadioButton1, RadioButton2, RadioButton3})
        connect(r, &QRadioButton::toggled, this, &DeviceSettingsWindow::enableFields);
    connect(BitBtn1, &QPushButton::clicked, this, &DeviceSettingsWindow::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    centreOnScreen(this);
}

void DeviceSettingsWindow::enableFields()
{
    ComboBox1->setEnabled(RadioButton2->isChecked());
    Edit1->setEnabled(RadioButton3->isChecked());
}

DeviceSetting DeviceSettingsWindow::choice() const
{
    DeviceSetting s;
    s.kind = RadioButton2->isChecked()   ? DeviceSetting::Serial
             : RadioButton3->isChecked() ? DeviceSetting::Server
                                         : DeviceSetting::Simulated;
    s.port = ComboBox1->currentText().trimmed();
    s.server = Edit1->text().trimmed();
    return s;
}

void DeviceSettingsWindow::BitBtn1Click()
{
    guarded([this] {
        const DeviceSetting s = choice();
        if (s.kind == DeviceSetting::Serial && s.port.isEmpty()) {
            showMessage(noPortText);
            ComboBox1->setFocus();
            return;
        }
        QString host;
        quint16 port = 0;
        if (s.kind == DeviceSetting::Server && !splitServerAddress(s.server, &host, &port)) {
            showMessage(badServerText);
            Edit1->setFocus();
            return;
        }
        writeDeviceSetting(file_, s);
        device_.apply(s);
        accept();
    });
}
