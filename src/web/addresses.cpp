#include "web/addresses.h"

namespace webaddr {

const QString productCaption1 = QStringLiteral("Tavrin客户管理");
const QString productCaption2 = QStringLiteral("Tavrin短信通");
const QString productCaption3 = QStringLiteral("Tavrin进销存");
const QString productPage1 = QStringLiteral("https://www.tavrin.cn/products/kehu.html");
const QString productPage2 = QStringLiteral("https://www.tavrin.cn/products/duanxin.html");
const QString productPage3 = QStringLiteral("https://www.tavrin.cn/products/jxc.html");

const QString infoSite = QStringLiteral("https://www.chaxun114.cn/");
const QString updatePage = QStringLiteral("https://www.tavrin.cn/products/laidian.html");
const QString supportSite = QStringLiteral("https://www.tavrin.cn/support/");

const QString sidePageBase = QStringLiteral("https://www.meishi-caipu.cn/caipu");

const QString googleSearch = QStringLiteral("https://www.google.cn/search");
const QString yahooSearch = QStringLiteral("https://search.cn.yahoo.com/search");
const QString baiduSearch = QStringLiteral("https://www.baidu.com/s");

QString sidePage(int r)
{
    return sidePageBase + QString::number(r / 1000) + QStringLiteral("/c") + QString::number(r) +
           QStringLiteral(".html");
}

}  // namespace webaddr
