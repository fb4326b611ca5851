#include "ui/web/websearch.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QUrl>

#include "rules/app/errorreport.h"
#include "rules/calls/randomgen.h"
#include "data/app/datamodule.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"

namespace websearch {

const QString googleQuery = QStringLiteral("hl=zh-CN&q=");
const QString yahooQuery = QStringLiteral(
    "v=web&ei=gbk&searchFlag=&fr=fp-tab-web-ycn&pid=ysearch&source=yahoo_yhp_0706_search_button&p=");
const QString baiduQuery = QStringLiteral("tn=b1ank_pg&word=");

const QString googleCaption = QStringLiteral("google搜索结果");
const QString yahooCaption = QStringLiteral("yahoo搜索结果");
const QString baiduCaption = QStringLiteral("百度搜索结果");

namespace {
QString encoded(const QString& number) { return QString::fromLatin1(QUrl::toPercentEncoding(number)); }
}  // namespace

QString googleAddress(const QString& number)
{
    return webaddr::googleSearch + QLatin1Char('?') + googleQuery + encoded(number);
}

QString yahooAddress(const QString& number)
{
    return webaddr::yahooSearch + QLatin1Char('?') + yahooQuery + encoded(number);
}

QString baiduAddress(const QString& number)
{
    return webaddr::baiduSearch + QLatin1Char('?') + baiduQuery + encoded(number);
}

}  // namespace websearch

WebTabs::WebTabs(const WebTabParts& parts, QObject* parent) : QObject(parent), p_(parts)
{
    connect(p_.tabs, &QTabWidget::currentChanged, this, [this] {
        if (!quiet_)
            guarded([this] { onTabChanged(); });
    });
    searchTimer_.setSingleShot(true);
    searchTimer_.setTimerType(Qt::PreciseTimer);  // the spacing is kept exactly
    connect(&searchTimer_, &QTimer::timeout, this, [this] { guarded([this] { searchStep(); }); });
}

void WebTabs::searchNumber(const QString& number)
{
    searchNumber_ = number;
    searchNext_ = 0;
    searchTimer_.start(0);
}

void WebTabs::searchStep()
{
    const int step = searchNext_++;
    if (step == 0) {
        p_.tabs->setTabText(0, websearch::googleCaption);
        p_.googleBrowser->navigate(websearch::googleAddress(searchNumber_));
    } else if (step == 1) {
        p_.tabs->setTabText(1, websearch::yahooCaption);
        p_.yahooBrowser->navigate(websearch::yahooAddress(searchNumber_));
    } else if (step == 2) {
        p_.tabs->setTabText(2, websearch::baiduCaption);
        p_.baiduBrowser->navigate(websearch::baiduAddress(searchNumber_));
    }
    if (searchNext_ < 3)
        searchTimer_.start(websearch::kSearchSpacing);
}

void WebTabs::finishSearch()
{
    while (searchTimer_.isActive()) {
        searchTimer_.stop();
        searchStep();
    }
}

void WebTabs::onTabChanged()
{
    QWidget* tab = p_.tabs->currentWidget();
    DataModule& dm = *p_.dm;

    if (tab == p_.customerTab)
        p_.setCardSource(&dm.customerSource);
    else if (tab == p_.callTab)
        p_.setCardSource(&dm.callSource);

    Browser* side = nullptr;
    int mode = 0;
    if (tab == p_.googleTab)
        side = p_.googleSideBrowser;
    else if (tab == p_.yahooTab)
        side = p_.yahooSideBrowser;
    else if (tab == p_.baiduTab)
        side = p_.baiduSideBrowser;
    else if (tab == p_.customerTab)
        side = p_.customerSideBrowser, mode = 1;
    else if (tab == p_.callTab)
        side = p_.callSideBrowser, mode = 1;

    if (side) {
        side->navigate(webaddr::sidePage(programRandom().below(websearch::kSidePages)));
        p_.setCardMode(mode);
    } else if (tab == p_.infoTab) {
        p_.setCardMode(0);
    }
    // "来电软件更新": card source and mode stay as they are.
}

void WebTabs::showTabQuietly(QWidget* tab)
{
    if (p_.tabs->currentWidget() == tab)
        return;
    quiet_ = true;
    p_.tabs->setCurrentWidget(tab);
    quiet_ = false;
}
