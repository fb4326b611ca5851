#include "ui/web/websearch.h"

#include <QUrl>

#include "rules/errors/errorreport.h"
#include "rules/calls/randomgen.h"
#include "data/module/datamodule.h"
#include "ui/web/addresses.h"

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

WebTabs::WebTabs(DataModule& dm, TabScreen& screen, QObject* parent)
    : QObject(parent), dm_(dm), screen_(screen)
{
    searchTimer_.setObjectName(QStringLiteral("searchSteps"));
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
        screen_.setTabCaption(WebTab::Google, websearch::googleCaption);
        screen_.navigate(WebTab::Google, websearch::googleAddress(searchNumber_));
    } else if (step == 1) {
        screen_.setTabCaption(WebTab::Yahoo, websearch::yahooCaption);
        screen_.navigate(WebTab::Yahoo, websearch::yahooAddress(searchNumber_));
    } else if (step == 2) {
        screen_.setTabCaption(WebTab::Baidu, websearch::baiduCaption);
        screen_.navigate(WebTab::Baidu, websearch::baiduAddress(searchNumber_));
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
    const WebTab tab = screen_.currentTab();
    if (tab == WebTab::Customers)
        screen_.setCardSource(&dm_.customerSource);
    else if (tab == WebTab::Calls)
        screen_.setCardSource(&dm_.callSource);

    switch (tab) {
    case WebTab::Google:
    case WebTab::Yahoo:
    case WebTab::Baidu:
    case WebTab::Customers:
    case WebTab::Calls: {
        screen_.navigateSide(tab, webaddr::sidePage(programRandom().below(websearch::kSidePages)));
        const bool listTab = tab == WebTab::Customers || tab == WebTab::Calls;
        screen_.setCardMode(listTab ? 1 : 0);
        break;
    }
    case WebTab::Info:
        screen_.setCardMode(0);
        break;
    case WebTab::Update:
        break;  // "来电软件更新": card source and mode stay as they are
    }
}
