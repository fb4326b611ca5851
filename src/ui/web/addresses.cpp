#include "ui/web/addresses.h"

namespace webaddr {

const QString productCaption1 = QStringLiteral("Tavrin客户管理");
const QString productCaption2 = QStringLiteral("Tavrin短信通");
const QString productCaption3 = QStringLiteral("Tavrin进销存");
// The product, information and update pages are shipped inside the program,
// so the tabs show them with no network.
const QString productPage1 = QStringLiteral("qrc:/pages/kehu.html");
const QString productPage2 = QStringLiteral("qrc:/pages/duanxin.html");
const QString productPage3 = QStringLiteral("qrc:/pages/jxc.html");

const QString infoSite = QStringLiteral("qrc:/pages/chaxun.html");
const QString updatePage = QStringLiteral("qrc:/pages/laidian.html");
const QString supportSite = QStringLiteral("https://www.tavrin.cn/support/");

const QString sidePageBase = QStringLiteral("https://www.meishi-caipu.cn/caipu");

// www.google.cn no longer runs searches (it only points to the Hong Kong
// site) and Yahoo's mainland search site is closed: the Chinese-language
// sites that answer in their place.
const QString googleSearch = QStringLiteral("https://www.google.com.hk/search");
const QString yahooSearch = QStringLiteral("https://hk.search.yahoo.com/search");
const QString baiduSearch = QStringLiteral("https://www.baidu.com/s");

QString sidePage(int r)
{
    return sidePageBase + QString::number(r / 1000) + QStringLiteral("/c") + QString::number(r) +
           QStringLiteral(".html");
}

QString callerSidePage(int n)
{
    return sidePageBase + QStringLiteral("/c") + QString::number(n) + QStringLiteral(".html");
}

}  // namespace webaddr
