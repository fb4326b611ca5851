#include "ui/shell/aboutwindow.h"

#include <QLabel>
#include <QPushButton>

#include "ui/kit/look.h"

AboutWindow::AboutWindow(QWidget* owner)
    : QDialog(owner, kFixedDialog)
{
    setWindowTitle(QStringLiteral("关于软件"));
    setFont(pixelFont(QStringLiteral("宋体"), 14));
    setFixedSize(455, 279);

    auto* title = new QLabel(programTitle(), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setFont(pixelFont(QStringLiteral("黑体"), 20));
    title->setGeometry(24, 16, 407, 28);

    auto* build = new QLabel(QStringLiteral("(build 2009/04/27)"), this);
    build->setObjectName(QStringLiteral("buildLabel"));
    build->setGeometry(24, 48, 407, 18);

    // Name, address, post code, phones, web, e-mail, support.
    auto* makerLines = new QLabel(this);
    makerLines->setText(QStringList{
        QStringLiteral("制作：Tavrin软件工作室"),
        QStringLiteral("地址：杭州市西湖区文三路 388 号创业大厦 1206 室"),
        QStringLiteral("邮编：310012"),
        QStringLiteral("电话：0571-88880000  0571-88880001"),
        QStringLiteral("网站：www.tavrin.cn"),
        QStringLiteral("邮箱：service@tavrin.cn"),
        QStringLiteral("技术支持：support@tavrin.cn  QQ 800012345"),
    }.join(QLatin1Char('\n')));
    makerLines->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    makerLines->setGeometry(24, 78, 407, 150);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(190, 240, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    centreOnScreen(this);
}
