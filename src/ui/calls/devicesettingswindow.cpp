#include "ui/calls/devicesettingswindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>
#include <QSpinBox>

#include "rules/errors/errorreport.h"
#include "ui/kit/look.h"
#include "ui/kit/message.h"
#include "ui/calls/deviceswitch.h"

const QString noPortText = QStringLiteral("请选择或输入串口！");
const QString badServerText =
    QStringLiteral("服务器地址不正确！请输入“主机名或IP地址”或“主机名或IP地址:端口”。");
const QString badSipText =
    QStringLiteral("请填写分机号和 SIP 服务器（“主机名或IP地址”或“主机名或IP地址:端口”）！");

DeviceSettingsWindow::DeviceSettingsWindow(DeviceSwitch& device, const QString& settingFile, QWidget* owner)
    : QDialog(owner, kFixedDialog), device_(device), file_(settingFile)
{
    setWindowTitle(QStringLiteral("来电设备设置"));
    setFont(songti(14));
    setFixedSize(420, 366);

    auto* group = new QGroupBox(QStringLiteral("来电显示设备"), this);
    group->setGeometry(12, 8, 396, 290);

    simulatedOption_ = new QRadioButton(QStringLiteral("模拟设备（不接硬件）"), group);
    simulatedOption_->setObjectName(QStringLiteral("simulatedOption"));
    simulatedOption_->setGeometry(16, 24, 360, 22);

    serialOption_ = new QRadioButton(QStringLiteral("串口来电显示猫："), group);
    serialOption_->setObjectName(QStringLiteral("serialOption"));
    serialOption_->setGeometry(16, 56, 150, 22);
    portChoice_ = new QComboBox(group);
    portChoice_->setObjectName(QStringLiteral("portChoice"));
    portChoice_->setEditable(true);
    portChoice_->setGeometry(170, 55, 210, 24);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        portChoice_->addItem(info.portName(), info.description());

    serverOption_ = new QRadioButton(QStringLiteral("网络来电服务器："), group);
    serverOption_->setObjectName(QStringLiteral("serverOption"));
    serverOption_->setGeometry(16, 90, 150, 22);
    serverAddress_ = new QLineEdit(group);
    serverAddress_->setObjectName(QStringLiteral("serverAddress"));
    serverAddress_->setGeometry(170, 89, 210, 24);
    serverAddress_->setPlaceholderText(QStringLiteral("192.168.1.10:3333"));

    buildSipFields(group);

    auto* hint = new QLabel(QStringLiteral("服务器端口不填时为 3333；选择后立即生效。"), group);
    hint->setGeometry(16, 258, 370, 22);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(236, 320, 75, 28);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setGeometry(326, 320, 75, 28);

    const DeviceSetting& s = device_.setting();
    simulatedOption_->setChecked(s.kind == DeviceSetting::Simulated);
    serialOption_->setChecked(s.kind == DeviceSetting::Serial);
    serverOption_->setChecked(s.kind == DeviceSetting::Server);
    sipOption_->setChecked(s.kind == DeviceSetting::Sip);
    if (!s.port.isEmpty())
        portChoice_->setCurrentText(s.port);
    serverAddress_->setText(s.server);
    sipShown_ = s.sip;
    sipUser_->setText(s.sip.user);
    sipServer_->setText(s.sip.server);
    sipPassword_->setText(s.sip.password);
    sipPort_->setValue(s.sip.localPort);
    sipRegister_->setChecked(s.sip.registering);
    enableFields();

    for (QRadioButton* r : {simulatedOption_, serialOption_, serverOption_, sipOption_})
        connect(r, &QRadioButton::toggled, this, &DeviceSettingsWindow::enableFields);
    connect(ok, &QPushButton::clicked, this, &DeviceSettingsWindow::saveChoice);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    centreOnScreen(this);
}

void DeviceSettingsWindow::buildSipFields(QWidget* group)
{
    sipOption_ = new QRadioButton(QStringLiteral("SIP 线路（分机）："), group);
    sipOption_->setObjectName(QStringLiteral("sipOption"));
    sipOption_->setGeometry(16, 124, 150, 22);
    auto field = [group](const char* name, const QString& caption, int top, QWidget* w) {
        auto* l = new QLabel(caption, group);
        l->setGeometry(36, top, 130, 22);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        w->setObjectName(QLatin1String(name));
        w->setGeometry(170, top, 210, 24);
    };
    sipUser_ = new QLineEdit(group);
    sipUser_->setPlaceholderText(QStringLiteral("801"));
    field("sipUser", QStringLiteral("分机号："), 150, sipUser_);
    sipServer_ = new QLineEdit(group);
    sipServer_->setPlaceholderText(QStringLiteral("192.168.1.2:5060"));
    field("sipServer", QStringLiteral("SIP 服务器："), 176, sipServer_);
    sipPassword_ = new QLineEdit(group);
    sipPassword_->setEchoMode(QLineEdit::Password);
    field("sipPassword", QStringLiteral("密码："), 202, sipPassword_);
    sipPort_ = new QSpinBox(group);
    sipPort_->setRange(1, 65535);
    field("sipPort", QStringLiteral("本机端口："), 228, sipPort_);
    sipPort_->setGeometry(170, 228, 90, 24);
    sipRegister_ = new QCheckBox(QStringLiteral("向服务器注册"), group);
    sipRegister_->setObjectName(QStringLiteral("sipRegister"));
    sipRegister_->setGeometry(270, 228, 120, 24);
}

void DeviceSettingsWindow::enableFields()
{
    portChoice_->setEnabled(serialOption_->isChecked());
    serverAddress_->setEnabled(serverOption_->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{sipUser_, sipServer_, sipPassword_, sipPort_, sipRegister_})
        w->setEnabled(sipOption_->isChecked());
}

DeviceSetting DeviceSettingsWindow::choice() const
{
    DeviceSetting s;
    s.kind = serialOption_->isChecked()   ? DeviceSetting::Serial
             : serverOption_->isChecked() ? DeviceSetting::Server
             : sipOption_->isChecked()    ? DeviceSetting::Sip
                                         : DeviceSetting::Simulated;
    s.port = portChoice_->currentText().trimmed();
    s.server = serverAddress_->text().trimmed();
    s.sip = sipShown_;
    s.sip.user = sipUser_->text().trimmed();
    s.sip.server = sipServer_->text().trimmed();
    s.sip.password = sipPassword_->text();
    s.sip.localPort = quint16(sipPort_->value());
    s.sip.registering = sipRegister_->isChecked();
    return s;
}

void DeviceSettingsWindow::saveChoice()
{
    guarded([this] {
        const DeviceSetting s = choice();
        if (s.kind == DeviceSetting::Serial && s.port.isEmpty()) {
            showMessage(noPortText);
            portChoice_->setFocus();
            return;
        }
        QString host;
        quint16 port = 0;
        if (s.kind == DeviceSetting::Server && !splitServerAddress(s.server, &host, &port)) {
            showMessage(badServerText);
            serverAddress_->setFocus();
            return;
        }
        if (s.kind == DeviceSetting::Sip && (s.sip.user.isEmpty() || !sip::validServer(s.sip.server))) {
            showMessage(badSipText);
            (s.sip.user.isEmpty() ? sipUser_ : sipServer_)->setFocus();
            return;
        }
        writeDeviceSetting(file_, s);
        device_.apply(s);
        accept();
    });
}
