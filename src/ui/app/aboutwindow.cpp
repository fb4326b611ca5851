#include "ui/app/aboutwindow.h"

#include <QLabel>
#include <QPushButton>

#include "ui/app/look.h"

AboutWindow::AboutWindow(QWidget* owner)
    : QDialog(owner, kFixedDialog)
{
    setWindowTitle(QStringLiteral("关于软件"));
    setFont(pixelFont(QStringLiteral("宋体"), 14));
    setFixedSize(455, 279);

    Label1 = new QLabel(programTitle(), this);
    Label1->setFont(pixelFont(QStringLiteral("黑体"), 20));
    Label1->setGeometry(24, 16, 407, 28);

    Label2 = new QLabel(QStringLiteral("(build 2009/04/27)"), this);
    Label2->setGeometry(24, 48, 407, 18);

    MakerLines = new QLabel(this);
    MakerLines->setText(QStringList{
        QStringLiteral("制作：Tavrin软件工作室"),
        QStringLiteral("地址：杭州市西湖区文三路 388 号创业大厦 1206 室"),
        QStringLiteral("邮编：310012"),
        QStringLiteral("电话：0571-88880000  0571-88880001"),
        QStringLiteral("网站：www.tavrin.cn"),
        QStringLiteral("邮箱：service@tavrin.cn"),
        QStringLiteral("技术支持：support@tavrin.cn  QQ 800012345"),
    }.join(QLatin1Char('\n')));
    MakerLines->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    MakerLines->setGeometry(24, 78, 407, 150);

    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setGeometry(190, 240, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    centreOnScreen(this);
}
