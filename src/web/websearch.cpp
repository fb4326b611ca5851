#include "web/websearch.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QThread>

#include "app/errorreport.h"
#include "app/randomgen.h"
#include "app/tmain.h"
#include "db/datam.h"
#include "web/addresses.h"
#include "web/browser.h"

namespace websearch {

const QString googleQuery = QStringLiteral("hl=zh-CN&q=");
const QString yahooQuery = QStringLiteral(
    "v=web&ei=gbk&searchFlag=&fr=fp-tab-web-ycn&pid=ysearch&source=yahoo_yhp_0706_search_button&p=");
const QString baiduQuery = QStringLiteral("tn=b1ank_pg&word=");

const QString googleCaption = QStringLiteral("google搜索结果");
const QString yahooCaption = QStringLiteral("yahoo搜索结果");
const QString baiduCaption = QStringLiteral("百度搜索结果");

QString googleAddress(const QString& number)
{
    return webaddr::googleSearch + QLatin1Char('?') + googleQuery + number;
}

QString yahooAddress(const QString& number)
{
    return webaddr::yahooSearch + QLatin1Char('?') + yahooQuery + number;
}

QString baiduAddress(const QString& number)
{
    return webaddr::baiduSearch + QLatin1Char('?') + baiduQuery + number;
}

namespace {
std::function<void(int)>& pauseHook()
{
    static std::function<void(int)> hook;
    return hook;
}
}  // namespace

void setPause(std::function<void(int ms)> p) { pauseHook() = std::move(p); }

void pause(int ms)
{
    if (pauseHook())
        pauseHook()(ms);
    else
        QThread::msleep(static_cast<unsigned long>(ms));
}

}  // namespace websearch

WebTabs::WebTabs(Tmain& w) : QObject(&w), w_(w)
{
    connect(w_.PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (!quiet_)
            guarded([this] { PageControl1Change(); });
    });
}

void WebTabs::Search_Tel_Web()
{
    // The number is read afresh for every engine.
    w_.PageControl1->setTabText(0, websearch::googleCaption);
    w_.WebBrowser1->navigate(websearch::googleAddress(w_.TelBuffer->text()));
    websearch::pause(200);
    w_.PageControl1->setTabText(1, websearch::yahooCaption);
    w_.WebBrowser2->navigate(websearch::yahooAddress(w_.TelBuffer->text()));
    websearch::pause(200);
    w_.PageControl1->setTabText(2, websearch::baiduCaption);
    w_.WebBrowser3->navigate(websearch::baiduAddress(w_.TelBuffer->text()));
}

void WebTabs::PageControl1Change()
{
    QWidget* tab = w_.PageControl1->currentWidget();
    TDataModule1& dm = w_.dm();

    if (tab == w_.TabSheet4)
        w_.setDatasource(&dm.kehuds);
    else if (tab == w_.TabSheet5)
        w_.setDatasource(&dm.laidiands);

    Browser* side = nullptr;
    int mode = 0;
    if (tab == w_.TabSheet1)
        side = w_.webgd01;
    else if (tab == w_.TabSheet2)
        side = w_.webgd02;
    else if (tab == w_.TabSheet3)
        side = w_.webgd03;
    else if (tab == w_.TabSheet4)
        side = w_.webgd04, mode = 1;
    else if (tab == w_.TabSheet5)
        side = w_.webgd05, mode = 1;

    if (side) {
        side->navigate(webaddr::sidePage(programRandom().below(websearch::kSidePages)));
        w_.Set_Buy_Data(mode);
    } else if (tab == w_.TabSheet6) {
        w_.Set_Buy_Data(0);
    }
    // "来电软件更新": card source and mode stay as they are.
}

void WebTabs::showTabQuietly(QWidget* tab)
{
    if (w_.PageControl1->currentWidget() == tab)
        return;
    quiet_ = true;
    w_.PageControl1->setCurrentWidget(tab);
    quiet_ = false;
}
