#pragma once
// What the web tabs' handling asks of the window that shows the tabs.

#include <QString>

class DataSource;

// The seven tabs, in their order on the window.
enum class WebTab { Google, Yahoo, Baidu, Customers, Calls, Info, Update };

class TabScreen {
public:
    virtual WebTab currentTab() const = 0;
    virtual void setTabCaption(WebTab tab, const QString& caption) = 0;
    // The tab's own browser (Google to Baidu, Info, Update) and its side
    // browser (Google to Calls) go to the address.
    virtual void navigate(WebTab tab, const QString& address) = 0;
    virtual void navigateSide(WebTab tab, const QString& address) = 0;
    // The customer card: the data it shows and its look (0 advertising,
    // 1 editing).
    virtual void setCardSource(DataSource* source) = 0;
    virtual void setCardMode(int mode) = 0;

protected:
    ~TabScreen() = default;
};
