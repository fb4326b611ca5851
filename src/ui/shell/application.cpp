#include "ui/shell/application.h"
#include "ui/kit/errorbox.h"

#include <QFont>

#include "rules/errors/errorreport.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    errorbox::install(nullptr);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        errorreport::reportCurrentException();
        return false;
    }
}

void installFontSubstitutions()
{
    const QStringList cjk = {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                             QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN")};
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               QStringList{QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                                           QStringLiteral("AR PL UMing CN")} + cjk);
    QFont::insertSubstitutions(QStringLiteral("黑体"),
                               QStringList{QStringLiteral("SimHei")} + cjk);
    QFont::insertSubstitutions(QStringLiteral("隶书"),
                               QStringList{QStringLiteral("LiSu"), QStringLiteral("STLiti")} + cjk);
}

QFont standardFont()
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(14);
    return f;
}
